// certquorix-cli request: the RSA request of the request tab for scripts and servers. The same
// input rules as the window, the password from the environment, a file or the terminal.
// certquorix-cli renew: the same request with the subject of the working certificate, written
// as a pending renewal beside the working pair; renew --cancel abandons it.

#include "app/ErrorReport.h"
#include "base/FileUtil.h"
#include "base/StringUtil.h"
#include "base/Translate.h"
#include "certs/GostProcedure.h"
#include "certs/InputRules.h"
#include "certs/Renewal.h"
#include "certs/Submission.h"
#include "cli/Commands.h"
#include "cli/ContainerPasswordPrompt.h"
#include "cli/Failure.h"
#include "cli/JsonOutput.h"
#include "cli/MissingEngine.h"
#include "cli/Password.h"
#include "cli/PasswordInput.h"
#include "cli/Usage.h"
#include "provider/SoftwareGostProvider.h"
#include "settings/CertFolders.h"
#include "settings/EmailList.h"
#include "settings/ServiceDefaults.h"
#include "settings/Settings.h"
#include "settings/SettingsValues.h"

#include <openssl/crypto.h>

#include <chrono>
#include <cstdlib>
#include <iostream>
#include <optional>
#include <set>

namespace cq::cli {
namespace {

/// Thrown for bad usage or input; the message goes to standard error with exit status 2.
struct UsageError {
    std::string message;
};

/// One subject option: its edit's caption, its filter and width.
struct FieldRule {
    const char* option;
    const char* caption;
    FieldFilter filter;
    size_t width;
    std::string RequestFields::*field;
};

const FieldRule kFieldRules[] = {
    {"--country", TrMark("Страна"), FieldFilter::Subject, edit_width::kCountry,
     &RequestFields::Country},
    {"--state", TrMark("Область"), FieldFilter::Subject, edit_width::kState, &RequestFields::State},
    {"--locality", TrMark("Город"), FieldFilter::Subject, edit_width::kLocality,
     &RequestFields::Locality},
    {"--organization", TrMark("Организация"), FieldFilter::Subject, edit_width::kOrganization,
     &RequestFields::Organization},
    {"--unit", TrMark("Подразделение"), FieldFilter::Subject, edit_width::kOrganizUnit,
     &RequestFields::OrganizUnit},
    {"--common-name", TrMark("ФИО"), FieldFilter::Subject, edit_width::kCommonName,
     &RequestFields::CommonName},
    {"--email", TrMark("Эл. почта"), FieldFilter::Email, edit_width::kEmail, &RequestFields::Email},
};

struct Options {
    RequestSet set = RequestSet::Working;
    RequestFields fields;
    std::set<std::string> given; ///< the subject options given on the command line
    bool cancel = false;         ///< renew --cancel
    std::optional<std::string> passwordFile;
    bool emailGiven = false;
    bool gost = false;
    bool json = false;
    int keyBits = 0;      ///< --key-bits: the RSA key size instead of the settings' one
    std::string provider; ///< --provider: the GOST provider to use instead of the first
};

/// Holds the password texts of the fields and wipes them at the end.
struct PasswordWipe {
    RequestFields& fields;
    ~PasswordWipe() {
        OPENSSL_cleanse(fields.password.data(), fields.password.size());
        OPENSSL_cleanse(fields.password2.data(), fields.password2.size());
    }
};

const FieldRule* RuleFor(const std::string& option) {
    for (const FieldRule& rule : kFieldRules)
        if (option == rule.option)
            return &rule;
    return nullptr;
}

/// The value of --key-bits: one of the allowed sizes.
int KeyBits(const std::string& text) {
    for (const int allowed : kAllowedRsaKeyBits)
        if (text == std::to_string(allowed))
            return allowed;
    throw UsageError{TrFormat(
        "Размер ключа RSA (--key-bits) %1 не допускается: 1024, 2048, 3072 или 4096.", {text})};
}

Options ParseOptions(const Arguments& args, RequestSet set) {
    Options options;
    options.set = set;
    const bool renewal = set == RequestSet::Renewal;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (renewal && arg == "--cancel") {
            options.cancel = true;
        } else if (renewal && arg == "--gost") {
            throw UsageError{Tr("Продление делается тем же алгоритмом, что и рабочий "
                                "сертификат: --gost не указывается.")};
        } else if (arg == "--open-password") {
            options.fields.openPassword = true;
        } else if (arg == "--gost") {
            options.gost = true;
        } else if (arg == "--provider" && i + 1 < args.size()) {
            options.provider = args[++i];
        } else if (arg == "--key-bits" && i + 1 < args.size()) {
            options.keyBits = KeyBits(args[++i]);
        } else if (arg == "--yes") {
            // read by the console dialogs
        } else if (arg == "--json") {
            options.json = true;
        } else if (arg == "--password" || arg.starts_with("--password=")) {
            throw UsageError{Tr("Пароль не передаётся в командной строке: используйте "
                                "переменную CERTQUORIX_PASSWORD, --password-file или ввод с "
                                "терминала.")};
        } else if (i + 1 >= args.size() || (arg != "--password-file" && !RuleFor(arg))) {
            throw UsageError{TrFormat("Неизвестный или неполный параметр: %1", {arg})};
        } else if (arg == "--password-file") {
            options.passwordFile = args[++i];
        } else {
            options.fields.*(RuleFor(arg)->field) = args[++i];
            options.given.insert(arg);
            options.emailGiven = options.emailGiven || arg == "--email";
        }
    }
    if (!options.emailGiven)
        throw UsageError{Tr("Не указан адрес эл. почты (--email).")};
    if (options.gost && (options.fields.openPassword || options.passwordFile))
        throw UsageError{Tr("У запроса ГОСТ нет пароля ключа: ключ хранит крипто провайдер.")};
    if (options.gost && options.keyBits != 0)
        throw UsageError{Tr("--key-bits задаётся только для запроса RSA: размер ключа ГОСТ "
                            "задан алгоритмом.")};
    if (!options.gost && !options.provider.empty())
        throw UsageError{Tr("--provider задаётся только для запроса ГОСТ (--gost).")};
    return options;
}

std::string Allowed(FieldFilter filter) {
    return filter == FieldFilter::Email
               ? Tr("только строчные латинские буквы, цифры и символы - . _ @")
               : Tr("только латинские буквы, цифры, пробел и символы - . @");
}

void CheckField(const FieldRule& rule, const std::string& value) {
    const std::string caption = Tr(rule.caption);
    if (!FitsFilter(rule.filter, value))
        throw UsageError{TrFormat("Поле «%1» (%2) содержит недопустимые символы: допустимы %3.",
                                  {caption, rule.option, Allowed(rule.filter)})};
    if (CharacterCount(value) > rule.width)
        throw UsageError{TrFormat("Поле «%1» (%2) длиннее %3 символов.",
                                  {caption, rule.option, std::to_string(rule.width)})};
}

void CheckFields(const RequestFields& fields) {
    for (const FieldRule& rule : kFieldRules)
        CheckField(rule, fields.*rule.field);
    if (!EmailLooksUsable(fields.Email))
        throw UsageError{Tr("Поле «Эл. почта» (--email) должно содержать адрес вида имя@домен.")};
    if (EndsWithOperatorDomain(Trim(fields.CommonName), service::kOperatorMailDomain))
        throw UsageError{TrFormat("Поле «ФИО» (--common-name) не может оканчиваться на %1.",
                                  {std::string(service::kOperatorMailDomain)})};
}

void CheckPassword(const RequestFields& fields) {
    if (const std::optional<std::string> refusal = PasswordRefusal(fields.password))
        throw UsageError{*refusal};
    if (!fields.openPassword && fields.password != fields.password2)
        throw UsageError{Tr("Пароль и подтверждение не совпадают.")};
}

/// The password (and, when typed, its confirmation) from the environment, the file or the
/// terminal.
void TakePassword(const Options& options, RequestFields& fields) {
    bool typed = false;
    const SecretBytes password = ReadPassword(options.passwordFile, &typed);
    fields.password = fields.password2 = password.str();
    if (typed && !fields.openPassword)
        fields.password2 = PromptPassword(Tr("Подтверждение: ")).value_or("");
}

/// The --json document of a request the service accepted.
void PrintRequested(const std::string& email, const std::string& keyFile,
                    const std::string& container) {
    Json document = {
        {"email", email}, {"state", "requested"}, {"folder", CertificateFolder(email)}};
    if (!keyFile.empty())
        document["key_file"] = CertificateFolder(email) + keyFile;
    if (!container.empty())
        document["container"] = container;
    PrintJson(document);
}

/// The refusal of a request whose replacement of earlier files the user declined; `kept` names
/// what was kept, a whole phrase of its own.
int Declined(RequestSet set, const std::string& kept) {
    if (set == RequestSet::Renewal)
        return Fail(FailureClass::Other, Tr("Запрос на продление не отправлен: ожидающий запрос "
                                            "на продление оставлен (--yes разрешает его замену)."));
    return Fail(FailureClass::Other,
                TrFormat("Запрос не отправлен: %1 оставлен (--yes разрешает его замену).", {kept}));
}

/// A renewal's settings are loaded before the working request is read.
bool LoadSettingsFor(RequestSet set) {
    return set == RequestSet::Renewal || LoadSettingsForCommand(true);
}

int Request(const RequestFields& fields, bool json, int keyBits, RequestSet set) {
    if (!LoadSettingsFor(set))
        return kExitFailed;
    if (const std::optional<int> incomplete =
            IncompleteSetup(Settings().UrlRequestRSACertificate, "UrlRequestRSACertificate"))
        return *incomplete;
    if (keyBits != 0)
        Settings().RsaKeyBits = keyBits;
    const SubjectData subject = BuildSubjectData(fields);
    const char* const keyFile = set == RequestSet::Renewal ? kRenewalKeyFile : kCertificateKeyFile;
    bool declined = false;
    const bool sent =
        RequestRsaCertificateAs(set, keyFile, subject, DefaultServiceGet(), &declined);
    if (!sent)
        return declined ? Declined(set, Tr("файл ключа предыдущего запроса")) : kExitFailed;
    if (json)
        PrintRequested(subject.Email, keyFile, "");
    return kExitOk;
}

/// The GOST request: the first qualifying provider (or the named one), a new container; the
/// container's password through the console dialog. A cancelled dialog writes nothing and ends
/// with the usage status.
int RequestGost(const Options& options) {
    if (!LoadSettingsFor(options.set))
        return kExitFailed;
    if (const std::optional<int> incomplete =
            IncompleteSetup(Settings().UrlRequestGostCertificate, "UrlRequestGostCertificate"))
        return *incomplete;
    RequestFields fields = options.fields;
    GostRequestForm form;
    try {
        form =
            ChooseProvider(GostFormFor(fields), options.provider, std::chrono::system_clock::now());
    } catch (const std::exception& error) {
        const int status = Fail(error);
        TellMissingEngine();
        return status;
    }
    fields.provider = form.ProvName;
    fields.container = form.Container;
    if (!GostStartEnabled(fields, service::kOperatorMailDomain))
        throw UsageError{Tr("Данные запроса неполны: страна, область, город, организация и "
                            "ФИО обязательны для запроса ГОСТ.")};
    if (!options.json)
        std::cout << form.Container << std::endl;
    InstallContainerPasswordPrompt();
    try {
        std::string container = form.Container;
        const GostProcedureOutcome outcome =
            RunGostProcedureAs(options.set, form, DefaultServiceGet(),
                               provider::InstalledProviders(), SystemClock(), &container);
        if (outcome == GostProcedureOutcome::Cancelled) {
            // In the words of what the key lives in: a token asks for its PIN.
            const std::string secret = form.ProvName == provider::kSoftwareGostProviderName
                                           ? Tr("пароль контейнера")
                                           : TrFormat("PIN-код токена \"%1\"", {form.ProvName});
            return Fail(FailureClass::Cancelled,
                        TrFormat("Запрос отменён: %1 не введён, ничего не записано.", {secret}));
        }
        if (outcome == GostProcedureOutcome::Declined)
            return Declined(options.set, Tr("предыдущий запрос"));
        if (options.json)
            PrintRequested(Trim(fields.Email), "", container);
        else if (container != Trim(form.Container))
            std::cout << TrFormat("Имя %1 заняла другая копия программы; контейнер создан под "
                                  "именем %2",
                                  {form.Container, container})
                      << std::endl;
        return kExitOk;
    } catch (const std::exception& error) {
        OnApplicationError(error); // names the container a failure after the key leaves
        return kExitFailed;
    }
}

/// The request made and sent once the options are whole: a GOST request, or the RSA one with
/// its password.
int MakeRequest(const Options& options) {
    RequestFields fields = options.fields;
    const PasswordWipe wipe{fields};
    CheckFields(fields);
    if (options.gost)
        return RequestGost(options);
    TakePassword(options, fields);
    CheckPassword(fields);
    if (!RsaSendEnabled(fields, service::kOperatorMailDomain))
        throw UsageError{Tr("Данные запроса неполны.")};
    return Request(fields, options.json, options.keyBits, options.set);
}

/// The subject of the working request, each field given on the command line in its place; the
/// algorithm (and for GOST the provider, unless --provider names another) of the working one.
void TakeWorkingRequest(Options& options, const WorkingRequest& working) {
    RequestFields stored;
    stored.subject() = working.Subject;
    for (const FieldRule& rule : kFieldRules)
        if (!options.given.contains(rule.option))
            options.fields.*rule.field = stored.*rule.field;
    options.gost = working.Gost;
    if (options.gost && options.provider.empty())
        options.provider = working.ProvName;
    if (options.gost && (options.fields.openPassword || options.passwordFile))
        throw UsageError{Tr("Рабочий сертификат выпущен для ключа ГОСТ: у его продления нет "
                            "пароля ключа, ключ хранит крипто провайдер.")};
    if (options.gost && options.keyBits != 0)
        throw UsageError{Tr("--key-bits задаётся только для продления сертификата RSA.")};
}

int CancelPendingRenewal(const Options& options) {
    if (!LoadSettingsForCommand(false))
        return kExitFailed;
    const std::string email = Trim(options.fields.Email);
    std::string container;
    if (CancelRenewal(email, &container) == CancelOutcome::NothingPending)
        return Fail(FailureClass::BadInput,
                    TrFormat("Для адреса %1 нет ожидающего запроса на продление.", {email}));
    if (options.json) {
        Json document = {{"email", email}, {"state", "cancelled"}};
        if (!container.empty())
            document["container"] = container;
        PrintJson(document);
    } else {
        std::cout << Tr("Запрос на продление отменён; рабочий сертификат не изменён.") << std::endl;
        if (!container.empty())
            std::cout << TrFormat("Контейнер ключей \"%1\" оставлен.", {container}) << std::endl;
    }
    return kExitOk;
}

int Renew(Options options) {
    if (options.cancel)
        return CancelPendingRenewal(options);
    if (!LoadSettingsForCommand(true))
        return kExitFailed;
    if (!AddressUsable(Trim(options.fields.Email)))
        return kExitUsage;
    TakeWorkingRequest(options, ReadWorkingRequest(Trim(options.fields.Email)));
    return MakeRequest(options);
}

/// Runs a request command, telling a usage error with the command's usage.
template <typename Body> int Guarded(const char* command, Body body) {
    try {
        return body();
    } catch (const UsageError& error) {
        const int status = Fail(FailureClass::BadInput, error.message);
        std::cerr << CommandUsage(command);
        return status;
    } catch (const std::exception& error) {
        return Fail(error);
    }
}

} // namespace

int CmdRequest(const Arguments& args) {
    return Guarded("request", [&] { return MakeRequest(ParseOptions(args, RequestSet::Working)); });
}

int CmdRenew(const Arguments& args) {
    return Guarded("renew", [&] { return Renew(ParseOptions(args, RequestSet::Renewal)); });
}

} // namespace cq::cli
