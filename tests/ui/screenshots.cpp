// Draws the main window (RSA mode with the hint box showing a field's text, GOST mode, the proxy
// panel hidden, the reception tab after a passed check, a certificate near its end offered for
// renewal and its renewal pending) and the information panel with texts 97, 98 and 99 into PNG
// files in the folder given as the first argument (scripts/screenshots.sh runs it under Xvfb).
// With a second argument only the reception tab is drawn, its files' names ending in it (the
// script draws them once more at another DPI). The window works on a program folder of its own
// made in a temporary folder, with a sample settings file, a checked certificate and one made
// by the openssl tool to end in ten days.
#include "base/Dialogs.h"
#include "base/ProgramInfo.h"
#include "base/Translate.h"
#include "provider/GostKey.h"
#include "provider/ProviderRegistry.h"
#include "provider/SoftwareGostProvider.h"
#include "settings/CertFolders.h"
#include "settings/SettingsValues.h"
#include "ui/Application.h"
#include "ui/CertificateInfoPanel.h"
#include "ui/FormParts.h"
#include "ui/HelpText.h"
#include "ui/MainWindow.h"
#include "ui/UiText.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>

#include <iostream>
#include <memory>

using namespace cq::ui;

namespace {

// Pictures in another language than Russian carry its name: main-window-en.png.
QString InLanguage(const QString& file) {
    const QString language = CatalogLanguage();
    if (language == QLatin1String("ru"))
        return file;
    return file.chopped(4) + QLatin1Char('-') + language + QStringLiteral(".png");
}

bool Save(QWidget& window, const QString& file) {
    QTest::qWait(200); // let the window system deliver the exposes
    return window.grab().save(InLanguage(file), "PNG");
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

// A certificate folder whose certificate ends in ten days, made by the openssl tool.
bool PrepareEndingCertificate(const std::string& address) {
    const QString certFolder = QString::fromStdString(cq::CertificateFolder(address));
    const QString subject = QStringLiteral("/CN=Anna Smirnova/emailAddress=%1").arg(Q(address));
    return QDir().mkpath(certFolder) &&
           QProcess::execute(QStringLiteral("openssl"),
                             {"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "10",
                              "-subj", subject, "-keyout", certFolder + "Certificate.key", "-out",
                              certFolder + "Certificate.cer"}) == 0;
}

// The reception tab on `address`: renewal offered, then with a pending renewal.
bool SaveRenewal(MainWindow& window, const QDir& folder, const std::string& address,
                 const QString& suffix) {
    auto* list = window.findChild<QComboBox*>(QStringLiteral("comBoxMail"));
    list->setEditText(Q(address));
    window.findChild<QPushButton*>(QStringLiteral("btnRenew"))->setFocus();
    bool saved = Save(window, folder.filePath("main-window-renewal" + suffix + ".png"));
    const QString pending = QString::fromStdString(cq::CertificateFolder(address)) + "Renewal.ini";
    saved = WriteBytes(pending, "[Cert]\r\nCommonName=Anna Smirnova\r\nEmail=" +
                                    QByteArray::fromStdString(address) + "\r\n") &&
            saved;
    list->setEditText(QString());
    list->setEditText(Q(address));
    window.findChild<QPushButton*>(QStringLiteral("btnCancelRenewal"))->setFocus();
    saved = Save(window, folder.filePath("main-window-renewal-pending" + suffix + ".png")) && saved;
    QFile::remove(pending);
    return saved;
}

} // namespace

int main(int argc, char** argv) {
    // The pictures speak the language of the environment (LANG=en_US.UTF-8 for the English ones).
    cq::UseUserLanguage(CQ_BINARY_DIR "/locale");
    Application application(argc, argv);
    InstallQtTranslation(application, CatalogLanguage());
    const QDir folder(argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("."));
    cq::SetApplicationTitle(cq::kApplicationTitle);
    QTemporaryDir program;
    const QString suffix = argc > 2 ? QString::fromLocal8Bit(argv[2]) : QString();
    const std::string ending = "anna@example.ru";
    if (!program.isValid() || !PrepareProgramFolder(program.path()) ||
        !PrepareEndingCertificate(ending)) {
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
    if (!suffix.isEmpty()) {
        theMainWindow.tabs()->setCurrentIndex(1);
        saved = saved && SaveRenewal(theMainWindow, folder, ending, suffix);
        if (!saved)
            std::cerr << "could not write the pictures into " << folder.path().toStdString()
                      << "\n";
        return saved ? 0 : 1;
    }
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
    saved = SaveRenewal(theMainWindow, folder, ending, QString()) && saved;

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
