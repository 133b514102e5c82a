#include "cli/ConsoleDialogs.h"

#include <iostream>
#include <string>
#include <unistd.h>

namespace cq::cli {

void ConsoleDialogs::showError(const std::string& text, const std::string& caption) {
    std::cerr << caption << ": " << text << std::endl;
}

void ConsoleDialogs::showWarning(const std::string& text, const std::string& caption) {
    std::cerr << caption << ": " << text << std::endl;
}

void ConsoleDialogs::showInfo(const std::string& text, const std::string& caption) {
    std::cout << caption << ": " << text << std::endl;
}

bool ConsoleDialogs::askYesNo(const std::string& text, const std::string& caption) {
    if (assumeYes_)
        return true;
    if (!::isatty(STDIN_FILENO))
        return false;
    std::cerr << caption << ": " << text << " [да/нет, y/n] " << std::flush;
    std::string answer;
    if (!std::getline(std::cin, answer))
        return false;
    return answer == "y" || answer == "Y" || answer == "yes" || answer == "да" || answer == "Да" ||
           answer == "д";
}

} // namespace cq::cli
