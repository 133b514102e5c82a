#include "TestSupport.h"
#include "UserLanguage.h"
#include "app/ErrorReport.h"
#include "base/Errors.h"
#include "base/ProgramInfo.h"
#include "log/Identity.h"
#include "log/Log.h"

#include <gtest/gtest.h>

#include <cerrno>

namespace {

using cq::EIdHTTPProtocolException;

TEST(DescribeError, ProtocolErrorsAndOthers) {
    struct Case {
        int status;
        std::string message;
        std::string protocolText;
        std::string expected;
    };
    const Case cases[] = {
        {404, "", "HTTP/1.1 404 Not Found", "Прерванный запрос HTTP (404)"},
        {404, "", "http/1.0 404", "Прерванный запрос HTTP (404)"},
        {500, "", "Server fault", "Прерванный запрос HTTP (500) Server fault"},
        {0, "\x1bOk", "", "Прерванный запрос HTTP (Ok)"},
        {0, "Ok", "", "Прерванный запрос HTTP (0) Ok"},
        {502, "  \t ", "Bad gateway", "Прерванный запрос HTTP (502) Bad gateway"},
        {503, " busy ", "HTTP/1.1 503", "Прерванный запрос HTTP (503)  busy "},
    };
    for (const Case& c : cases)
        EXPECT_EQ(cq::DescribeError(EIdHTTPProtocolException(c.status, c.message, c.protocolText)),
                  c.expected);
    EXPECT_EQ(cq::DescribeError(cq::Exception("plain")), "plain");
    EXPECT_EQ(cq::DescribeError(std::runtime_error("std")), "std");
}

TEST(ErrorClassNames, OwnTypesAndOthers) {
    EXPECT_EQ(cq::ClassNameOf(cq::Exception("m")), "Exception");
    EXPECT_EQ(cq::ClassNameOf(cq::EOSError("m", 5)), "EOSError");
    EXPECT_EQ(cq::ClassNameOf(EIdHTTPProtocolException(1, "", "")), "EIdHTTPProtocolException");
    EXPECT_EQ(cq::ClassNameOf(cq::EZDecompressionError("m")), "EZDecompressionError");
    EXPECT_EQ(cq::ClassNameOf(std::logic_error("m")), "std::logic_error");
}

class ReportingTest : public ::testing::Test {
protected:
    void SetUp() override {
        cq::test::UseProgramFolder(dir.path());
        cq::SetStationForTesting("PC7", "PC7:\\user1");
        cq::InitLog("CertQuorix", "CertQuorix", ".srt");
    }
    void TearDown() override { cq::ShutdownLog(); }
    std::string logText() {
        cq::FlushLog();
        return cq::test::ReadFile(cq::LogFileName());
    }
    cq::test::TempDir dir;
    cq::test::RecordingDialogs dialogs;
};

TEST_F(ReportingTest, ReportErrorLogsWithClassNameAndShowsBoxUnderContext) {
    cq::ReportError("Проверка сертификата", cq::Exception("M"));
    ASSERT_EQ(dialogs.boxes.size(), 1u);
    EXPECT_EQ(dialogs.boxes[0].kind, "error");
    EXPECT_EQ(dialogs.boxes[0].caption, "Проверка сертификата");
    EXPECT_EQ(dialogs.boxes[0].text, "M");
    EXPECT_NE(logText().find("PC7:\\user1 - \xCF\xF0\xEE\xE2\xE5\xF0\xEA\xE0 "
                             "\xF1\xE5\xF0\xF2\xE8\xF4\xE8\xEA\xE0\xF2\xE0 <!>Exception<!> M\r\n"),
              std::string::npos);
}

TEST_F(ReportingTest, BoxSpeaksTheUserLanguageWhileTheLogRecordKeepsTheRussianContext) {
    const cq::test::UserLanguage english("en_US.UTF-8");
    if (!english.available())
        GTEST_SKIP() << "the en_US.UTF-8 locale is not generated here";
    cq::ReportError(cq::context::kCheckCertificate,
                    EIdHTTPProtocolException(404, "", "HTTP/1.1 404 Not Found"));
    cq::ShowInfoBox("text");
    ASSERT_EQ(dialogs.boxes.size(), 2u);
    EXPECT_EQ(dialogs.boxes[0].caption, "Checking a certificate");
    EXPECT_EQ(dialogs.boxes[0].text, "HTTP request aborted (404)");
    EXPECT_EQ(dialogs.boxes[1].caption, "QUORIX cert - certificate request/retrieval");
    EXPECT_NE(logText().find("PC7:\\user1 - \xCF\xF0\xEE\xE2\xE5\xF0\xEA\xE0 "
                             "\xF1\xE5\xF0\xF2\xE8\xF4\xE8\xEA\xE0\xF2\xE0 <!>"),
              std::string::npos);
}

// A dialogs object that raises a second error while the application-wide box is open.
class ReenteringDialogs final : public cq::Dialogs {
public:
    void showError(const std::string& text, const std::string& caption) override {
        shown.push_back(caption + "|" + text);
        if (shown.size() == 1)
            cq::OnApplicationError(cq::Exception("second"));
    }
    void showWarning(const std::string&, const std::string&) override {}
    void showInfo(const std::string&, const std::string&) override {}
    bool askYesNo(const std::string&, const std::string&) override { return false; }
    std::vector<std::string> shown;
};

TEST_F(ReportingTest, ApplicationErrorUsesTitleAndDropsErrorsWhileItsBoxIsOpen) {
    ReenteringDialogs reentering;
    cq::SetDialogs(&reentering);
    cq::OnApplicationError(cq::EOSError("first", 5));
    cq::SetDialogs(&dialogs);
    ASSERT_EQ(reentering.shown.size(), 1u);
    EXPECT_EQ(reentering.shown[0], std::string(cq::kApplicationTitle) + "|EOSError: first");
    const std::string log = logText();
    EXPECT_NE(log.find("Application Error - !!! <!>EOSError<!> first"), std::string::npos);
    EXPECT_EQ(log.find("second"), std::string::npos);
    cq::OnApplicationError(cq::Exception("third")); // the guard is cleared again
    EXPECT_EQ(dialogs.boxes.size(), 1u);
}

TEST(MessageBoxes, EmptyCaptionBecomesTheApplicationTitle) {
    cq::test::RecordingDialogs dialogs;
    cq::ShowInfoBox("text");
    cq::ShowWarningBox("text", "own");
    EXPECT_EQ(dialogs.boxes[0].caption, cq::kApplicationTitle);
    EXPECT_EQ(dialogs.boxes[1].caption, "own");
}

TEST(CheckOSResult, PassesNonZeroAndRaisesWithSystemText) {
    EXPECT_EQ(cq::CheckOSResult(7, "ctx", EACCES), 7);
    try {
        cq::CheckOSResult(0, "", EACCES);
        FAIL();
    } catch (const cq::EOSError& error) {
        EXPECT_EQ(error.errorCode(), EACCES);
        EXPECT_EQ(error.message(), "System Error.  Code: 13.\r\n" + cq::SystemErrorMessage(EACCES));
    }
    try {
        cq::CheckOSResult(0, "ctx", 0);
        FAIL();
    } catch (const cq::EOSError& error) {
        EXPECT_EQ(error.message(), "ctx : A call to an OS function failed");
        EXPECT_EQ(error.errorCode(), 0);
    }
    try {
        cq::CheckOSResult(0, "ctx", ENOENT);
        FAIL();
    } catch (const cq::EOSError& error) {
        EXPECT_EQ(error.message(),
                  "System Error.  Code: 2.\r\nctx : " + cq::SystemErrorMessage(ENOENT));
    }
}

TEST(CheckShellExecute, MapsCodesToMessages) {
    EXPECT_NO_THROW(cq::CheckShellExecute(33));
    const std::pair<int, std::string> cases[] = {
        {2, "Указаный файл не найден."},
        {3, "Указаный путь не найден."},
        {31, "Нет приложений ассоциированных с данным расширением файла."},
        {1, cq::SystemErrorMessage(1)},
    };
    for (const auto& [code, message] : cases) {
        try {
            cq::CheckShellExecute(code);
            FAIL() << code;
        } catch (const cq::Exception& error) {
            EXPECT_EQ(error.className(), "Exception");
            EXPECT_EQ(error.message(), message);
        }
    }
}

} // namespace
