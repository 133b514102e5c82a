#include "base/Cancellation.h"
#include "transport/Connection.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <chrono>
#include <future>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace cq {
namespace {

// A loopback port that accepts connections (the kernel completes the handshake for the backlog)
// and never says a word.
class SilentServer {
public:
    SilentServer() {
        fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        ::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address);
        ::listen(fd_, 4);
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length);
        port_ = ntohs(address.sin_port);
    }
    ~SilentServer() { ::close(fd_); }
    int port() const { return port_; }

private:
    int fd_ = -1;
    int port_ = 0;
};

class CancellationTest : public ::testing::Test {
protected:
    void SetUp() override { ClearCancel(); }
    void TearDown() override {
        ClearCancel();
        CloseConn(handle_);
    }
    // Starts a GET against the silent server, with time limits far beyond the test's patience.
    std::future<void> StartHangingGet(const SilentServer& server) {
        handle_ = CreateConn({});
        SetProxy(handle_, {});
        SetCertificate(handle_, {std::string("/nonexistent"), std::string("/nonexistent")});
        SetConnectionTimeouts(handle_, 600000, 600000);
        const std::string url = "https://127.0.0.1:" + std::to_string(server.port()) + "/";
        return std::async(std::launch::async, [this, url] {
            CommandGet(handle_, {url, std::string(), SecretBytes()});
        });
    }
    int32_t handle_ = 0;
};

TEST_F(CancellationTest, StopRequestEndsAHangingTransferWithEAbort) {
    SilentServer server;
    auto get = StartHangingGet(server);
    // The transfer is waiting on the server's TLS answer by now, or will be at its first call.
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    RequestCancel();
    ASSERT_EQ(get.wait_for(std::chrono::seconds(30)), std::future_status::ready)
        << "the transfer did not notice the stop request";
    EXPECT_THROW(get.get(), EAbort);
}

TEST_F(CancellationTest, RaisedFlagStopsATransferBeforeItStarts) {
    SilentServer server;
    RequestCancel();
    auto get = StartHangingGet(server);
    ASSERT_EQ(get.wait_for(std::chrono::seconds(30)), std::future_status::ready);
    EXPECT_THROW(get.get(), EAbort);
}

TEST(CancellationFlag, ClearLowersIt) {
    RequestCancel();
    EXPECT_TRUE(CancelRequested());
    EXPECT_THROW(ThrowIfCancelled(), EAbort);
    ClearCancel();
    EXPECT_FALSE(CancelRequested());
    EXPECT_NO_THROW(ThrowIfCancelled());
}

} // namespace
} // namespace cq
