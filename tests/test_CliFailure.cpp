// The command-line tool's answer to a failure comes from the class its error was raised with:
// one table from class to exit status and --json word, whatever the message says.
#include "app/ErrorReport.h"
#include "base/Cancellation.h"
#include "base/Dialogs.h"
#include "base/Errors.h"
#include "cli/Commands.h"
#include "cli/ConsoleDialogs.h"
#include "cli/Failure.h"
#include "cli/JsonOutput.h"
#include "provider/CryptoProvider.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <set>

namespace {

using cq::FailureClass;

/// The console's dialogs installed for one case, its stderr lines left out of the test's output.
class ConsoleReport {
public:
    ConsoleReport() : previous_(cq::SetDialogs(&console)) {}
    ~ConsoleReport() { cq::SetDialogs(previous_); }
    ConsoleReport(const ConsoleReport&) = delete;
    ConsoleReport& operator=(const ConsoleReport&) = delete;

    cq::cli::ConsoleDialogs console{false};

private:
    cq::Dialogs* previous_;
};

/// The statuses and words the manual page and docs/USAGE.md promise scripts.
struct Promised {
    FailureClass failure;
    int status;
    const char* word;
};

constexpr Promised kPromised[] = {
    {FailureClass::Other, 1, "other"},
    {FailureClass::BadInput, 2, "bad_input"},
    {FailureClass::Cancelled, 2, "cancelled"},
    {FailureClass::NotIssued, 3, "not_issued"},
    {FailureClass::Expired, 4, "expired"},
    {FailureClass::Mismatch, 5, "mismatch"},
    {FailureClass::WrongPassword, 6, "wrong_password"},
    {FailureClass::Network, 7, "network"},
    {FailureClass::Refused, 8, "refused"},
    {FailureClass::NotConfigured, 9, "not_configured"},
    {FailureClass::Busy, 10, "busy"},
};

TEST(CliFailureTable, EveryClassOnceWithItsPromisedStatus) {
    std::set<FailureClass> seen;
    std::set<std::string> words;
    for (const cq::cli::FailureRow& row : cq::cli::FailureTable()) {
        EXPECT_TRUE(seen.insert(row.failure).second) << row.word;
        EXPECT_TRUE(words.insert(row.word).second) << row.word;
    }
    // Every enumerator up to the last one has its row.
    for (int value = 0; value <= static_cast<int>(FailureClass::Cancelled); ++value)
        EXPECT_TRUE(seen.count(static_cast<FailureClass>(value))) << value;
    EXPECT_EQ(seen.size(), std::size(kPromised));
}

// Each class raised in the core and reported the way operations report their failures ends the
// tool with its status, and the --json error names both; a message that reads like another
// kind changes nothing.
TEST(CliFailureTable, ReportedErrorGivesStatusAndJsonOfItsClass) {
    for (const Promised& promised : kPromised) {
        SCOPED_TRACE(promised.word);
        const ConsoleReport report;
        cq::ReportError("Получение сертификата",
                        cq::Exception("Неверный пароль: не соответствует", promised.failure));
        EXPECT_EQ(cq::cli::ReportedFailureStatus(), promised.status);
        const cq::cli::Json document = cq::cli::ErrorDocument(
            promised.status, report.console.firstErrorClass(), report.console.firstMessage());
        EXPECT_EQ(document["error"]["class"], promised.word);
        EXPECT_EQ(document["error"]["exit_status"], promised.status);
        EXPECT_EQ(document["error"]["code"], cq::cli::ExitStatusWord(promised.status));
        EXPECT_EQ(document["error"]["message"], "Неверный пароль: не соответствует");
    }
}

TEST(CliFailureTable, StatusWithoutAnErrorOfItsClassNamesTheClassOfThatStatus) {
    EXPECT_EQ(cq::cli::ClassForStatus(3, FailureClass::Other), FailureClass::NotIssued);
    EXPECT_EQ(cq::cli::ClassForStatus(2, FailureClass::Cancelled), FailureClass::Cancelled);
    EXPECT_EQ(cq::cli::ClassForStatus(1, FailureClass::Other), FailureClass::Other);
}

// Errors raised with a class keep it on their way, and the sentence a script reads has no
// system codes and no line ends.
TEST(CliFailureTable, RaisedClassesAndPlainSentences) {
    struct Case {
        const char* name;
        std::function<void()> raise;
        FailureClass failure;
        std::string sentence;
    };
    const Case cases[] = {
        {"system error", [] { throw cq::MakeOSError(EACCES, "/opt/q/Request.key"); },
         FailureClass::Other, "/opt/q/Request.key : Отказано в доступе."},
        {"provider code", [] { throw cq::provider::ProviderError(cq::provider::code::kBadKeySet); },
         FailureClass::Other, "Набор ключей не существует"},
        {"container password",
         [] { throw cq::provider::ProviderError(cq::provider::code::kWrongPin, "Контейнер"); },
         FailureClass::WrongPassword,
         "Контейнер : Доступ к карте невозможен из-за "
         "неправильного PIN-кода."},
        {"cancelled dialog",
         [] { throw cq::provider::ProviderError(cq::provider::code::kCancelled); },
         FailureClass::Cancelled, "Действие было отменено пользователем."},
        {"stop", [] { throw cq::EAbort(); }, FailureClass::Cancelled, "Операция прервана"},
        {"HTTP status",
         [] { throw cq::EIdHTTPProtocolException(404, "", "HTTP/1.1 404 Not Found"); },
         FailureClass::Refused, "Прерванный запрос HTTP (404)"},
        {"lines", [] { throw cq::Exception("Первая строка.\r\nВторая\tстрока.\r\n"); },
         FailureClass::Other, "Первая строка. Вторая строка."},
        {"foreign", [] { throw std::runtime_error("std"); }, FailureClass::Other, "std"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        try {
            c.raise();
            ADD_FAILURE() << "nothing raised";
        } catch (const std::exception& error) {
            EXPECT_EQ(cq::FailureClassOf(error), c.failure);
            EXPECT_EQ(cq::PlainDescription(error), c.sentence);
            const ConsoleReport report;
            cq::ReportError("Контекст", error);
            EXPECT_EQ(report.console.firstMessage(), c.sentence);
            EXPECT_EQ(report.console.firstErrorClass(), c.failure);
        }
    }
}

} // namespace
