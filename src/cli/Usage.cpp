#include "cli/Usage.h"

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
        item += " " + option.value;
    return option.required ? item : "[" + item + "]";
}

/// The usage line of a command, wrapped under its beginning.
std::string Synopsis(const CommandSpec& command) {
    const std::string start = "Использование: certquorix-cli " + command.name;
    const std::string indent(Width("Использование: "), ' ');
    std::vector<std::string> items;
    for (const OptionSpec* option : OptionsOf(command.name))
        items.push_back(SynopsisItem(*option));
    if (!command.positional.empty())
        items.push_back(command.positional);
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
            names += " " + option->value;
        text += "  " + names + std::string(Width(names) < 22 ? 22 - Width(names) : 1, ' ') +
                option->help + "\n";
    }
    return text.empty() ? text : "Параметры:\n" + text;
}

constexpr const char* kCommonOptions =
    "Параметры любой команды: -y/--yes (ответ «да» на вопросы), -q/--quiet (только ошибки),\n"
    "-v/--verbose (записи журнала этого запуска на stderr), -h/--help. Значение параметра:\n"
    "--параметр значение или --параметр=значение; «--» заканчивает параметры. Параметр в\n"
    "командной строке важнее переменной окружения (--password-file важнее\n"
    "CERTQUORIX_PASSWORD).\n";

} // namespace

const std::vector<std::pair<int, std::string>>& ExitStatusTexts() {
    static const std::vector<std::pair<int, std::string>> texts = {
        {kExitOk, "успех"},
        {kExitFailed, "иная ошибка"},
        {kExitUsage, "неверный вызов или ввод, отказ ввести пароль"},
        {kExitNotIssued, "сертификат ещё не выпущен"},
        {kExitExpired, "срок истёк"},
        {kExitMismatch, "сертификат не соответствует ключу"},
        {kExitWrongPassword, "неверный пароль"},
        {kExitNetwork, "нет связи с сервисом (сеть, TLS, прокси)"},
        {kExitRefused, "сервис отказал"},
        {kExitSetupIncomplete, "программа не настроена (файлы оператора, CaFile, адреса)"},
        {kExitBusy, "с адресом уже работает другая операция"},
        {kExitExpiring, "сертификат в периоде предупреждения или просрочен (list, report)"},
    };
    return texts;
}

namespace {

std::string ExitStatuses() {
    std::string text = "Коды завершения:";
    size_t lineLength = Width(text);
    for (const auto& [status, meaning] : ExitStatusTexts()) {
        const std::string item = " " + std::to_string(status) + " " + meaning + ",";
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
    std::string text = "Использование: certquorix-cli КОМАНДА [параметры]\n"
                       "       certquorix-cli КОМАНДА --help\n"
                       "       certquorix-cli --version | --help\n"
                       "Команды:\n";
    for (const CommandSpec& command : CommandSpecs())
        text += "  " + command.name + std::string(11 - command.name.size(), ' ') + command.summary +
                "\n";
    return text + kCommonOptions + ExitStatuses();
}

std::string CommandUsage(const std::string& name) {
    const CommandSpec* command = FindCommand(name);
    if (!command)
        return {};
    return Synopsis(*command) + command->description + OptionLines(*command) + kCommonOptions +
           ExitStatuses();
}

bool AsksForHelp(const std::vector<std::string>& args) {
    return std::any_of(args.begin(), args.end(),
                       [](const std::string& arg) { return arg == "--help" || arg == "-h"; });
}

} // namespace cq::cli
