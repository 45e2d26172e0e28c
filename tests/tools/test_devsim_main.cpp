// SPDX-License-Identifier: Apache-2.0
// corvix-devsim as a program: the path on its first line, answering on it, ending on SIGTERM.
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include "fakes/run_program.h"
#include "test_devsim_support.h"

namespace {

using namespace corvix;
using namespace corvix::sim;
using namespace devsim_test;

const std::string DevsimProgram = test::BuiltProgram("corvix-devsim");

TEST(DevsimProgram, PrintsThePathAnswersAndCleansUpOnSigterm) {
    char dir[] = "/tmp/devsim-main-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    const std::string link = std::string(dir) + "/ttySIM";
    test::Program sim(DevsimProgram,
                      {"--signals", "7", "--address=3", "--change-every-ms", "0", "--link", link});
    ASSERT_TRUE(sim.Started());
    const std::string path = sim.FirstLine();
    EXPECT_EQ(path.rfind("/dev/pts/", 0), 0u) << path;

    PortEnd pc;
    std::string error;
    ASSERT_TRUE(pc.Open(link, &error)) << error;
    ASSERT_TRUE(pc.Write(Request(CTRL_LAST, 0, TYPE_READ, FC_STATUS)));
    const Bytes reply = pc.ReadFrame(WaitMs);
    const FrameHeader h = DecodeHeader(reply.data(), reply.size());
    EXPECT_EQ(h.address, 3);
    EXPECT_EQ(ReadStatusPayload(DataOf(reply)).claimedCount, 7);

    ASSERT_TRUE(sim.Signal(SIGTERM));
    EXPECT_EQ(sim.Wait().exitCode, 0);
    struct stat st {};
    EXPECT_NE(lstat(link.c_str(), &st), 0);
    rmdir(dir);
}

TEST(DevsimProgram, HelpAndBadOptions) {
    test::Program help(DevsimProgram, {"--help"});
    ASSERT_TRUE(help.Started());
    EXPECT_EQ(help.FirstLine().rfind("usage: corvix-devsim", 0), 0u);
    EXPECT_EQ(help.Wait().exitCode, 0);

    test::Program bad(DevsimProgram, {"--signals", "300"});
    ASSERT_TRUE(bad.Started());
    EXPECT_EQ(bad.FirstLine(), "");  // no path printed
    EXPECT_EQ(bad.Wait().exitCode, 2);
}

}  // namespace
