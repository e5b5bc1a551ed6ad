// Where users write, over one writer of each kind (EXR, PNG, text): links
// are followed and stay, modes and owners carry over, devices and FIFOs are
// written through and never replaced, refused targets fail before any row
// is read, and a damaged input leaves the target exactly as it was.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <thread>

#include "suite_kit.h"
#include "testkit.h"

using namespace testkit;
using namespace suite;
namespace fs = std::filesystem;

namespace {

struct writer {
    std::string program;
    std::string extension;
    bool seeks; // an EXR image needs a target it can seek in
};

const writer writers[] = {
    {"radbright", ".exr", true},
    {"radexport", ".png", false},
    {"radsurvey", ".txt", false},
};

std::vector<std::string> args_for(const writer &wr, const std::string &in, const std::string &out)
{
    if (wr.program == "radsurvey")
        return {in, out, "100"};
    return {in, out};
}

// A scratch folder with the writers' input and each writer's output made
// at a plain new path, which every other kind of target must receive.
struct scene {
    temp_dir dir;
    std::string in = dir / "in.exr";
    std::string damaged = dir / "damaged.exr";
    scene()
    {
        write_exr(in, noise(48, 40));
        write_exr(damaged, noise(48, 40));
        fs::resize_file(damaged, fs::file_size(damaged) * 2 / 3);
    }
    std::string reference(const writer &wr)
    {
        std::string ref = dir / ("reference" + wr.extension);
        run_result r = run(wr.program, args_for(wr, in, ref));
        EXPECT_EQ(r.status, 0) << wr.program << "\n" << r.err;
        std::string bytes = slurp(ref);
        fs::remove(ref);
        return bytes;
    }
};

bool is_link(const std::string &path)
{
    struct stat st;
    return lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

// Reads a FIFO whole in another thread while run() goes on; a FIFO that
// run() never opened for writing is released afterwards.
std::string read_fifo_while(const std::string &fifo, const std::function<void()> &run)
{
    std::string got;
    std::thread reader([&] {
        int fd = open(fifo.c_str(), O_RDONLY);
        char buf[65536];
        for (ssize_t n; fd >= 0 && (n = read(fd, buf, sizeof buf)) > 0;)
            got.append(buf, size_t(n));
        if (fd >= 0)
            close(fd);
    });
    run();
    int fd = open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
    if (fd >= 0)
        close(fd);
    reader.join();
    return got;
}

} // namespace

TEST(SuiteTargets, LinksAreFollowedAndStay)
{
    scene s;
    for (const writer &wr : writers) {
        std::string want = s.reference(wr);
        // one link, a chain of two, and a link to a file not made yet
        fs::path real = s.dir / ("real" + wr.extension), middle = s.dir / "middle";
        write_file(real, "earlier\n");
        fs::create_symlink(real.filename(), s.dir / "one");
        fs::create_symlink("middle", s.dir / "two");
        fs::create_symlink(real, middle);
        fs::create_symlink("missing" + wr.extension, s.dir / "dangling");
        for (const char *link : {"one", "two", "dangling"}) {
            run_result r = run(wr.program, args_for(wr, s.in, s.dir / link));
            EXPECT_EQ(r.status, 0) << wr.program << " " << link << "\n" << r.err;
            EXPECT_TRUE(is_link(s.dir / link)) << wr.program << " " << link;
            EXPECT_EQ(slurp(s.dir / link), want) << wr.program << " " << link;
        }
        EXPECT_EQ(slurp(real), want) << wr.program;
        EXPECT_TRUE(is_link(middle)) << wr.program;
        EXPECT_EQ(slurp(s.dir / ("missing" + wr.extension)), want) << wr.program;
        for (const char *name : {"one", "two", "middle", "dangling"})
            fs::remove(s.dir / name);
        fs::remove(real);
        fs::remove(s.dir / ("missing" + wr.extension));
        EXPECT_EQ(names_in(s.dir.path()), (std::vector<std::string>{"damaged.exr", "in.exr"}));
    }
}

TEST(SuiteTargets, ModeAndOwnerCarryOverAndHardLinksBreak)
{
    scene s;
    bool root = geteuid() == 0;
    for (const writer &wr : writers) {
        std::string want = s.reference(wr);
        for (mode_t mode : {0600, 0755}) {
            std::string target = s.dir / ("out" + wr.extension);
            write_file(target, "earlier\n");
            ASSERT_EQ(chmod(target.c_str(), mode), 0);
            if (root) {
                ASSERT_EQ(chown(target.c_str(), 65534, 65534), 0);
            }
            // a second name for the file: it keeps the earlier contents
            fs::create_hard_link(target, s.dir / "other");
            run_result r = run(wr.program, args_for(wr, s.in, target));
            EXPECT_EQ(r.status, 0) << wr.program << "\n" << r.err;
            EXPECT_EQ(slurp(target), want) << wr.program;
            EXPECT_EQ(slurp(s.dir / "other"), "earlier\n") << wr.program;
            struct stat st;
            ASSERT_EQ(stat(target.c_str(), &st), 0);
            EXPECT_EQ(st.st_mode & 07777, mode) << wr.program;
            if (root) {
                EXPECT_EQ(st.st_uid, 65534u) << wr.program;
                EXPECT_EQ(st.st_gid, 65534u) << wr.program;
            }
            fs::remove(target);
            fs::remove(s.dir / "other");
        }
    }
}

// A node that is not a regular file is written through and stays what it
// was: a character device (a copy of /dev/null made in the scratch folder)
// swallows every kind; a FIFO and a pipe through /dev/stdout receive PNG
// and text, and refuse an EXR image (it must seek) before any row is read.
TEST(SuiteTargets, DevicesAndFifosAreWrittenThrough)
{
    scene s;
    bool root = geteuid() == 0;
    std::string null = s.dir / "null", fifo = s.dir / "fifo";
    if (root) {
        ASSERT_EQ(mknod(null.c_str(), S_IFCHR | 0666, makedev(1, 3)), 0);
    }
    ASSERT_EQ(mkfifo(fifo.c_str(), 0644), 0);
    for (const writer &wr : writers) {
        std::string want = s.reference(wr);
        if (root) {
            run_result r = run(wr.program, args_for(wr, s.in, null));
            EXPECT_EQ(r.status, 0) << wr.program << "\n" << r.err;
            struct stat st;
            ASSERT_EQ(lstat(null.c_str(), &st), 0);
            EXPECT_TRUE(S_ISCHR(st.st_mode)) << wr.program;
        }

        run_result r;
        std::string got = read_fifo_while(fifo, [&] { r = run(wr.program, args_for(wr, s.in, fifo)); });
        struct stat st;
        ASSERT_EQ(lstat(fifo.c_str(), &st), 0);
        EXPECT_TRUE(S_ISFIFO(st.st_mode)) << wr.program;

        // stdout a pipe, as in `program in /dev/stdout | consumer`
        std::vector<std::string> piped = {"/bin/bash", "-c", "set -o pipefail; \"$0\" \"$@\" | cat",
                                          program_path(wr.program)};
        for (const std::string &a : args_for(wr, s.in, "/dev/stdout"))
            piped.push_back(a);
        run_result p = run_command(piped);

        if (wr.seeks) {
            for (const run_result *res : {&r, &p}) {
                EXPECT_EQ(res->status, 1) << wr.program;
                EXPECT_NE(res->err.find("an EXR image needs a file it can seek in"), std::string::npos)
                    << res->err;
                EXPECT_EQ(res->err.find('\r'), std::string::npos) << res->err;
            }
            EXPECT_EQ(got, "");
        } else {
            EXPECT_EQ(r.status, 0) << wr.program << "\n" << r.err;
            EXPECT_EQ(got, want) << wr.program;
            EXPECT_EQ(p.status, 0) << wr.program << "\n" << p.err;
            // radexport's size line shares stdout with its PNG
            if (wr.program == "radsurvey") {
                EXPECT_EQ(p.out, want);
            } else {
                EXPECT_NE(p.out.find(want), std::string::npos) << wr.program;
            }
        }
    }
    std::vector<std::string> names = {"damaged.exr", "fifo", "in.exr"};
    if (root)
        names.push_back("null");
    EXPECT_EQ(names_in(s.dir.path()), names);
}

// Targets that cannot be written fail when the output is created, before
// any row is read, with the user's path; a long name is no such target.
TEST(SuiteTargets, UnwritableTargetsFailBeforeAnyRowIsRead)
{
    scene s;
    ASSERT_EQ(chmod(s.dir.path().c_str(), 0777), 0);
    for (const writer &wr : writers) {
        std::string want = s.reference(wr);
        std::string long_name = s.dir / (std::string(250 - wr.extension.size(), 'n') + wr.extension);
        run_result r = run(wr.program, args_for(wr, s.in, long_name));
        EXPECT_EQ(r.status, 0) << wr.program << "\n" << r.err;
        EXPECT_EQ(slurp(long_name), want) << wr.program;
        fs::remove(long_name);

        for (const std::string &target : {std::string(), s.dir / "no/such/dir/out"}) {
            r = run(wr.program, args_for(wr, s.in, target));
            EXPECT_EQ(r.status, 1) << wr.program;
            EXPECT_NE(r.err.find("No such file or directory"), std::string::npos) << r.err;
            EXPECT_EQ(r.err.find('\r'), std::string::npos) << wr.program << "\n" << r.err;
        }

        // read-only for a user who is not root: refused as a shell's `>`
        // would refuse it (root may write anything, as with `>`)
        std::string target = s.dir / ("readonly" + wr.extension);
        write_file(target, "earlier\n");
        ASSERT_EQ(chmod(target.c_str(), 0444), 0);
        std::vector<std::string> command;
        if (geteuid() == 0)
            command = {"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"};
        command.push_back(program_path(wr.program));
        for (const std::string &a : args_for(wr, s.in, target))
            command.push_back(a);
        r = run_command(command);
        EXPECT_EQ(r.status, 1) << wr.program << "\n" << r.err;
        EXPECT_NE(r.err.find("Permission denied"), std::string::npos) << wr.program << "\n" << r.err;
        EXPECT_NE(r.err.find(target), std::string::npos) << r.err;
        EXPECT_EQ(r.err.find('\r'), std::string::npos) << wr.program << "\n" << r.err;
        EXPECT_EQ(slurp(target), "earlier\n");
        fs::remove(target);
        EXPECT_EQ(names_in(s.dir.path()), (std::vector<std::string>{"damaged.exr", "in.exr"}));
    }
}

// A damaged input is read to its end, and then the output is not written:
// an earlier file at the target stays byte for byte, and so does a damaged
// input that was to be replaced by its own result.
TEST(SuiteTargets, DamagedInputLeavesTheTargetAsItWas)
{
    scene s;
    std::string damaged = slurp(s.damaged);
    for (const writer &wr : writers) {
        std::string target = s.dir / ("out" + wr.extension);
        write_file(target, "earlier\n");
        run_result r = run(wr.program, args_for(wr, s.damaged, target));
        EXPECT_EQ(r.status, 1) << wr.program;
        EXPECT_EQ(slurp(target), "earlier\n") << wr.program;
        std::string summary = "\nexrinput: " + s.damaged + ": ";
        EXPECT_NE(r.err.find(summary), std::string::npos) << r.err;
        EXPECT_NE(r.err.find(" of 40 rows could not be read, the first row "), std::string::npos)
            << r.err;
        EXPECT_NE(r.err.find(wr.program + ": " + target + " was not written.\n"), std::string::npos)
            << r.err;
        EXPECT_EQ(r.err.find("Done"), std::string::npos) << r.err;
        fs::remove(target);
    }
    run_result r = run("radbright", {s.damaged, s.damaged});
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_EQ(slurp(s.damaged), damaged);
    EXPECT_EQ(names_in(s.dir.path()), (std::vector<std::string>{"damaged.exr", "in.exr"}));
}

namespace {

// Runs a writer as user uid (group uid), through setpriv: the test must be
// root to act as several users.
run_result run_as(uid_t uid, const writer &wr, const std::string &in, const std::string &out)
{
    std::vector<std::string> command = {"/usr/bin/setpriv", "--reuid=" + std::to_string(uid),
                                        "--regid=" + std::to_string(uid), "--clear-groups",
                                        program_path(wr.program)};
    for (const std::string &a : args_for(wr, in, out))
        command.push_back(a);
    return run_command(command);
}

} // namespace

// Another user's link in a folder that everyone may write to (sticky, as
// /tmp is) must not make a run replace the file it points to: the link is
// followed only when it belongs to the user or to the folder's owner, as
// the kernel follows links there, on every link of a chain. Another user's
// file or FIFO there is not written either, even by root, as the kernel
// opens none there; a file in any sticky folder that the user may not
// replace is refused before any row is read.
TEST(SuiteTargets, OthersLinksInSharedFoldersAreNotFollowed)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "needs root to act as several users";
    const uid_t user = 65533, other = 65532;
    scene s;
    ASSERT_EQ(chmod(s.dir.path().c_str(), 0755), 0);
    std::string shared = s.dir / "shared", open_dir = s.dir / "open", home = s.dir / "home",
                team = s.dir / "team";
    ASSERT_EQ(mkdir(shared.c_str(), 0), 0);
    ASSERT_EQ(chmod(shared.c_str(), 01777), 0);
    ASSERT_EQ(mkdir(open_dir.c_str(), 0), 0);
    ASSERT_EQ(chmod(open_dir.c_str(), 0777), 0); // writable by all, not sticky
    ASSERT_EQ(mkdir(team.c_str(), 0), 0);
    ASSERT_EQ(chown(team.c_str(), 0, user), 0);
    ASSERT_EQ(chmod(team.c_str(), 01770), 0); // sticky, writable by the user's group only
    ASSERT_EQ(mkdir(home.c_str(), 0700), 0);
    ASSERT_EQ(chown(home.c_str(), user, user), 0);
    std::string victim = home + "/private";
    auto link_as = [](const std::string &to, const std::string &link, uid_t owner) {
        ASSERT_EQ(symlink(to.c_str(), link.c_str()), 0) << link;
        ASSERT_EQ(lchown(link.c_str(), owner, owner), 0) << link;
    };
    auto file_as = [](const std::string &file, uid_t owner) {
        write_file(file, "theirs\n");
        EXPECT_EQ(chmod(file.c_str(), 0666), 0);
        EXPECT_EQ(chown(file.c_str(), owner, owner), 0);
        return file;
    };
    const struct {
        const char *name;
        std::function<std::string()> make; // makes the target, returns its path
        uid_t as;                           // who runs the program
        bool followed;
        std::string refused; // words of the refusal
    } cases[] = {
        {"another user's link", [&] { link_as(victim, shared + "/link", other); return shared + "/link"; },
         user, false, "/link is a symbolic link in a folder that everyone may write to"},
        {"another user's link, for root",
         [&] { link_as(victim, shared + "/link", other); return shared + "/link"; }, 0, false,
         "/link is a symbolic link in a folder that everyone may write to"},
        {"the user's own link", [&] { link_as(victim, shared + "/link", user); return shared + "/link"; },
         user, true, ""},
        {"the folder owner's link", [&] { link_as(victim, shared + "/link", 0); return shared + "/link"; },
         user, true, ""},
        {"another user's link in a folder that is not sticky",
         [&] { link_as(victim, open_dir + "/link", other); return open_dir + "/link"; }, user, true, ""},
        {"another user's link second in a chain",
         [&] {
             link_as(victim, shared + "/second", other);
             link_as("second", shared + "/link", user);
             return shared + "/link";
         },
         user, false, "/second is a symbolic link in a folder that everyone may write to"},
        {"another user's file", [&] { return file_as(shared + "/theirs", other); }, user, false,
         "/theirs is in a folder that everyone may write to (sticky, as /tmp is), and it belongs to "
         "neither you nor the folder's owner, so it is not written"},
        {"another user's file, for root", [&] { return file_as(shared + "/theirs", other); }, 0, false,
         "/theirs is in a folder that everyone may write to"},
        {"another user's FIFO",
         [&] {
             EXPECT_EQ(mkfifo((shared + "/fifo").c_str(), 0666), 0);
             EXPECT_EQ(chown((shared + "/fifo").c_str(), other, other), 0);
             EXPECT_EQ(chmod((shared + "/fifo").c_str(), 0666), 0);
             return shared + "/fifo";
         },
         user, false, "/fifo is in a folder that everyone may write to"},
        {"another user's file in a sticky team folder", [&] { return file_as(team + "/theirs", other); },
         user, false, "/theirs is in a sticky folder and belongs to neither you nor the folder's owner"},
    };
    for (const writer &wr : writers) {
        std::string want = s.reference(wr);
        for (const auto &c : cases) {
            write_file(victim, "private\n");
            ASSERT_EQ(chown(victim.c_str(), user, user), 0);
            ASSERT_EQ(chmod(victim.c_str(), 0600), 0);
            std::string target = c.make();
            struct stat was;
            ASSERT_EQ(lstat(target.c_str(), &was), 0) << target;
            run_result r;
            if (S_ISFIFO(was.st_mode)) {
                // a reader waits, so that a run that opens the FIFO is seen
                // writing to it rather than waiting forever
                std::string got = read_fifo_while(target, [&] { r = run_as(c.as, wr, s.in, target); });
                EXPECT_EQ(got, "") << wr.program << ", " << c.name;
            } else {
                std::string before = slurp(target);
                r = run_as(c.as, wr, s.in, target);
                if (!c.followed) {
                    EXPECT_EQ(slurp(target), before) << wr.program << ", " << c.name;
                }
            }
            if (c.followed) {
                EXPECT_EQ(r.status, 0) << wr.program << ", " << c.name << "\n" << r.err;
                EXPECT_EQ(slurp(victim), want) << wr.program << ", " << c.name;
                EXPECT_TRUE(is_link(target)) << wr.program << ", " << c.name;
            } else {
                struct stat now;
                EXPECT_EQ(r.status, 1) << wr.program << ", " << c.name;
                EXPECT_EQ(slurp(victim), "private\n") << wr.program << ", " << c.name;
                ASSERT_EQ(lstat(target.c_str(), &now), 0) << wr.program << ", " << c.name;
                EXPECT_EQ(now.st_ino, was.st_ino) << wr.program << ", " << c.name;
                EXPECT_EQ(now.st_uid, was.st_uid) << wr.program << ", " << c.name;
                EXPECT_NE(r.err.find(c.refused), std::string::npos) << c.name << "\n" << r.err;
                EXPECT_NE(r.err.find(target), std::string::npos) << r.err;
                EXPECT_EQ(r.err.find('\r'), std::string::npos) << c.name << "\n" << r.err;
            }
            EXPECT_EQ(names_in(home), std::vector<std::string>{"private"}) << c.name;
            for (const std::string &dir : {shared, open_dir, team})
                for (const std::string &name : names_in(dir))
                    fs::remove(dir + "/" + name);
        }
    }
}

