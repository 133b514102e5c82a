#include "cli/ConsoleDialogs.h"

#include "base/StringUtil.h"
#include "base/Translate.h"
#include "cli/TerminalLine.h"

#include <iostream>
#include <string>
#include <unistd.h>

namespace cq::cli {
namespace {

bool IsYes(const std::string& answer) {
    const std::string latin = LowerCase(answer);
    if (latin == "y" || latin == "yes")
        return true;
    for (const char* yes : {"д", "да", "Д", "Да", "ДА"})
        if (answer == yes)
            return true;
    return false;
}

/// "caption: text", or the text alone under the window's title, which says nothing on a console.
std::string ConsoleLine(const std::string& text, const std::string& caption) {
    if (caption.empty() || caption == ApplicationTitle())
        return text;
    return caption + ": " + text;
}

/// The text on one line: line breaks and other control characters become single blanks.
std::string OneLine(const std::string& text) {
    std::string line;
    for (const char c : text) {
        if (static_cast<unsigned char>(c) >= 0x20 && c != 0x7f)
            line += c;
        else if (!line.empty() && line.back() != ' ')
            line += ' ';
    }
    return Trim(line);
}

} // namespace

void ConsoleDialogs::keepError(const std::string& text, const std::string& caption,
                               FailureClass failure, const std::string& readable) {
    if (!firstErrorText_.empty())
        return;
    firstErrorText_ = text;
    firstErrorCaption_ = caption;
    firstErrorClass_ = failure;
    firstErrorReadable_ = OneLine(readable.empty() ? text : readable);
}

void ConsoleDialogs::showError(const std::string& text, const std::string& caption) {
    showFailure(text, caption, FailureClass::Other, text);
}

void ConsoleDialogs::showFailure(const std::string& text, const std::string& caption,
                                 FailureClass failure, const std::string& readable) {
    keepError(text, caption, failure, readable);
    std::cerr << ConsoleLine(text, caption) << std::endl;
}

void ConsoleDialogs::showWarning(const std::string& text, const std::string& caption) {
    if (firstWarningText_.empty())
        firstWarningText_ = text;
    std::cerr << ConsoleLine(text, caption) << std::endl;
}

void ConsoleDialogs::showInfo(const std::string& text, const std::string& caption) {
    infoShown_ += (infoShown_.empty() ? "" : "\n") + text;
    if (quiet_)
        return;
    std::cout << ConsoleLine(text, caption) << std::endl;
}

bool ConsoleDialogs::askYesNo(const std::string& text, const std::string& caption) {
    return askYesNoWithDefault(text, caption, DefaultAnswer::No);
}

bool ConsoleDialogs::askYesNoWithDefault(const std::string& text, const std::string& caption,
                                         DefaultAnswer defaultAnswer) {
    if (assumeYes_)
        return true;
    if (!::isatty(STDIN_FILENO))
        return false;
    const bool yesByDefault = defaultAnswer == DefaultAnswer::Yes;
    std::cerr << caption << ": " << text
              << (yesByDefault ? Tr(" [Y/n, да/нет; Enter — да] ")
                               : Tr(" [y/N, да/нет; Enter — нет] "))
              << std::flush;
    const std::optional<std::string> typed = ReadTerminalLine();
    if (!typed)
        return false; // end of input or a stop is no answer at all: nothing is replaced
    const std::string answer = Trim(*typed);
    if (answer.empty())
        return yesByDefault;
    return IsYes(answer);
}

} // namespace cq::cli
