// Draws the main window and the information panel with texts 97, 98 and 99 into PNG files in
// the folder given as the first argument (scripts/screenshots.sh runs it under Xvfb).
#include "base/Dialogs.h"
#include "ui/Application.h"
#include "ui/HelpText.h"
#include "ui/MainSertForm.h"
#include "ui/SertInfo.h"

#include <QDir>
#include <QTest>

#include <iostream>

using namespace cq::ui;

namespace {

bool Save(QWidget& window, const QString& file) {
    QTest::qWait(200); // let the window system deliver the exposes
    return window.grab().save(file, "PNG");
}

} // namespace

int main(int argc, char** argv) {
    TApplication application(argc, argv);
    InstallRussianTranslation(application);
    const QDir folder(argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("."));
    cq::SetApplicationTitle(cq::kApplicationTitle);
    TMainSertForm mainForm;
    ShowHelpInfo(7, mainForm.rich()); // the hint box as a focused country field fills it
    mainForm.show();
    bool saved = QTest::qWaitForWindowExposed(&mainForm) &&
                 Save(mainForm, folder.filePath("main-window.png"));
    for (int context : {kHelpSertWarning, kHelpSertWarning2, kHelpSertInfo}) {
        ShowHelpInfo(context, nullptr);
        saved = QTest::qWaitForWindowExposed(SertInfoForm()) &&
                Save(*SertInfoForm(),
                     folder.filePath(QStringLiteral("info-panel-%1.png").arg(context))) &&
                saved;
    }
    FreeSertInfoForm();
    if (!saved)
        std::cerr << "could not write the pictures into " << folder.path().toStdString() << "\n";
    return saved ? 0 : 1;
}