// A program started with standard descriptors closed (`2>&-`) must not
// let the files it opens take their numbers: the progress lines for
// standard error were written into the output image, and the run still
// ended with status 0. A closed stdout refuses the size line as a full disk
// would (radsurvey prints none).
TEST(SuiteTargets, ClosedStandardStreamsTakeNothingOfTheOutput)
{
    scene s;
    const struct {
        const char *closing;
        bool stdout_closed;
    } closings[] = {{"2>&-", false}, {"<&- 2>&-", false}, {">&-", true}, {"<&- >&- 2>&-", true}};
    for (const writer &wr : writers) {
        std::string want = s.reference(wr);
        for (const auto &c : closings) {
            std::string target = s.dir / ("out" + wr.extension);
            std::vector<std::string> command = {"/bin/bash", "-c", std::string("exec \"$0\" \"$@\" ") + c.closing,
                                                program_path(wr.program)};
            for (const std::string &a : args_for(wr, s.in, target))
                command.push_back(a);
            run_result r = run_command(command);
            std::string what = wr.program + " " + c.closing;
            if (c.stdout_closed && wr.program != "radsurvey") {
                EXPECT_EQ(r.status, 1) << what;
                EXPECT_FALSE(fs::exists(target)) << what;
                if (std::string(c.closing) == ">&-") {
                    EXPECT_NE(r.err.find(wr.program + ": Cannot write standard output: Bad file descriptor.\n"),
                              std::string::npos)
                        << what << "\n" << r.err;
                }
            } else {
                EXPECT_EQ(r.status, 0) << what << "\n" << r.err;
                EXPECT_TRUE(slurp(target) == want) << what << ": not the reference";
            }
            fs::remove(target);
        }
    }
}

