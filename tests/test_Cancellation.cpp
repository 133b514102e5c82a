#include "SilentListener.h"
#include "base/Cancellation.h"
#include "transport/Connection.h"

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <thread>

namespace cq {
namespace {

class CancellationTest : public ::testing::Test {
protected:
    void SetUp() override { ClearCancel(); }
    void TearDown() override {
        ClearCancel();
        CloseConn(handle_);
    }
    // Starts a GET against the silent server, with time limits far beyond the test's patience.
    std::future<void> StartHangingGet(const test::SilentListener& server) {
        handle_ = CreateConn({});
        SetProxy(handle_, {});
        SetCertificate(handle_, {std::string("/nonexistent"), std::string("/nonexistent")});
        SetConnectionTimeouts(handle_, 600000, 600000);
        const std::string url = server.url("/");
        return std::async(std::launch::async, [this, url] {
            CommandGet(handle_, {url, std::string(), SecretBytes()});
        });
    }
    int32_t handle_ = 0;
};

TEST_F(CancellationTest, StopRequestEndsAHangingTransferWithEAbort) {
    test::SilentListener server;
    auto get = StartHangingGet(server);
    // The transfer is waiting on the server's TLS answer by now, or will be at its first call.
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    RequestCancel();
    ASSERT_EQ(get.wait_for(std::chrono::seconds(30)), std::future_status::ready)
        << "the transfer did not notice the stop request";
    EXPECT_THROW(get.get(), EAbort);
}

TEST_F(CancellationTest, RaisedFlagStopsATransferBeforeItStarts) {
    test::SilentListener server;
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
