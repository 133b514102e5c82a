#include "TestSupport.h"
#include "app/ErrorReport.h"
#include "base/Errors.h"
#include "transport/ProgramSession.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <vector>

namespace cq {
namespace {

struct ConnectionRecord {
    std::vector<bool> opened; ///< the debug mode of each connection made
    std::vector<int32_t> closed;
};

ConnectionSteps Recording(ConnectionRecord& record) {
    return {[&record](const ConnectionOptions& options) {
                record.opened.push_back(options.debugMode);
                return int32_t{4711};
            },
            [&record](int32_t handle) {
                record.closed.push_back(handle);
            }};
}

// The application object lives exactly as long as the session and holds its connection; the
// connection is closed once, also when the run ends by an error.
TEST(ProgramSessionTest, ConnectionAndApplicationObjectLastAsLongAsTheSession) {
    for (const bool debugMode : {false, true}) {
        ConnectionRecord record;
        try {
            ProgramSession session(debugMode, Recording(record));
            ASSERT_EQ(AppServer(), &session.server());
            EXPECT_EQ(AppServer()->ConnectionHandle, 4711);
            EXPECT_EQ(AppServer()->DebugMode, debugMode);
            throw std::runtime_error("the run fails");
        } catch (const std::runtime_error&) {
        }
        EXPECT_EQ(AppServer(), nullptr);
        EXPECT_EQ(record.opened, std::vector<bool>{debugMode});
        EXPECT_EQ(record.closed, std::vector<int32_t>{4711});
    }
}

TEST(ProgramSessionTest, LogThatCannotStartIsReportedAndTheRunGoesOn) {
    const test::RecordingDialogs dialogs;
    ConnectionRecord record;
    {
        ProgramSession session(false, Recording(record));
        session.startLog([] { throw Exception("Нет доступа к папке журнала"); });
        EXPECT_EQ(AppServer(), &session.server());
    }
    ASSERT_EQ(dialogs.boxes.size(), 1u);
    EXPECT_EQ(dialogs.boxes[0].text, "Нет доступа к папке журнала");
    EXPECT_EQ(dialogs.boxes[0].caption, context::kLogInit);
    EXPECT_EQ(record.closed.size(), 1u);
}

} // namespace
} // namespace cq
