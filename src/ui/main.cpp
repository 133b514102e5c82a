// The window program.
#include "app/ErrorReport.h"
#include "base/ProgramInfo.h"
#include "base/Translate.h"
#include "ui/Startup.h"

#include <iostream>
#include <string>

namespace {

std::string WindowUsage() {
    return cq::Tr(
        "Использование: certquorix [-debug] [--email АДРЕС]\n"
        "       certquorix --help | --version\n"
        "Окно CertQuorix: запрос сертификата (RSA или ГОСТ), получение, проверка и экспорт в "
        "PKCS#12.\n"
        "  -debug     подробный обмен с сервисом на стандартный поток ошибок\n"
        "  --email    открыть вкладку получения сертификата на этом адресе\n"
        "  --help     эта справка\n"
        "  --version  версия программы\n"
        "Те же шаги из командной строки: certquorix-cli --help.\n");
}

/// Help and the version are printed before any display is opened, so they work without one.
bool AnsweredWithoutWindow(int argc, char** argv, int& status) {
    if (argc != 2)
        return false;
    const std::string argument = argv[1];
    status = 0;
    if (argument == "--help" || argument == "-h") {
        std::cout << WindowUsage();
        return true;
    }
    if (argument == "--version") {
        std::cout << cq::ProgramVersion() << "\n";
        return true;
    }
    return false;
}

} // namespace

int main(int argc, char** argv) {
    // Before any text is made: the help, the boxes and the window speak the user's language.
    cq::UseUserLanguage(cq::ProgramFolder() + "locale");
    int status = 0;
    if (AnsweredWithoutWindow(argc, argv, status))
        return status;
    try {
        return cq::ui::RunProgram(argc, argv);
    } catch (const std::exception& error) {
        // Start-up failed outside the event loop; the connection is already closed.
        std::cerr << cq::DescribeError(error) << "\n";
        return 1;
    }
}
