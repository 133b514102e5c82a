// Draws the main window (RSA mode with the hint box showing a field's text, GOST mode, the proxy
// panel hidden, the reception tab after a passed check) and the information panel with texts
// 97, 98 and 99 into PNG files in the folder given as the first argument
// (scripts/screenshots.sh runs it under Xvfb). The window works on a program folder of its own
// made in a temporary folder, with a sample settings file and a checked certificate.
#include "base/Dialogs.h"
#include "base/ProgramInfo.h"
#include "provider/GostKey.h"
#include "provider/ProviderRegistry.h"
#include "provider/SoftwareGostProvider.h"
#include "settings/CertFolders.h"
#include "settings/SettingsValues.h"
#include "ui/Application.h"
#include "ui/CertificateInfoPanel.h"
#include "ui/HelpText.h"
#include "ui/MainWindow.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>

#include <iostream>
#include <memory>

using namespace cq::ui;

namespace {

bool Save(QWidget& window, const QString& file) {
    QTest::qWait(200); // let the window system deliver the exposes
    return window.grab().save(file, "PNG");
}

bool WriteBytes(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// The sample program folder: settings with a subject and a proxy, and the certificate folder of
// the subject's address holding a certificate with its key.
bool PrepareProgramFolder(const QString& folder) {
    cq::InitProgramInfo((folder + "/certquorix").toStdString());
    cq::Settings() = cq::SettingsValues();
    cq::Settings().DataFolder = (folder + "/").toStdString();
    const QByteArray settings =
        "[Cert]\r\nCountry=ru\r\nState=Moscow\r\nLocality=Moscow\r\nOrganization=Romashka "
        "LLC\r\nOrganizUnit=IT\r\nCommonName=Ivan Petrov\r\nEmail=ivan@example.ru\r\n\r\n"
        "[Proxy]\r\nUse=1\r\nServer=proxy.example.ru\r\nPort=3128\r\n\r\n"
        "[Email]\r\nList=ivan@example.ru\r\n";
    if (!WriteBytes(folder + "/CertQuorix.ini", settings))
        return false;
    const QString certFolder = QString::fromStdString(cq::CertificateFolder("ivan@example.ru"));
    const QString data = QStringLiteral(CQ_SOURCE_DIR "/tests/data/retrieval/");
    return QDir().mkpath(certFolder) &&
           QFile::copy(data + "user.cer", certFolder + "Certificate.cer") &&
           QFile::copy(data + "user-des3.key", certFolder + "Certificate.key");
}

} // namespace

int main(int argc, char** argv) {
    Application application(argc, argv);
    InstallRussianTranslation(application);
    const QDir folder(argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("."));
    cq::SetApplicationTitle(cq::kApplicationTitle);
    QTemporaryDir program;
    if (!program.isValid() || !PrepareProgramFolder(program.path())) {
        std::cerr << "could not prepare the sample program folder\n";
        return 1;
    }
    // The GOST picture lists the software provider when the engine loads here.
    auto software = cq::provider::MakeSoftwareGostProvider(
        cq::provider::kGostEngineId, (program.path() + "/containers/").toStdString());
    std::vector<std::shared_ptr<cq::provider::CryptoProvider>> installed;
    if (software)
        installed.push_back(software);
    cq::provider::ScopedProviders providers{cq::provider::ProviderRegistry(installed)};

    MainWindow theMainWindow;
    theMainWindow.show();
    bool saved = QTest::qWaitForWindowExposed(&theMainWindow) &&
                 QTest::qWaitFor([&] { return theMainWindow.initialised(); });
    auto* email = theMainWindow.findChild<QLineEdit*>(QStringLiteral("edEmail"));
    theMainWindow.activateWindow();
    email->setFocus(); // the hint box shows the field's formatted text
    saved = saved && Save(theMainWindow, folder.filePath("main-window.png"));

    auto* mode = theMainWindow.findChild<QComboBox*>(QStringLiteral("cBoxRsaGost"));
    mode->setCurrentIndex(1);
    theMainWindow.findChild<QLineEdit*>(QStringLiteral("edCountry"))->setFocus();
    saved = Save(theMainWindow, folder.filePath("main-window-gost.png")) && saved;
    mode->setCurrentIndex(0);

    auto* proxy = theMainWindow.findChild<QCheckBox*>(QStringLiteral("chBoxProxyUse"));
    proxy->setChecked(false);
    proxy->setFocus();
    saved = Save(theMainWindow, folder.filePath("main-window-no-proxy.png")) && saved;
    proxy->setChecked(true);

    theMainWindow.tabs()->setCurrentIndex(1);
    theMainWindow.findChild<QLineEdit*>(QStringLiteral("edCheckPassword"))
        ->setText(QStringLiteral("Ключ 2024"));
    theMainWindow.findChild<QPushButton*>(QStringLiteral("butSertificatTest"))->click();
    theMainWindow.findChild<QComboBox*>(QStringLiteral("comBoxMail"))->setFocus();
    saved = Save(theMainWindow, folder.filePath("main-window-reception.png")) && saved;

    for (int context : {kHelpRsaProcedure, kHelpGostProcedure, kHelpCertificateFiles}) {
        ShowHelpInfo(context, nullptr);
        saved = QTest::qWaitForWindowExposed(InformationPanel()) &&
                Save(*InformationPanel(),
                     folder.filePath(QStringLiteral("info-panel-%1.png").arg(context))) &&
                saved;
    }
    FreeInformationPanel();
    if (!saved)
        std::cerr << "could not write the pictures into " << folder.path().toStdString() << "\n";
    return saved ? 0 : 1;
}
