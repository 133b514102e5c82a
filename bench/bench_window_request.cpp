// The RSA request from the window against the sandbox service: the time from the click on
// "Отправить запрос" to the success box, against the same request made by the core alone
// (RequestRsaCertificate, the reference: what the window adds is its busy task and its boxes).
// Beside it, where the core's time goes: MakeRsaRequest (key pair, request, key file, act and
// record) and SubmitRequest (the exchange with the service). Runs alternate, each with a fresh
// address; medians are printed. Runs on Qt's offscreen platform.
#include "SandboxServer.h"
#include "TestSupport.h"
#include "app/AppServer.h"
#include "base/Dialogs.h"
#include "certs/RsaRequest.h"
#include "certs/Submission.h"
#include "settings/SettingsValues.h"
#include "transport/Connection.h"
#include "ui/Application.h"
#include "ui/MainWindow.h"
#include "ui/QtDialogs.h"

#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kRuns = 15;

double Ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

cq::SubjectData Subject(const std::string& email) {
    cq::SubjectData subject = cq::test::SampleSubject(email, "Secret1");
    return subject;
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    cq::ui::Application application(argc, argv);
    cq::ui::QtDialogs dialogs;
    cq::SetDialogs(&dialogs);
    cq::test::TempDir dir;
    cq::test::UseProgramFolder(dir.path());
    qputenv("XDG_DATA_HOME", QByteArray::fromStdString(dir / "xdg"));
    cq::test::SandboxServer server;
    cq::TAppServer app(false);
    app.ConnectionHandle = cq::CreateConn({});
    cq::SetAppServer(&app);

    cq::ui::MainWindow form;
    form.show();
    if (!QTest::qWaitForWindowExposed(&form) ||
        !QTest::qWaitFor([&] { return form.initialised(); }))
        return 1;
    cq::test::UseSandboxService(server, dir.path());
    auto edit = [&](const char* name) {
        return form.findChild<QLineEdit*>(QLatin1String(name));
    };
    edit("edCommonName")->setText(QStringLiteral("Ivan Petrov"));
    edit("edLocality")->setText(QStringLiteral("Moscow"));

    std::vector<double> window, core, make, submit;
    for (int run = 0; run < kRuns; ++run) {
        // The window: click to the success box.
        const std::string windowMail = "window" + std::to_string(run) + "@bench.example";
        edit("edEmail")->setText(QString::fromStdString(windowMail));
        edit("edPassword")->setText(QStringLiteral("Secret1"));
        edit("edPassword2")->setText(QStringLiteral("Secret1"));
        Clock::time_point boxed;
        cq::ui::QtDialogs::setNextAnswer(QMessageBox::Ok, [&] { boxed = Clock::now(); });
        const auto clicked = Clock::now();
        form.findChild<QPushButton*>(QStringLiteral("butSendSert"))->click();
        const auto boxes = cq::ui::QtDialogs::takeAnsweredBoxes();
        if (boxes.size() != 1 || boxes[0].text != QString::fromUtf8(cq::kRequestSentText)) {
            std::fprintf(stderr, "the window's request failed: %s\n",
                         boxes.isEmpty() ? "no box" : qPrintable(boxes[0].text));
            return 1;
        }
        window.push_back(Ms(boxed - clicked));

        // The core alone.
        const auto coreStart = Clock::now();
        if (!cq::RequestRsaCertificate("Certificate.key",
                                       Subject("core" + std::to_string(run) + "@bench.example")))
            return 1;
        core.push_back(Ms(Clock::now() - coreStart));

        // The core's two halves.
        const auto makeStart = Clock::now();
        cq::RsaRequestResult made = cq::MakeRsaRequest(
            "Certificate.key", Subject("split" + std::to_string(run) + "@bench.example"));
        make.push_back(Ms(Clock::now() - makeStart));
        const auto submitStart = Clock::now();
        cq::SubmitRequest(cq::Settings().UrlRequestRSACertificate, made.requestText);
        submit.push_back(Ms(Clock::now() - submitStart));
        made.files.Commit();
    }
    cq::CloseConn(app.ConnectionHandle);
    cq::SetAppServer(nullptr);
    cq::SetDialogs(nullptr);

    const double w = Median(window), c = Median(core);
    std::printf("RSA request against sandbox-ca, median of %d runs\n", kRuns);
    std::printf("  window: click to success box      %8.1f ms\n", w);
    std::printf("  core: RequestRsaCertificate        %8.1f ms  (reference)\n", c);
    std::printf("  ratio window / core                %8.2f\n", w / c);
    std::printf("  where the core's time goes:\n");
    std::printf("    key pair, request, file writes   %8.1f ms  (MakeRsaRequest)\n", Median(make));
    std::printf("    network                          %8.1f ms  (SubmitRequest)\n", Median(submit));
    return 0;
}