// What a program prints on standard output must reach it: a size line or
// a report that a full disk refuses fails the run, and an image's target
// stays as it was. radsurvey prints nothing there, so it has nothing to
// lose.
TEST(SuiteTargets, RefusedStandardOutputFailsTheRun)
{
    struct stat st;
    if (stat("/dev/full", &st) != 0 || !S_ISCHR(st.st_mode))
        GTEST_SKIP() << "no /dev/full";
    scene s;
    const std::string target = s.dir / "out";
    const struct {
        std::string program;
        std::vector<std::string> args;
        bool fails;
    } runs[] = {
        {"radbright", {s.in, target}, true},
        {"radexport", {s.in, target}, true},
        {"raddiff", {s.in, s.in}, true},
        {"radbright", {"--help"}, true},
        {"radexport", {"--version"}, true},
        {"radsurvey", {s.in, target, "100"}, false},
    };
    for (const auto &run_case : runs) {
        write_file(target, "earlier\n");
        std::vector<std::string> command = {"/bin/bash", "-c", "exec \"$0\" \"$@\" >/dev/full",
                                            program_path(run_case.program)};
        command.insert(command.end(), run_case.args.begin(), run_case.args.end());
        run_result r = run_command(command);
        std::string what = run_case.program + " " + run_case.args[0];
        if (!run_case.fails) {
            EXPECT_EQ(r.status, 0) << what << "\n" << r.err;
            EXPECT_NE(slurp(target), "earlier\n") << what;
            continue;
        }
        EXPECT_EQ(r.status, 1) << what;
        EXPECT_NE(r.err.find(run_case.program + ": Cannot write standard output: No space left on device.\n"),
                  std::string::npos)
            << what << "\n" << r.err;
        EXPECT_EQ(slurp(target), "earlier\n") << what;
        if (run_case.args.back() == target) {
            const std::string last = run_case.program + ": " + target + " was not written.\n";
            EXPECT_EQ(r.err.rfind(last), r.err.size() - last.size()) << what << "\n" << r.err;
            EXPECT_EQ(r.err.find(run_case.program + ": Done."), std::string::npos) << what;
        }
    }
}

