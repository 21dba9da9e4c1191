// The X server helper the window tests share: free-display search, the
// client handshake, and starts right after a server has ended.
#include "support/x_server.h"

#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

namespace {

namespace fs = std::filesystem;

// A scratch directory that plays /tmp.
class FakeTmp : public ::testing::Test {
protected:
    void SetUp() override
    {
        tmp = fs::temp_directory_path() /
              ("nerelle_xs_" + std::to_string(getpid()) + "_" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(tmp);
        fs::create_directories(tmp / ".X11-unix");
    }
    void TearDown() override { fs::remove_all(tmp); }

    fs::path tmp;
};

TEST_F(FakeTmp, FreeDisplayHasNeitherSocketNorLock)
{
    std::ofstream(tmp / ".X11-unix" / "X5");      // socket of a running server
    std::ofstream(tmp / ".X6-lock");              // server still holding its lock
    fs::create_symlink(tmp / "gone", tmp / ".X11-unix" / "X7");  // dangling still counts
    std::ofstream(tmp / ".X9-lock");
    const struct {
        int from, expected;
    } cases[] = {{5, 8}, {6, 8}, {8, 8}, {9, 10}, {0, 0}, {4, 4}};
    for (const auto& c : cases)
        EXPECT_EQ(testsupport::FirstFreeDisplay(c.from, tmp), c.expected) << c.from;
}

TEST_F(FakeTmp, AClientIsAcceptedOnlyWhenTheSetupReplySaysSo)
{
    EXPECT_FALSE(testsupport::DisplayAcceptsClient(3, tmp));  // no socket at all
    const struct {
        int reply;  // first byte of the setup reply, -1: close without a reply
        bool accepted;
    } cases[] = {{1, true}, {0, false}, {2, false}, {-1, false}};
    for (const auto& c : cases) {
        const fs::path path = tmp / ".X11-unix" / "X3";
        fs::remove(path);
        int server = socket(AF_UNIX, SOCK_STREAM, 0);
        ASSERT_GE(server, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
        ASSERT_EQ(bind(server, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        ASSERT_EQ(listen(server, 1), 0);
        std::thread fake([server, &c] {
            int client = accept(server, nullptr, nullptr);
            char request[12];
            size_t got = 0;
            while (got < sizeof request) {
                ssize_t n = read(client, request + got, sizeof request - got);
                if (n <= 0)
                    break;
                got += static_cast<size_t>(n);
            }
            if (c.reply >= 0 && got == sizeof request && request[0] == 'l' && request[2] == 11) {
                char reply[8] = {static_cast<char>(c.reply), 0, 11, 0, 0, 0, 0, 0};
                (void)!write(client, reply, sizeof reply);
            }
            close(client);
        });
        EXPECT_EQ(testsupport::DisplayAcceptsClient(3, tmp), c.accepted) << c.reply;
        fake.join();
        close(server);
    }
}

TEST(XServer, StartsRightAfterAnotherEndedAndSideBySide)
{
    // Back to back: the old way failed about every second start here.
    for (int round = 0; round < 4; ++round) {
        testsupport::XServer server;
        std::string why;
        ASSERT_TRUE(server.Start(&why)) << why;
        EXPECT_EQ(server.Display(), ":" + std::to_string(server.Number()));
        EXPECT_TRUE(testsupport::DisplayAcceptsClient(server.Number()));
        server.Stop();
        EXPECT_TRUE(server.Display().empty());
    }
    testsupport::XServer a, b;
    ASSERT_TRUE(a.Start());
    ASSERT_TRUE(b.Start());
    EXPECT_NE(a.Number(), b.Number());
    EXPECT_TRUE(testsupport::DisplayAcceptsClient(a.Number()));
    EXPECT_TRUE(testsupport::DisplayAcceptsClient(b.Number()));
}

}  // namespace
