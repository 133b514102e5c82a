#include "cli/OptionTable.h"

#include "base/Translate.h"

#include <algorithm>

namespace cq::cli {

const std::vector<CommandSpec>& CommandSpecs() {
    static const std::vector<CommandSpec> commands = {
        {"request", TrMark("создать ключ и запрос сертификата и отправить запрос в сервис"), "",
         TrMark(
             "Создаёт ключ RSA и запрос и отправляет запрос; с --gost ключ создаётся в\n"
             "контейнере криптопровайдера ГОСТ (--provider: провайдер вместо первого найденного).\n"
             "Пароль ключа берётся из файла --password-file, иначе из переменной окружения\n"
             "CERTQUORIX_PASSWORD, иначе запрашивается на терминале; в командной строке он не\n"
             "передаётся. Пароль контейнера ГОСТ (необязательный) берётся из\n"
             "CERTQUORIX_CONTAINER_PASSWORD или с терминала.\n")},
        {"renew", TrMark("продлить рабочий сертификат: новый ключ и запрос рядом с рабочими"), "",
         TrMark(
             "Создаёт новый ключ и запрос с субъектом рабочего сертификата (из Request.ini;\n"
             "параметры субъекта заменяют отдельные поля) тем же алгоритмом и отправляет\n"
             "запрос. Ключ, акт и запись запроса ждут выпуска в Renewal.key, Renewal.rtf и\n"
             "Renewal.ini (для ГОСТ — новый контейнер); рабочие ключ и сертификат остаются в "
             "силе.\n"
             "Ожидающее продление заменяется после вопроса или с --yes. Без рабочего сертификата:\n"
             "код 2. С --cancel ожидающее продление отменяется (контейнер ГОСТ остаётся).\n")},
        {"download", TrMark("получить выпущенный сертификат"), "",
         TrMark(
             "Получает выпущенный сертификат в папку адреса; ещё не выпущен: код 3. Тот же\n"
             "сертификат уже в папке: код 0, ничего не меняется. Сертификат не для ключа запроса\n"
             "папки не заменяет Certificate.cer: он сохраняется рядом\n"
             "(Certificate-unmatched-ДАТА.cer), код 5. При ожидающем продлении сертификат\n"
             "рабочего ключа значит, что продление ещё не выпущено (код 3); сертификат ключа\n"
             "продления становится рабочим вместе с ним, прежние файлы переносятся в папку\n"
             "Previous-ДАТА-ВРЕМЯ.\n")},
        {"check", TrMark("проверить сертификат по ключу"), "",
         TrMark("Проверяет сертификат по ключу. Для папки запроса ГОСТ ключ берётся из его "
                "контейнера\n"
                "(пароль: CERTQUORIX_CONTAINER_PASSWORD или терминал). Пароль ключа: файл\n"
                "--password-file, переменная CERTQUORIX_PASSWORD или ввод с терминала.\n"),
         true},
        {"status", TrMark("сведения о сертификате и ключе, где лежат файлы"), "",
         TrMark("Субъект, издатель, серийный номер, отпечаток SHA-256, срок действия (UTC, с\n"
                "числом оставшихся дней), алгоритм и размер ключа полученного сертификата,\n"
                "соответствует ли ему ключ (файл ключа или контейнер ГОСТ) и где лежат файлы.\n"
                "Ключ не соответствует: код 5.\n"),
         true},
        {"export", TrMark("записать сертификат с ключом в PKCS#12 (и в хранилище NSS)"), "",
         TrMark("Записывает и проверяет Certificate.p12 и передаёт его рабочему столу.\n"
                "Для папки запроса ГОСТ в файл идут ключ программного контейнера и сертификат;\n"
                "ключ на токене не извлекается.\n")},
        {"import", TrMark("перенести ключ ГОСТ и сертификат из PKCS#12"), TrMark("ФАЙЛ"),
         TrMark("Переносит ключ ГОСТ и сертификат из файла PKCS#12 в новый контейнер и папку\n"
                "сертификата адреса. Пароль файла: файл --password-file, CERTQUORIX_PASSWORD или\n"
                "терминал.\n")},
        {"list", TrMark("адреса списка, состояние папок и оставшиеся дни"), "",
         TrMark(
             "По строке на адрес списка Email: адрес, состояние папки (нет ключа, запрошен,\n"
             "получен), для полученного сертификата дата окончания (UTC) и число оставшихся дней\n"
             "(помечено, когда их меньше 30 или срок истёк), состояние продления (\"продление:\n"
             "pending\" или \"issued\"); поля разделены табуляцией. Код 11, когда у сертификата\n"
             "осталось не больше --warn-days дней (по умолчанию WarnDays настроек, 30) или срок\n"
             "истёк.\n"),
         true},
        {"providers", TrMark("найденные криптопровайдеры ГОСТ"), "",
         TrMark("Показывает найденные криптопровайдеры ГОСТ.\n"), true},
        {"settings", TrMark("действующие настройки"), "",
         TrMark("Показывает действующие настройки, по строке \"Имя=значение\", и прокси, через "
                "который\n"
                "идут запросы, с его источником.\n"),
         true},
        {"get", TrMark("запрос GET к сервису через соединение программы"), "URL",
         TrMark("Получает адрес через соединение программы и выводит ответ.\n"), true},
        {"version", TrMark("версия, папка программы и станция"), "",
         TrMark("Показывает имя, версию и папку программы, имя и идентификатор станции.\n"), true},
        {"forget", TrMark("удалить адрес из списка (папка остаётся без --delete-folder)"), "",
         TrMark("Удаляет адрес из списка Email. Папка сертификата остаётся; с --delete-folder\n"
                "она удаляется после подтверждения (или с --yes).\n")},
        {"doctor", TrMark("проверка установки и связи с сервисом"), "",
         TrMark(
             "По строке на условие: OK или что не так, где и что сделать. Проверяются папка\n"
             "программы, файлы оператора Request.cer и Request.key (читаются, разбираются, ключ\n"
             "от сертификата, срок сертификата), файл CaFile, адреса сервиса из действующего\n"
             "файла настроек, прокси в силе и его источник, openssl, GOST engine, pk12util\n"
             "(необязательно), папка данных, и соединение TLS с сертификатом оператора с каждым\n"
             "адресом сервиса (с ограничением времени; --offline его пропускает).\n"
             "Код 0, когда все обязательные условия выполнены; 9, когда установка неполна;\n"
             "7, когда сервис недоступен.\n"),
         true},
        {"notify", TrMark("уведомления рабочего стола о сертификатах, срок которых кончается"), "",
         TrMark(
             "Для каждого сертификата списка, у которого осталось не больше WarnDays дней\n"
             "(настройки, по умолчанию 30) или срок истёк, посылает уведомление рабочего стола,\n"
             "не чаще раза в день на адрес; его действие открывает окно программы на этом\n"
             "адресе. Нет службы уведомлений: сообщение на stderr, код 0. Запускается ежедневно\n"
             "таймером certquorix-notify.timer пользователя; отключение: systemctl --user\n"
             "mask certquorix-notify.timer.\n")},
        {"report", TrMark("сроки сертификатов всех пользователей (для root)"), "",
         TrMark(
             "Для администратора (root): по строке на пользователя и адрес его списка Email:\n"
             "пользователь, адрес, состояние папки, дата окончания сертификата (UTC), число\n"
             "оставшихся дней, состояние продления. Папки пользователей только читаются: ни\n"
             "блокировок, ни журналов, ни настроек в них не пишется. Код 11, когда у сертификата\n"
             "осталось не больше --warn-days дней (по умолчанию WarnDays настроек, 30) или срок\n"
             "истёк.\n"),
         true},
    };
    return commands;
}

const std::vector<OptionSpec>& OptionSpecs() {
    static const std::vector<OptionSpec> options = {
        {"--email",
         "",
         TrMark("АДРЕС"),
         ValueKind::Address,
         TrMark("адрес e-mail сертификата"),
         {"request", "renew", "download", "check", "status", "export", "import", "forget"},
         true},
        {"--country",
         "",
         "C",
         ValueKind::Text,
         TrMark("страна (две буквы, по умолчанию ru)"),
         {"request", "renew"}},
        {"--state", "", "S", ValueKind::Text, TrMark("область"), {"request", "renew"}},
        {"--locality", "", "L", ValueKind::Text, TrMark("город"), {"request", "renew"}},
        {"--organization", "", "O", ValueKind::Text, TrMark("организация"), {"request", "renew"}},
        {"--unit", "", "U", ValueKind::Text, TrMark("подразделение"), {"request", "renew"}},
        {"--common-name", "", "N", ValueKind::Text, TrMark("ФИО"), {"request", "renew"}},
        {"--key-bits",
         "",
         "N",
         ValueKind::Number,
         TrMark("размер ключа RSA этого запроса: 1024, 2048, 3072 или 4096"),
         {"request", "renew"}},
        {"--open-password",
         "",
         "",
         ValueKind::None,
         TrMark("пароль без подтверждения при вводе с терминала"),
         {"request", "renew"}},
        {"--gost",
         "",
         "",
         ValueKind::None,
         TrMark("ключ ГОСТ в контейнере криптопровайдера"),
         {"request"}},
        {"--provider",
         "",
         TrMark("ИМЯ"),
         ValueKind::Text,
         TrMark("криптопровайдер ГОСТ вместо первого найденного (для продления: вместо\n"
                "                        провайдера рабочего ключа)"),
         {"request", "renew"}},
        {"--password-file",
         "",
         TrMark("ФАЙЛ"),
         ValueKind::File,
         TrMark("пароль из файла; \"-\": первая строка стандартного ввода"),
         {"request", "renew", "check", "status", "export", "import"}},
        {"--cancel",
         "",
         "",
         ValueKind::None,
         TrMark("отменить ожидающее продление (рабочий сертификат не меняется)"),
         {"renew"}},
        {"--no-open",
         "",
         "",
         ValueKind::None,
         TrMark("не передавать файл рабочему столу"),
         {"export"}},
        {"--legacy",
         "",
         "",
         ValueKind::None,
         TrMark("старая защита (PBE-SHA1-3DES, MAC SHA-1) для старых систем"),
         {"export"}},
        {"--cipher",
         "",
         TrMark("ШИФР"),
         ValueKind::Choice,
         TrMark("шифр файла ГОСТ: gost89 (ГОСТ 28147-89, по умолчанию; его читают\n"
                "                        все программы) или kuznyechik (ГОСТ Р 34.12-2015)"),
         {"export"}},
        {"--nss",
         "",
         "",
         ValueKind::None,
         TrMark("импорт в базу NSS пользователя ~/.pki/nssdb вместо передачи файла"),
         {"export"}},
        {"--nss-db",
         "",
         TrMark("ПАПКА"),
         ValueKind::Folder,
         TrMark("импорт в данную базу NSS, например профиль Firefox"),
         {"export"}},
        {"--output",
         "-o",
         TrMark("ПУТЬ"),
         ValueKind::File,
         TrMark("записать копию .p12 ещё и по этому пути (имеющийся файл\n"
                "                        заменяется только с --yes или после вопроса; файлы папок\n"
                "                        сертификатов и файл параметров — никогда); \"-\": на\n"
                "                        стандартный вывод (не терминал)"),
         {"export"}},
        {"--delete-folder",
         "",
         "",
         ValueKind::None,
         TrMark("удалить и папку сертификата (после подтверждения или с --yes)"),
         {"forget"}},
        {"--offline", "", "", ValueKind::None, TrMark("не соединяться с сервисом"), {"doctor"}},
        {"--all-users",
         "",
         "",
         ValueKind::None,
         TrMark("папки данных всех пользователей системы"),
         {"report"},
         true},
        {"--warn-days",
         "",
         "N",
         ValueKind::Number,
         TrMark("период предупреждения в днях вместо WarnDays настроек"),
         {"list", "report"}},
        {"--json",
         "",
         "",
         ValueKind::None,
         TrMark("один документ JSON на стандартный вывод"),
         {"request", "renew", "download", "check", "status", "list", "providers", "version",
          "doctor", "report"}},
        {"--yes",
         "-y",
         "",
         ValueKind::None,
         TrMark("ответ «да» на вопросы о замене файлов"),
         {"request", "renew", "download", "export", "import", "forget"}},
        {"--quiet", "-q", "", ValueKind::None, TrMark("только ошибки"), {}},
        {"--verbose",
         "-v",
         "",
         ValueKind::None,
         TrMark("записи журнала этого запуска на stderr"),
         {}},
        {"--help", "-h", "", ValueKind::None, TrMark("эта справка"), {}},
    };
    return options;
}

bool IsCommonOption(const OptionSpec& option) {
    return option.name == "--yes" || option.name == "--quiet" || option.name == "--verbose" ||
           option.name == "--help";
}

const CommandSpec* FindCommand(const std::string& name) {
    const auto& commands = CommandSpecs();
    const auto found = std::find_if(commands.begin(), commands.end(),
                                    [&name](const CommandSpec& c) { return c.name == name; });
    return found != commands.end() ? &*found : nullptr;
}

std::vector<const OptionSpec*> OptionsOf(const std::string& command) {
    std::vector<const OptionSpec*> options;
    for (const OptionSpec& option : OptionSpecs())
        if (std::find(option.commands.begin(), option.commands.end(), command) !=
            option.commands.end())
            options.push_back(&option);
    return options;
}

const OptionSpec* FindOption(const std::string& name) {
    for (const OptionSpec& option : OptionSpecs())
        if (option.name == name || (!option.shortName.empty() && option.shortName == name))
            return &option;
    return nullptr;
}

} // namespace cq::cli
