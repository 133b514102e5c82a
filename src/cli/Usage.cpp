#include "cli/Usage.h"

#include <algorithm>
#include <map>
#include <utility>

namespace cq::cli {
namespace {

const std::map<std::string, std::string>& UsageTable() {
    static const std::map<std::string, std::string> table = {
        {"version", "Использование: certquorix-cli version [--json]\n"
                    "Показывает имя, версию и папку программы, имя и идентификатор станции.\n"},
        {"settings", "Использование: certquorix-cli settings\n"
                     "Показывает действующие настройки, по строке \"Имя=значение\".\n"},
        {"get", "Использование: certquorix-cli get URL\n"
                "Получает адрес через соединение программы и выводит ответ.\n"},
        {"request",
         "Использование: certquorix-cli request --email АДРЕС [--country C] [--state S]\n"
         "       [--locality L] [--organization O] [--unit U] [--common-name N]\n"
         "       [--open-password] [--password-file ФАЙЛ] [--yes] [--json]\n"
         "       certquorix-cli request --gost --email АДРЕС [параметры субъекта]\n"
         "       [--provider ИМЯ] [--yes] [--json]\n"
         "Создаёт ключ RSA и запрос и отправляет запрос; с --gost ключ создаётся в\n"
         "контейнере криптопровайдера ГОСТ (--provider: провайдер вместо первого найденного).\n"
         "  --open-password  пароль без подтверждения при вводе с терминала\n"
         "Пароль ключа берётся из файла --password-file, из переменной окружения\n"
         "CERTQUORIX_PASSWORD или запрашивается на терминале; в командной строке он не\n"
         "передаётся. Пароль контейнера ГОСТ (необязательный) берётся из\n"
         "CERTQUORIX_CONTAINER_PASSWORD или с терминала.\n"},
        {"download", "Использование: certquorix-cli download --email АДРЕС [--yes] [--json]\n"
                     "Получает выпущенный сертификат в папку адреса; ещё не выпущен: код 3.\n"
                     "Сертификат не для ключа запроса папки не заменяет Certificate.cer: он\n"
                     "сохраняется рядом (Certificate-unmatched-ДАТА.cer), код 5.\n"},
        {"check",
         "Использование: certquorix-cli check --email АДРЕС [--password-file ФАЙЛ] [--json]\n"
         "Для папки запроса ГОСТ ключ берётся из его контейнера (пароль: "
         "CERTQUORIX_CONTAINER_PASSWORD или терминал).\n"
         "Пароль ключа: переменная CERTQUORIX_PASSWORD, файл или ввод с "
         "терминала.\n"},
        {"export",
         "Использование: certquorix-cli export --email АДРЕС [--no-open] [--legacy] [--nss]\n"
         "       [--nss-db ПАПКА] [-o ПУТЬ [--yes]] [--password-file ФАЙЛ] [--cipher ШИФР]\n"
         "Записывает и проверяет Certificate.p12 и передаёт его рабочему столу.\n"
         "  --no-open  не передавать файл рабочему столу\n"
         "  --legacy   старая защита (PBE-SHA1-3DES, MAC SHA-1) для старых систем\n"
         "  --cipher ШИФР  шифр файла ГОСТ: gost89 (ГОСТ 28147-89, по умолчанию; его читают\n"
         "             все программы) или kuznyechik (ГОСТ Р 34.12-2015)\n"
         "  --nss      импорт в базу NSS пользователя ~/.pki/nssdb (её читают Chromium и\n"
         "             программы GNOME) вместо передачи файла\n"
         "  --nss-db ПАПКА  импорт в данную базу NSS, например профиль Firefox\n"
         "             (~/.mozilla/firefox/ИМЯ.default-release): у Firefox база своя в каждом\n"
         "             профиле\n"
         "  -o, --output ПУТЬ  записать копию .p12 ещё и по этому пути; имеющийся файл\n"
         "             заменяется только с --yes или после вопроса, файлы папок\n"
         "             сертификатов и файл параметров — никогда\n"
         "Для папки запроса ГОСТ в файл идут ключ программного контейнера и сертификат;\n"
         "ключ на токене не извлекается.\n"},
        {"import", "Использование: certquorix-cli import --email АДРЕС ФАЙЛ [--yes]\n"
                   "       [--password-file ФАЙЛ]\n"
                   "Переносит ключ ГОСТ и сертификат из файла PKCS#12 в новый контейнер и папку\n"
                   "сертификата адреса. Пароль файла: CERTQUORIX_PASSWORD, файл или терминал.\n"},
        {"list",
         "Использование: certquorix-cli list [--json]\n"
         "По строке на адрес списка Email: адрес, состояние папки (нет ключа, запрошен,\n"
         "получен), для полученного сертификата дата окончания (UTC) и число оставшихся дней\n"
         "(помечено, когда их меньше 30 или срок истёк); поля разделены табуляцией.\n"},
        {"providers", "Использование: certquorix-cli providers [--json]\n"
                      "Показывает найденные криптопровайдеры ГОСТ.\n"},
        {"forget", "Использование: certquorix-cli forget --email АДРЕС [--delete-folder] [--yes]\n"
                   "Удаляет адрес из списка Email. Папка сертификата остаётся; с --delete-folder\n"
                   "она удаляется после подтверждения (или с --yes).\n"},
        {"doctor", "Использование: certquorix-cli doctor [--json]\n"
                   "По строке на условие: OK или что не так и что сделать. Проверяются папка\n"
                   "программы, файлы оператора Request.cer и Request.key (есть, читаются, ключ\n"
                   "от сертификата), файл настроек (чтение и запись), адреса сервиса, CaFile,\n"
                   "прокси, openssl, GOST engine, pk12util (необязательно), папка данных.\n"
                   "Код 0, когда все обязательные условия выполнены, иначе 9.\n"},
        {"status", "Использование: certquorix-cli status --email АДРЕС [--password-file ФАЙЛ] "
                   "[--json]\n"
                   "Субъект, издатель, серийный номер, отпечаток SHA-256, срок действия (UTC, с\n"
                   "числом оставшихся дней), алгоритм и размер ключа полученного сертификата,\n"
                   "соответствует ли ему ключ (файл ключа или контейнер ГОСТ) и где лежат файлы.\n"
                   "Ключ не соответствует: код 5.\n"},
    };
    return table;
}

/// One line a command: what it does.
const std::vector<std::pair<std::string, std::string>>& CommandSummaries() {
    static const std::vector<std::pair<std::string, std::string>> summaries = {
        {"request", "создать ключ и запрос сертификата и отправить запрос в сервис"},
        {"download", "получить выпущенный сертификат"},
        {"check", "проверить сертификат по ключу"},
        {"status", "сведения о сертификате и ключе, где лежат файлы"},
        {"export", "записать сертификат с ключом в PKCS#12 (и в хранилище NSS)"},
        {"import", "перенести ключ ГОСТ и сертификат из PKCS#12"},
        {"list", "адреса списка, состояние папок и оставшиеся дни"},
        {"providers", "найденные криптопровайдеры ГОСТ"},
        {"settings", "действующие настройки"},
        {"get", "запрос GET к сервису через соединение программы"},
        {"version", "версия, папка программы и станция"},
        {"forget", "удалить адрес из списка (папка остаётся без --delete-folder)"},
        {"doctor", "проверка установки: файлы оператора, настройки, openssl, GOST engine"},
    };
    return summaries;
}

constexpr const char* kCommonOptions =
    "Параметры любой команды: -y/--yes (ответ «да» на вопросы), -q/--quiet (только ошибки),\n"
    "-v/--verbose (записи журнала этого запуска на stderr), -h/--help. Значение параметра:\n"
    "--параметр значение или --параметр=значение; --password-file - читает пароль со\n"
    "стандартного ввода; параметр в командной строке важнее переменной окружения.\n"
    "--json (list, check, status, download, request, providers, version): один документ JSON.\n";

constexpr const char* kExitStatuses =
    "Коды завершения: 0 успех, 1 иная ошибка, 2 неверный вызов, 3 сертификат ещё не выпущен,\n"
    "4 срок истёк, 5 сертификат не соответствует ключу, 6 неверный пароль, 7 нет связи с\n"
    "сервисом (сеть, TLS), 8 сервис отказал, 9 программа не настроена (файлы оператора).\n";

} // namespace

const std::vector<std::string>& CommandNames() {
    static const std::vector<std::string> names = [] {
        std::vector<std::string> list;
        for (const auto& [name, summary] : CommandSummaries())
            list.push_back(name);
        return list;
    }();
    return names;
}

std::string ToolUsage() {
    std::string text = "Использование: certquorix-cli КОМАНДА [параметры]\n"
                       "       certquorix-cli КОМАНДА --help\n"
                       "       certquorix-cli --version | --help\n"
                       "Команды:\n";
    for (const auto& [name, summary] : CommandSummaries())
        text += "  " + name + std::string(11 - name.size(), ' ') + summary + "\n";
    return text + kCommonOptions + kExitStatuses;
}

std::string CommandUsage(const std::string& command) {
    const auto it = UsageTable().find(command);
    if (it == UsageTable().end())
        return {};
    return it->second + kCommonOptions + kExitStatuses;
}

bool AsksForHelp(const std::vector<std::string>& args) {
    return std::any_of(args.begin(), args.end(),
                       [](const std::string& arg) { return arg == "--help" || arg == "-h"; });
}

} // namespace cq::cli
