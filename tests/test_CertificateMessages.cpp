// The certificate layer's messages in the user's language: English from the catalog with every
// place filled under an English locale, and the Russian texts byte for byte under C.
#include "RetrievalFixture.h"
#include "TestSupport.h"
#include "base/Clock.h"
#include "base/Errors.h"
#include "base/Translate.h"
#include "certs/AddressOverview.h"
#include "certs/Download.h"
#include "certs/InputRules.h"
#include "certs/Renewal.h"
#include "certs/RequestFolder.h"
#include "certs/ServiceSetup.h"
#include "settings/CertFolders.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <optional>

namespace cq {
namespace {

/// Switches the program's messages to `locale` for the life of the object, as the programs do
/// at start, and puts the language the test run had back afterwards.
class MessageLanguage {
public:
    explicit MessageLanguage(const char* locale) : before_(std::setlocale(LC_MESSAGES, nullptr)) {
        if (const char* language = std::getenv("LANGUAGE"))
            language_ = language;
        if (const char* messages = std::getenv("LC_MESSAGES"))
            messages_ = messages;
        available_ = std::setlocale(LC_MESSAGES, locale) != nullptr;
        ::unsetenv("LANGUAGE");
        ::setenv("LC_MESSAGES", locale, 1);
        UseUserLanguage(Catalogs());
    }
    ~MessageLanguage() {
        RestoreVariable("LANGUAGE", language_);
        RestoreVariable("LC_MESSAGES", messages_);
        std::setlocale(LC_MESSAGES, before_.c_str());
        UseUserLanguage(Catalogs());
    }
    MessageLanguage(const MessageLanguage&) = delete;
    MessageLanguage& operator=(const MessageLanguage&) = delete;

    bool available() const { return available_; }

private:
    static std::string Catalogs() {
        return (std::filesystem::path(test::BuiltProgram("certquorix-cli")).parent_path() /
                "locale")
            .string();
    }
    static void RestoreVariable(const char* name, const std::optional<std::string>& value) {
        if (value)
            ::setenv(name, value->c_str(), 1);
        else
            ::unsetenv(name);
    }

