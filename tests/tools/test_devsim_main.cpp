// corvix-devsim as a program: the path on its first line, answering on it, ending on SIGTERM.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "test_devsim_support.h"

extern char** environ;

namespace {

using namespace corvix;
using namespace corvix::sim;
using namespace devsim_test;

const std::string Program = std::string(CORVIX_BINARY_DIR) + "/corvix-devsim";

struct Child {
    pid_t pid = -1;
    int out = -1;  // the child's standard output
};

Child Spawn(const std::vector<std::string>& args) {
    Child c;
    int fds[2];
    if (pipe(fds) != 0) return c;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, fds[0]);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(Program.c_str()));
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    if (posix_spawn(&c.pid, Program.c_str(), &actions, nullptr, argv.data(), environ) != 0) c.pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    c.out = fds[0];
    return c;
}

std::string ReadLine(int fd) {
    std::string line;
    char ch;
    while (read(fd, &ch, 1) == 1 && ch != '\n') line += ch;
    return line;
}

int ExitCode(pid_t pid) {
    int status = 0;
    if (waitpid(pid, &status, 0) != pid) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

TEST(DevsimProgram, PrintsThePathAnswersAndCleansUpOnSigterm) {
    char dir[] = "/tmp/devsim-main-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    const std::string link = std::string(dir) + "/ttySIM";
    Child c = Spawn({"--signals", "7", "--address=3", "--change-every-ms", "0", "--link", link});
    ASSERT_GT(c.pid, 0);
    const std::string path = ReadLine(c.out);
    EXPECT_EQ(path.rfind("/dev/pts/", 0), 0u) << path;

    PortEnd pc;
    std::string error;
    ASSERT_TRUE(pc.Open(link, &error)) << error;
    ASSERT_TRUE(pc.Write(Request(CTRL_LAST, 0, TYPE_READ, FC_STATUS)));
    const Bytes reply = pc.ReadFrame(WaitMs);
    const FrameHeader h = DecodeHeader(reply.data(), reply.size());
    EXPECT_EQ(h.address, 3);
    EXPECT_EQ(ReadStatusPayload(DataOf(reply)).claimedCount, 7);

    kill(c.pid, SIGTERM);
    EXPECT_EQ(ExitCode(c.pid), 0);
    struct stat st {};
    EXPECT_NE(lstat(link.c_str(), &st), 0);
    close(c.out);
    rmdir(dir);
}

TEST(DevsimProgram, HelpAndBadOptions) {
    Child help = Spawn({"--help"});
    ASSERT_GT(help.pid, 0);
    EXPECT_EQ(ReadLine(help.out).rfind("usage: corvix-devsim", 0), 0u);
    EXPECT_EQ(ExitCode(help.pid), 0);
    close(help.out);

    Child bad = Spawn({"--signals", "300"});
    ASSERT_GT(bad.pid, 0);
    EXPECT_EQ(ReadLine(bad.out), "");  // no path printed
    EXPECT_EQ(ExitCode(bad.pid), 2);
    close(bad.out);
}

}  // namespace
