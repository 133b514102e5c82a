#include "cli/Usage.h"

#include "base/Translate.h"
#include "cli/Commands.h"
#include "cli/OptionTable.h"

#include <algorithm>
#include <utility>

namespace cq::cli {
namespace {

constexpr size_t kUsageWidth = 92;

/// The width of a UTF-8 text in characters (the bytes that begin one).
size_t Width(const std::string& text) {
    return static_cast<size_t>(std::count_if(text.begin(), text.end(), [](char c) {
        return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    }));
}

/// "--email АДРЕС", "[--country C]", "[-o|--output ПУТЬ]".
std::string SynopsisItem(const OptionSpec& option) {
    std::string item =
        option.shortName.empty() ? option.name : option.shortName + "|" + option.name;
    if (!option.value.empty())
        item += " " + Tr(option.value);
    return option.required ? item : "[" + item + "]";
}

/// The usage line of a command, wrapped under its beginning.
std::string Synopsis(const CommandSpec& command) {
    const std::string usage = Tr("Использование: ");
    const std::string start = usage + "certquorix-cli " + command.name;
    const std::string indent(Width(usage), ' ');
    std::vector<std::string> items;
    for (const OptionSpec* option : OptionsOf(command.name))
        items.push_back(SynopsisItem(*option));
    if (!command.positional.empty())
        items.push_back(Tr(command.positional));
    std::string text = start;
    size_t lineLength = Width(start);
    for (const std::string& item : items) {
        if (lineLength + 1 + Width(item) > kUsageWidth) {
            text += "\n" + indent;
            lineLength = indent.size();
        } else {
            text += " ";
            ++lineLength;
        }
        text += item;
        lineLength += Width(item);
    }
    return text + "\n";
}

/// One line an option: its names and value, then its help.
std::string OptionLines(const CommandSpec& command) {
    std::string text;
    for (const OptionSpec* option : OptionsOf(command.name)) {
        std::string names =
            option->shortName.empty() ? option->name : option->shortName + ", " + option->name;
        if (!option->value.empty())
            names += " " + Tr(option->value);
        text += "  " + names + std::string(Width(names) < 22 ? 22 - Width(names) : 1, ' ') +
                Tr(option->help) + "\n";
    }
    return text.empty() ? text : Tr("Параметры:\n") + text;
}

constexpr const char* kCommonOptions = TrMark(
    "Параметры любой команды: -y/--yes (ответ «да» на вопросы), -q/--quiet (только ошибки),\n"
    "-v/--verbose (записи журнала этого запуска на stderr), -h/--help. Значение параметра:\n"
    "--параметр значение или --параметр=значение; «--» заканчивает параметры. Параметр в\n"
    "командной строке важнее переменной окружения (--password-file важнее\n"
    "CERTQUORIX_PASSWORD).\n");

} // namespace

const std::vector<std::pair<int, std::string>>& ExitStatusTexts() {
    static const std::vector<std::pair<int, std::string>> texts = {
        {kExitOk, TrMark("успех")},
        {kExitFailed, TrMark("иная ошибка")},
        {kExitUsage, TrMark("неверный вызов или ввод, отказ ввести пароль")},
        {kExitNotIssued, TrMark("сертификат ещё не выпущен")},
        {kExitExpired, TrMark("срок истёк")},
        {kExitMismatch, TrMark("сертификат не соответствует ключу")},
        {kExitWrongPassword, TrMark("неверный пароль")},
        {kExitNetwork, TrMark("нет связи с сервисом (сеть, TLS, прокси)")},
        {kExitRefused, TrMark("сервис отказал")},
        {kExitSetupIncomplete, TrMark("программа не настроена (файлы оператора, CaFile, адреса)")},
        {kExitBusy, TrMark("с адресом уже работает другая операция")},
        {kExitExpiring, TrMark("сертификат в периоде предупреждения или просрочен (list, report)")},
    };
    return texts;
}

namespace {

std::string ExitStatuses() {
    std::string text = Tr("Коды завершения:");
    size_t lineLength = Width(text);
    for (const auto& [status, meaning] : ExitStatusTexts()) {
        const std::string item = " " + std::to_string(status) + " " + Tr(meaning) + ",";
        if (lineLength + Width(item) > kUsageWidth) {
            text += "\n";
            lineLength = 0;
        }
        text += item;
        lineLength += Width(item);
    }
    text.back() = '.';
    return text + "\n";
}

} // namespace

const std::vector<std::string>& CommandNames() {
    static const std::vector<std::string> names = [] {
        std::vector<std::string> list;
        for (const CommandSpec& command : CommandSpecs())
            list.push_back(command.name);
        return list;
    }();
    return names;
}

std::string ToolUsage() {
    std::string text = Tr("Использование: certquorix-cli КОМАНДА [параметры]\n"
                          "       certquorix-cli КОМАНДА --help\n"
                          "       certquorix-cli --version | --help\n"
                          "Команды:\n");
    for (const CommandSpec& command : CommandSpecs())
        text += "  " + command.name + std::string(11 - command.name.size(), ' ') +
                Tr(command.summary) + "\n";
    return text + Tr(kCommonOptions) + ExitStatuses();
}

std::string CommandUsage(const std::string& name) {
    const CommandSpec* command = FindCommand(name);
    if (!command)
        return {};
    return Synopsis(*command) + Tr(command->description) + OptionLines(*command) +
           Tr(kCommonOptions) + ExitStatuses();
}

bool AsksForHelp(const std::vector<std::string>& args) {
    return std::any_of(args.begin(), args.end(),
                       [](const std::string& arg) { return arg == "--help" || arg == "-h"; });
}

} // namespace cq::cli