    std::string before_;
    std::optional<std::string> language_;
    std::optional<std::string> messages_;
    bool available_ = false;
};

/// One message of the layer: how to make it happen in a fresh folder, and the text expected in
/// either language, both given that folder (with its trailing "/").
struct MessageCase {
    const char* name;
    std::function<std::string(const std::string& folder)> produce;
    std::function<std::string(const std::string& folder)> russian;
    std::function<std::string(const std::string& folder)> english;
};

std::string RecoveryMessage(std::optional<std::string> message) {
    return message.value_or("(no message)");
}

const std::vector<MessageCase>& MessageCases() {
    static const std::vector<MessageCase> cases = {
        {"a request journal that is not one",
         [](const std::string& folder) {
             test::WriteFile(folder + kRequestJournalFile, "state=prepared\n");
             return RecoveryMessage(RecoverInterruptedRequest(folder));
         },
         [](const std::string& folder) {
             return "Журнал прерванного запроса сертификата " + folder + kRequestJournalFile +
                    " не принят: файл не является журналом запроса. Файлы папки не изменены. "
                    "Проверьте их и удалите этот журнал; до тех пор операции с сертификатом "
                    "этого адреса не выполняются.";
         },
         [](const std::string& folder) {
             return "The journal of an interrupted certificate request " + folder +
                    kRequestJournalFile +
                    " was not accepted: the file is not a request journal. The files of the "
                    "folder were not changed. Check them and delete this journal; until then no "
                    "operation is carried out on this address's certificate.";
         }},
        {"a renewal swap journal in an unknown state",
         [](const std::string& folder) {
             test::WriteFile(folder + kRenewalJournalFile,
                             "state=odd\nprevious=Previous-x\ncertificate=00\n");
             return RecoveryMessage(RecoverInterruptedSwap(folder));
         },
         [](const std::string& folder) {
             return "Журнал прерванной замены сертификата " + folder + kRenewalJournalFile +
                    " не принят: неизвестное состояние \"odd\". Файлы папки не изменены. "
                    "Проверьте их и удалите этот журнал; до тех пор операции с сертификатом "
                    "этого адреса не выполняются.";
         },
         [](const std::string& folder) {
             return "The journal of an interrupted certificate swap " + folder +
                    kRenewalJournalFile +
                    " was not accepted: unknown state \"odd\". The files of the folder were not "
                    "changed. Check them and delete this journal; until then no operation is "
                    "carried out on this address's certificate.";
         }},
        {"a certificate folder that is a link",
         [](const std::string& folder) {
             std::filesystem::create_directory(folder + "real");
             std::filesystem::create_directory_symlink(folder + "real", folder + "linked");
             return OverviewOfFolder("ivan@example.ru", folder + "linked/", SystemClock()).Problem;
         },
         [](const std::string& folder) {
             return "Папка сертификата " + folder +
                    "linked — символическая ссылка; программа не читает через неё.";
         },
         [](const std::string& folder) {
             return "Certificate folder " + folder +
                    "linked is a symbolic link; the program does not read through it.";
         }},
        {"a certificate the service has not issued yet",
         [](const std::string&) {
             const test::CertificateFolderFixture fixture;
             fixture.write(kCertificateKeyFile, "x");
             const test::RecordingDialogs dialogs;
             ReceptionState state = EvaluateReceptionState(test::kFixtureEmail);
             ReceiveCertificate(test::kFixtureEmail, state,
                                [](const std::string&, bool) -> std::string {
                                    throw EIdHTTPProtocolException(404, "", "HTTP/1.1 404");
                                });
             return dialogs.boxes.size() == 1 ? dialogs.boxes[0].text : "(no single box)";
         },
         [](const std::string&) {
             return std::string("Сертификат еще не готов. Попробуйте позже.");
         },
         [](const std::string&) {
             return std::string("The certificate is not ready yet. Try again later.");
         }},
        {"the reception tab's state for an address without @",
         [](const std::string&) { return EvaluateReceptionState("ivan").StateLabel; },
         [](const std::string&) { return std::string("Email должен содержать символ @."); },
         [](const std::string&) {
             return std::string("The email address must contain the @ sign.");
         }},
        {"a service address that is not set",
         [](const std::string&) {
             return SetupFailureText(ServiceAddressFinding("", "ServiceUrl"));
         },
         [](const std::string&) {
             return std::string("Программа не настроена: адрес сервиса ServiceUrl не задан. Что "
                                "сделать: задайте ключ ServiceUrl раздела [HTTPS] файла "
                                "CertQuorix.ini в папке программы.");
         },
         [](const std::string&) {
             return std::string("The program is not set up: the service address ServiceUrl is "
                                "not set. What to do: set the key ServiceUrl of the [HTTPS] "
                                "section of CertQuorix.ini in the program folder.");
         }},
        {"a pasted text with characters not allowed",
         [](const std::string&) {
             return PasteRefusal(FieldFilter::Email, "ivan petrov").value_or("(accepted)");
         },
         [](const std::string&) {
             return std::string(
                 "Попытка вставить текст \"ivan petrov\" содержащий недопустимые символы.");
         },
         [](const std::string&) {
             return std::string("Attempt to paste the text \"ivan petrov\", which contains "
                                "characters that are not allowed.");
         }},
    };
    return cases;
}

void ExpectEveryMessage(const char* locale, bool english) {
    const MessageLanguage language(locale);
    if (!language.available())
        GTEST_SKIP() << "the " << locale << " locale is not generated here";
    for (const MessageCase& c : MessageCases()) {
        SCOPED_TRACE(c.name);
        test::TempDir dir;
        const std::string text = c.produce(dir.path());
        EXPECT_EQ(text, english ? c.english(dir.path()) : c.russian(dir.path()));
    }
}

TEST(CertificateMessages, EnglishUnderAnEnglishLocaleWithThePlacesFilled) {
    ExpectEveryMessage("en_US.UTF-8", true);
}

TEST(CertificateMessages, RussianByteForByteUnderC) {
    ExpectEveryMessage("C", false);
}

} // namespace
} // namespace cq
