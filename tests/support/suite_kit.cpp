// Helpers of the suite-wide reliability tests.
#include "suite_kit.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>

extern char **environ;

namespace suite {

testkit::run_result run_limited(const std::string &program, const std::vector<std::string> &args,
                                int kbytes)
{
    // bash sets the limit and then becomes the program.
    std::string script = "trap '' XFSZ; ulimit -f " + std::to_string(kbytes) + "; exec \"$0\" \"$@\"";
    std::vector<std::string> command = {"/bin/bash", "-c", script, testkit::program_path(program)};
    command.insert(command.end(), args.begin(), args.end());
    return testkit::run_command(command);
}

testkit::run_result run_shell(const std::string &script, run_cost *cost)
{
    testkit::run_result r;
    testkit::temp_dir dir;
    std::string out_path = dir / "stdout", err_path = dir / "stderr";
    const char *argv[] = {"/bin/sh", "-c", script.c_str(), nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    auto start = std::chrono::steady_clock::now();
    pid_t pid;
    int rc = posix_spawn(&pid, argv[0], &actions, nullptr, const_cast<char **>(argv), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) {
        ADD_FAILURE() << "cannot run /bin/sh";
        return r;
    }
    int st = 0;
    struct rusage usage = {};
    wait4(pid, &st, 0, &usage);
    if (cost) {
        cost->seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        cost->max_rss_kb = usage.ru_maxrss;
    }
    r.status = WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
    r.out = testkit::slurp(out_path);
    r.err = testkit::slurp(err_path);
    return r;
}

// Whether process pid holds open a temporary output file in dir: an
// unnamed one shows in /proc as "dir/#<inode> (deleted)", a named one as
// "dir/.radsuite-...".
static bool writing_in(pid_t pid, const std::string &dir)
{
    std::error_code ec;
    for (auto &e : std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/fd", ec)) {
        std::filesystem::path link = std::filesystem::read_symlink(e.path(), ec);
        if (ec || link.parent_path() != dir)
            continue;
        std::string name = link.filename();
        if (name.rfind("#", 0) == 0 || name.rfind(".radsuite-", 0) == 0)
            return true;
    }
    return false;
}

bool interrupt_while_writing(const std::string &program, const std::vector<std::string> &args,
                             const std::string &dir, int sig)
{
    std::string exe = testkit::program_path(program);
    std::vector<char *> argv = {const_cast<char *>(exe.c_str())};
    for (const std::string &a : args)
        argv.push_back(const_cast<char *>(a.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    struct rlimit core, no_core = {0, 0};
    getrlimit(RLIMIT_CORE, &core);
    setrlimit(RLIMIT_CORE, &no_core); // SIGQUIT would dump core
    pid_t pid;
    int rc = posix_spawn(&pid, exe.c_str(), &actions, nullptr, argv.data(), environ);
    setrlimit(RLIMIT_CORE, &core);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) {
        ADD_FAILURE() << "cannot run " << exe;
        return false;
    }
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    bool seen = false;
    while (!seen && std::chrono::steady_clock::now() < deadline) {
        seen = writing_in(pid, dir);
        int st;
        if (!seen && waitpid(pid, &st, WNOHANG) == pid)
            return false; // finished before it was seen writing
        if (!seen)
            std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    kill(pid, sig);
    int st = 0;
    waitpid(pid, &st, 0);
    return WIFSIGNALED(st) && WTERMSIG(st) == sig;
}

testkit::image noise(int w, int h)
{
    std::vector<rgba_t> px;
    unsigned seed = 12345;
    auto next = [&seed] {
        seed = seed * 1103515245 + 12345;
        return double((seed >> 8) & 0xffff) / 65535.0;
    };
    for (int i = 0; i < w * h; i++) {
        double r = next(), g = next(), b = next();
        px.push_back({r, g, b, 1.0});
    }
    return testkit::pixels(w, h, px);
}

} // namespace suite
