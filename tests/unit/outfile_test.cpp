// The write policy itself: what a target looks like before the commit, after
// it and after a discard, for both kinds of temporary file; and the named
// kind's removal when a stopping signal arrives.
#include <gtest/gtest.h>

#include <csignal>
#include <cstring>
#include <filesystem>
#include <functional>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "outfile.h"
#include "suite_kit.h"
#include "testkit.h"

using namespace testkit;

namespace {

// Writes text through a new outfile for path and commits it when asked.
int write_text(const std::string &path, const std::string &text, bool commit)
{
    outfile *f = outfile_new(path.c_str(), OUTFILE_SEQUENTIAL);
    if (!f)
        return -1;
    fputs(text.c_str(), outfile_stream(f));
    int rc = commit ? outfile_commit(f) : 0;
    outfile_delete(f);
    return rc;
}

class Outfile : public testing::TestWithParam<outfile_temporary> {
protected:
    void SetUp() override { outfile_select(GetParam()); }
    void TearDown() override { outfile_select(OUTFILE_UNNAMED); }
};

} // namespace

TEST_P(Outfile, TargetChangesOnlyAtTheCommit)
{
    temp_dir dir;
    std::string target = dir / "out.txt";
    write_file(target, "earlier\n");
    ASSERT_EQ(chmod(target.c_str(), 0640), 0);

    outfile *f = outfile_new(target.c_str(), OUTFILE_SEEKABLE);
    ASSERT_NE(f, nullptr);
    EXPECT_TRUE(outfile_is_temporary(f));
    fputs("new\n", outfile_stream(f));
    fflush(outfile_stream(f));
    // the data can be read back through its path before the commit
    EXPECT_EQ(slurp(outfile_data_path(f)), "new\n");
    EXPECT_EQ(slurp(target), "earlier\n");
    ASSERT_EQ(outfile_commit(f), 0);
    outfile_delete(f);
    EXPECT_EQ(slurp(target), "new\n");
    struct stat st;
    ASSERT_EQ(stat(target.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_EQ(names_in(dir.path()), std::vector<std::string>{"out.txt"});

    // deleted without a commit: nothing changes, nothing is left
    EXPECT_EQ(write_text(target, "discarded\n", false), 0);
    EXPECT_EQ(slurp(target), "new\n");
    EXPECT_EQ(write_text(dir / "fresh.txt", "discarded\n", false), 0);
    EXPECT_EQ(names_in(dir.path()), std::vector<std::string>{"out.txt"});
}

TEST_P(Outfile, RefusedTargetsSayWhy)
{
    temp_dir dir;
    ASSERT_EQ(mkdir((dir / "sub").c_str(), 0755), 0);
    ASSERT_EQ(mkfifo((dir / "fifo").c_str(), 0644), 0);
    const std::pair<std::string, int> cases[] = {
        {"", ENOENT},
        {dir / "missing/out.txt", ENOENT},
        {dir / "sub", EISDIR},
        {dir / "fifo", ESPIPE}, // refused before the open would wait for a reader
    };
    for (const auto &[path, err] : cases) {
        errno = 0;
        EXPECT_EQ(outfile_new(path.c_str(), OUTFILE_SEEKABLE), nullptr) << path;
        EXPECT_EQ(errno, err) << path << ": " << strerror(errno);
    }
    EXPECT_EQ(names_in(dir.path()), (std::vector<std::string>{"fifo", "sub"}));
}

// A name of 255 bytes, the most most file systems take: the temporary file
// beside it must not need a longer one.
TEST_P(Outfile, LongestNameIsWritten)
{
    temp_dir dir;
    std::string target = dir / std::string(255, 'n');
    EXPECT_EQ(write_text(target, "long\n", true), 0) << strerror(errno);
    EXPECT_EQ(slurp(target), "long\n");
}

// A write refused by the system (here past a file-size limit) fails the
// commit with its own reason, and the target stays as it was.
TEST_P(Outfile, RefusedWriteFailsTheCommitWithItsReason)
{
    temp_dir dir;
    std::string target = dir / "out.txt";
    write_file(target, "earlier\n");
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        signal(SIGXFSZ, SIG_IGN);
        struct rlimit limit = {4096, 4096};
        setrlimit(RLIMIT_FSIZE, &limit);
        int rc = write_text(target, std::string(100000, 'x'), true);
        _exit(rc == -1 && errno == EFBIG ? 0 : 1);
    }
    int st;
    waitpid(pid, &st, 0);
    EXPECT_TRUE(WIFEXITED(st) && WEXITSTATUS(st) == 0);
    EXPECT_EQ(slurp(target), "earlier\n");
    EXPECT_EQ(names_in(dir.path()), std::vector<std::string>{"out.txt"});
}

// The target is looked at again when the file takes its name: one that
// was turned into a link, a FIFO or a folder during the run is left as it
// is and the commit fails, where a rename would have replaced it; another
// regular file there is replaced as the target would have been.
TEST_P(Outfile, OnlyARegularFileIsReplacedAtTheCommit)
{
    temp_dir dir;
    const std::string target = dir / "out.txt", victim = dir / "victim";
    const struct {
        const char *name;
        std::function<int()> make; // turns the target into it
        int err;                   // the commit's errno, or 0 when it is replaced
        mode_t type;
    } turns[] = {
        {"a link", [&] { return symlink(victim.c_str(), target.c_str()); }, EEXIST, S_IFLNK},
        {"a FIFO", [&] { return mkfifo(target.c_str(), 0644); }, EEXIST, S_IFIFO},
        {"a folder", [&] { return mkdir(target.c_str(), 0755); }, EISDIR, S_IFDIR},
        {"another file", [&] { write_file(target, "another\n"); return 0; }, 0, S_IFREG},
    };
    for (bool existed : {false, true})
        for (const auto &t : turns) {
            std::string what = std::string(t.name) + (existed ? " in an earlier file's place" : "");
            write_file(victim, "victim\n");
            if (existed)
                write_file(target, "earlier\n");
            outfile *f = outfile_new(target.c_str(), OUTFILE_SEQUENTIAL);
            ASSERT_NE(f, nullptr) << what;
            fputs("new\n", outfile_stream(f));
            std::filesystem::remove(target);
            ASSERT_EQ(t.make(), 0) << what;
            errno = 0;
            int rc = outfile_commit(f), err = errno;
            outfile_delete(f);
            struct stat st;
            ASSERT_EQ(lstat(target.c_str(), &st), 0) << what;
            EXPECT_EQ(st.st_mode & S_IFMT, t.type) << what;
            if (t.err) {
                EXPECT_EQ(rc, -1) << what;
                EXPECT_EQ(err, t.err) << what << ": " << strerror(err);
            } else {
                EXPECT_EQ(rc, 0) << what << ": " << strerror(err);
                EXPECT_EQ(slurp(target), "new\n") << what;
            }
            EXPECT_EQ(slurp(victim), "victim\n") << what;
            EXPECT_EQ(names_in(dir.path()), (std::vector<std::string>{"out.txt", "victim"})) << what;
            std::filesystem::remove_all(target);
        }
}

INSTANTIATE_TEST_SUITE_P(BothKinds, Outfile, testing::Values(OUTFILE_UNNAMED, OUTFILE_NAMED),
                         [](const testing::TestParamInfo<outfile_temporary> &info) {
                             return info.param == OUTFILE_UNNAMED ? "Unnamed" : "Named";
                         });

// A named temporary file is removed by every catchable stopping signal, and
// the process still dies of that signal; also in a child whose signals were
// reset after its parent had made a named file (nothing of the handlers is
// remembered across that).
TEST(OutfileNamed, StoppingSignalsRemoveTheTemporaryFile)
{
    for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGPIPE, SIGALRM, SIGUSR1, SIGUSR2, SIGXFSZ}) {
        temp_dir dir;
        std::string target = dir / "out.txt";
        write_file(target, "earlier\n");
        outfile_select(OUTFILE_NAMED);
        EXPECT_EQ(write_text(dir / "parent.txt", "parent\n", false), 0);
        outfile_select(OUTFILE_UNNAMED);
        pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            struct rlimit no_core = {0, 0};
            setrlimit(RLIMIT_CORE, &no_core);
            for (int s : {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGPIPE, SIGALRM, SIGUSR1, SIGUSR2, SIGXFSZ})
                signal(s, SIG_DFL);
            outfile_select(OUTFILE_NAMED);
            outfile *f = outfile_new(target.c_str(), OUTFILE_SEQUENTIAL);
            if (!f || strncmp(outfile_data_path(f), "/proc/", 6) == 0)
                _exit(2);
            fputs("partial\n", outfile_stream(f));
            fflush(outfile_stream(f));
            raise(sig);
            _exit(3);
        }
        int st;
        waitpid(pid, &st, 0);
        EXPECT_TRUE(WIFSIGNALED(st) && WTERMSIG(st) == sig) << strsignal(sig) << " status " << st;
        EXPECT_EQ(slurp(target), "earlier\n") << strsignal(sig);
        EXPECT_EQ(names_in(dir.path()), std::vector<std::string>{"out.txt"}) << strsignal(sig);
    }
}