// A device that refuses every byte (/dev/full) fails the run with the
// system's reason and no Done line, however small the output: before the
// writer saw its own writes, an EXR image small enough to go out only at
// the close was lost without a word.
TEST(SuiteTargets, RefusedWritesToDevicesFailTheRun)
{
    struct stat st;
    if (stat("/dev/full", &st) != 0 || !S_ISCHR(st.st_mode))
        GTEST_SKIP() << "no /dev/full";
    temp_dir dir;
    write_exr(dir / "small.exr", noise(6, 4));
    write_exr(dir / "large.exr", noise(256, 256));
    const struct {
        std::string program;
        std::vector<std::string> after; // arguments after input and output
    } programs[] = {
        {"radbright", {}}, {"radsoften", {"0.05"}}, {"radclamp", {}},
        {"radexport", {}}, {"radsurvey", {"100"}},
    };
    for (const auto &p : programs)
        for (const char *in : {"small.exr", "large.exr"}) {
            std::vector<std::string> args = {dir / in, "/dev/full"};
            args.insert(args.end(), p.after.begin(), p.after.end());
            run_result r = run(p.program, args);
            EXPECT_EQ(r.status, 1) << p.program << " " << in << "\n" << r.err;
            // at the close ("Cannot write /dev/full: No space left on
            // device."), or the library's words for a row that went out
            // before it
            EXPECT_NE(r.err.find("/dev/full"), r.err.rfind(p.program + ": /dev/full was not"))
                << p.program << " " << in << "\n" << r.err;
            EXPECT_NE(r.err.find("No space left on device"), std::string::npos)
                << p.program << " " << in << "\n" << r.err;
            // the last line, with no Done line before it
            const std::string last = p.program + ": /dev/full was not written.\n";
            EXPECT_EQ(r.err.rfind(last), r.err.size() - last.size()) << p.program << " " << in << "\n" << r.err;
            EXPECT_EQ(r.err.find(p.program + ": Done."), std::string::npos) << p.program << " " << in;
        }
}
