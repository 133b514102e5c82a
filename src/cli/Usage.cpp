#include "cli/Usage.h"

#include <algorithm>
#include <map>

namespace cq::cli {
namespace {

const std::map<std::string, std::string>& UsageTable() {
    static const std::map<std::string, std::string> table = {
        {"version", "Использование: certquorix-cli version\n"
                    "Показывает имя, версию и папку программы, имя и идентификатор станции.\n"},
        {"settings", "Использование: certquorix-cli settings\n"
                     "Показывает действующие настройки, по строке \"Имя=значение\".\n"},
        {"get", "Использование: certquorix-cli get URL\n"
                "Получает адрес через соединение программы и выводит ответ.\n"},
        {"request",
         "Использование: certquorix-cli request --email АДРЕС [--country C] [--state S]\n"
         "       [--locality L] [--organization O] [--unit U] [--common-name N]\n"
         "       [--open-password] [--password-file ФАЙЛ] [--yes]\n"
         "       certquorix-cli request --gost --email АДРЕС [параметры субъекта]\n"
         "       [--provider ИМЯ] [--yes]\n"
         "Пароль ключа берётся из переменной окружения CERTQUORIX_PASSWORD, из файла "
         "--password-file\n"
         "или запрашивается на терминале; в командной строке он не передаётся. Пароль "
         "контейнера\n"
         "ГОСТ (необязательный) берётся из CERTQUORIX_CONTAINER_PASSWORD или с терминала.\n"},
        {"download", "Использование: certquorix-cli download --email АДРЕС [--yes]\n"},
        {"check", "Использование: certquorix-cli check --email АДРЕС [--password-file ФАЙЛ]\n"
                  "Для папки запроса ГОСТ ключ берётся из его контейнера (пароль: "
                  "CERTQUORIX_CONTAINER_PASSWORD или терминал).\n"
                  "Пароль ключа: переменная CERTQUORIX_PASSWORD, файл или ввод с "
                  "терминала.\n"},
        {"export",
         "Использование: certquorix-cli export --email АДРЕС [--no-open] [--legacy] [--nss]\n"
         "       [--password-file ФАЙЛ]\n"
         "Для папки запроса ГОСТ в файл идут ключ программного контейнера и сертификат;\n"
         "ключ на токене не извлекается.\n"},
        {"import", "Использование: certquorix-cli import --email АДРЕС ФАЙЛ [--yes]\n"
                   "       [--password-file ФАЙЛ]\n"
                   "Переносит ключ ГОСТ и сертификат из файла PKCS#12 в новый контейнер и папку\n"
                   "сертификата адреса. Пароль файла: CERTQUORIX_PASSWORD, файл или терминал.\n"},
        {"list", "Использование: certquorix-cli list\n"
                 "По строке на адрес списка Email: адрес, состояние папки (нет ключа, запрошен,\n"
                 "получен), для полученного сертификата дата окончания и число оставшихся дней\n"
                 "(помечено, когда их меньше 30 или срок истёк); поля разделены табуляцией.\n"},
        {"providers", "Использование: certquorix-cli providers\n"
                      "Показывает найденные криптопровайдеры ГОСТ.\n"},
    };
    return table;
}

} // namespace

const std::vector<std::string>& CommandNames() {
    static const std::vector<std::string> names = {"version",  "settings", "get",    "request",
                                                   "download", "check",    "export", "import",
                                                   "list",     "providers"};
    return names;
}

std::string ToolUsage() {
    std::string text = "Использование: certquorix-cli КОМАНДА [параметры]\n"
                       "       certquorix-cli КОМАНДА --help\n"
                       "       certquorix-cli --version | --help\n"
                       "Команды:";
    for (const std::string& name : CommandNames())
        text += " " + name;
    return text + "\n";
}

std::string CommandUsage(const std::string& command) {
    const auto it = UsageTable().find(command);
    return it == UsageTable().end() ? std::string() : it->second;
}

bool AsksForHelp(const std::vector<std::string>& args) {
    return std::any_of(args.begin(), args.end(),
                       [](const std::string& arg) { return arg == "--help" || arg == "-h"; });
}

} // namespace cq::cli
