// `notify`: the daily desktop notice of certificates near their end, which the package's user
// timer runs. One notice a day per address at most; its default action opens the window on the
// address. A desktop without a notification service is no failure: the timer would only report
// it again each day.
#include "base/Errors.h"
#include "base/FileUtil.h"
#include "base/ProgramInfo.h"
#include "base/Translate.h"
#include "certs/ExpiryNotice.h"
#include "cli/Commands.h"
#include "cli/Failure.h"
#include "platform/DesktopNotice.h"
#include "platform/Process.h"
#include "settings/SettingsValues.h"

#include <iostream>
#include <map>

namespace cq::cli {
namespace {

/// How long the notices' answers are waited for; the notice stays with the desktop after.
constexpr std::chrono::minutes kAnswerWait{10};

/// The window program beside this tool, started on `email`; what went wrong is told, not raised.
void OpenWindowOn(const std::string& email) {
    const std::string window = ProgramFolder() + "certquorix";
    try {
        if (!IsExecutableFile(window))
            throw Exception(TrFormat("Нет программы %1.", {window}));
        StartInBackground({window, "--email", email}, "");
    } catch (const std::exception& error) {
        std::cerr << TrFormat("Окно программы не открыто: %1", {error.what()}) << "\n";
    }
}

/// Shows the notices; the addresses whose notice the service took.
std::vector<std::string> ShowNotices(DesktopNotices& notices,
                                     const std::vector<AddressOverview>& due,
                                     std::map<uint32_t, std::string>& shown) {
    std::vector<std::string> told;
    for (const AddressOverview& overview : due) {
        const ExpiryNotice notice = NoticeFor(overview);
        std::string problem;
        const std::optional<uint32_t> id = notices.show(notice.Summary, notice.Body, problem);
        if (!id) {
            std::cerr << TrFormat("Уведомление о сертификате %1 не показано: %2",
                                  {overview.Email, problem})
                      << "\n";
            continue;
        }
        shown[*id] = overview.Email;
        told.push_back(overview.Email);
    }
    return told;
}

} // namespace

int CmdNotify(const Arguments&) {
    if (!LoadSettingsForCommand(false))
        return kExitFailed;
    const TimePoint now = std::chrono::system_clock::now();
    const std::string recordPath = NoticeRecordPath();
    IniFile record;
    try {
        record = ReadNoticeRecord(recordPath);
    } catch (const std::exception& error) {
        return Fail(error);
    }
    const std::string today = LocalDay(now);
    const std::vector<AddressOverview> due =
        NoticesDue(OverviewOfEmailList([now] { return now; }), Settings().WarnDays, record, today);
    if (due.empty())
        return kExitOk;
    std::string problem;
    const std::unique_ptr<DesktopNotices> notices = ConnectDesktopNotices("CertQuorix", problem);
    if (!notices) {
        std::cerr << TrFormat("Уведомления не показаны: %1", {problem}) << "\n";
        return kExitOk;
    }
    std::map<uint32_t, std::string> shown;
    const std::vector<std::string> told = ShowNotices(*notices, due, shown);
    if (told.empty())
        return kExitOk;
    try {
        WriteNoticeRecord(recordPath, record, told, today);
    } catch (const std::exception& error) {
        Fail(error); // told today all the same; tomorrow's run tries the record again
    }
    notices->waitForAnswers(kAnswerWait, [&shown](uint32_t id) { OpenWindowOn(shown.at(id)); });
    return kExitOk;
}

} // namespace cq::cli
