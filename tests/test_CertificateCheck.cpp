#include "RetrievalFixture.h"
#include "app/ErrorReport.h"
#include "base/Errors.h"
#include "certs/CertificateCheck.h"
#include "settings/CertFolders.h"

#include <gtest/gtest.h>

namespace {

using namespace cq::test;

const std::string kValidText =
    "Проверка сертификата.\r\nДействителен до даты - 15.06.2035 12:30:45\r\n\r\n"
    "Информация по сертификату - \r\n\r\n"
    "Страна/регион : RU\r\nОбласть, штат : Moscow\r\nГород : Moscow\r\n"
    "Организация : Romashka LLC\r\nПодразделение : IT\r\nИмя : Ivan Petrov\r\n"
    "Email : ivan@example.ru\r\n\r\nИздатель : Fixture Test CA";

const cq::Clock kBeforeExpiry = FixedClock(LocalMoment(2030, 1, 1, 12));

/// Runs the check in a folder holding `cer` and `key` (fixture names; empty: file left out).
struct Outcome {
    cq::CheckResult result;
    std::vector<RecordingDialogs::Box> boxes;
};
Outcome RunCheck(const std::string& cerFixture, const std::string& keyFixture,
                 const std::string& password, const cq::Clock& clock = kBeforeExpiry,
                 const std::string& keyText = {}) {
    CertificateFolderFixture folder;
    if (!cerFixture.empty())
        folder.put(cerFixture, cq::kCertificateFile);
    if (!keyFixture.empty())
        folder.put(keyFixture, cq::kCertificateKeyFile);
    if (!keyText.empty())
        folder.write(cq::kCertificateKeyFile, keyText);
    RecordingDialogs dialogs;
    Outcome outcome;
    outcome.result = cq::CheckCertificate(cq::kCertificateFile, cq::kCertificateKeyFile,
                                          kFixtureEmail, password, clock);
    outcome.boxes = dialogs.boxes;
    return outcome;
}

std::string UserModulus() {
    return cq::ReadCertificate(ReadFile(RetrievalData("user.cer")), "", "c").Modulus;
}

/// A PKCS#1 key in clear with the given integers (version first).
std::string ClearKey(const std::vector<std::string>& integers) {
    std::string content;
    for (const std::string& integer : integers)
        content += DerInteger(integer);
    return PemText("RSA PRIVATE KEY", DerSequence(content));
}

std::string WithoutLine(const std::string& text, const std::string& prefix) {
    const size_t at = text.find(prefix);
    return text.substr(0, at) + text.substr(text.find('\n', at) + 1);
}

TEST(CertificateCheck, PassesForTheMatchingKeyInEveryAcceptedForm) {
    struct Case {
        const char* key;
        std::string password;
    };
    const Case cases[] = {
        {"user-des3.key", kFixturePassword},
        {"user-des.key", kFixturePassword},
        {"user-clear.key", ""},
        {"user-clear.key", "any password at all"},
    };
    for (const Case& c : cases) {
        const Outcome outcome = RunCheck("user.cer", c.key, c.password);
        EXPECT_TRUE(outcome.result.Valid) << c.key;
        EXPECT_FALSE(outcome.result.Expired) << c.key;
        EXPECT_EQ(outcome.result.Text, kValidText) << c.key;
        EXPECT_TRUE(outcome.boxes.empty()) << c.key;
    }
}

TEST(CertificateCheck, FailuresReportTheirMessageUnderTheCheckCaption) {
    const std::string des3 = ReadFile(RetrievalData("user-des3.key"));
    const std::string clear = ReadFile(RetrievalData("user-clear.key"));
    const std::string modulus = UserModulus();
    const std::string zero("\0", 1);
    const std::string wrongSmallPad = ReadFile(RetrievalData("wrong-password-small-pad.txt"));
    struct Case {
        const char* what;
        std::string cer;
        std::string key;
        std::string password;
        std::string keyText;
        std::string message;
    };
    const std::string m1 =
        "Не найден файл/ы сертификата : \"Certificate.cer\" или \"Certificate.key\".";
    const std::string m2 = "Неверный файл сертификата : \"Certificate.cer\".";
    const std::string m3 = "Неверный пароль сертификата.";
    const std::string m4 = "Неверный файл. Не удается декодировать \"Certificate.key\"";
    const std::string m5 = "Неверный файл. Не удается расшифровать \"Certificate.key\"";
    const std::string m6 = "Не верный файл. Не удается расшифровать \"Certificate.key\"";
    const std::string m7 =
        "Файл сертификата \"Certificate.cer\" не соответствует файлу ключа \"Certificate.key\"";
    const Case cases[] = {
        {"no certificate file", "", "user-des3.key", kFixturePassword, "", m1},
        {"no key file", "user.cer", "", kFixturePassword, "", m1},
        {"error page stored as the certificate", "error-page.cer", "user-des3.key",
         kFixturePassword, "", m2},
        {"key file in the certificate's place", "user-clear.key", "user-des3.key", kFixturePassword,
         "", m2},
        {"wrong password", "user.cer", "user-des3.key", "Ключ 2025", "", m3},
        {"password with a trailing blank", "user.cer", "user-des3.key",
         std::string(kFixturePassword) + " ", "", m3},
        {"wrong password whose last byte looks like a pad length", "user.cer", "user-des3.key",
         wrongSmallPad.substr(0, wrongSmallPad.find('\n')), "", m3},
        {"another cipher", "user.cer", "user-aes.key", kFixturePassword, "", m4},
        {"no BEGIN line", "user.cer", "error-page.cer", kFixturePassword, "", m4},
        {"no END line", "user.cer", "", kFixturePassword, WithoutLine(des3, "-----END"), m4},
        {"DEK-Info without vector", "user.cer", "", kFixturePassword,
         cq::test::PemText("RSA PRIVATE KEY", "12345678",
                           "Proc-Type: 4,ENCRYPTED\nDEK-Info: DES-EDE3-CBC\n"),
         m4},
        {"broken Base64", "user.cer", "", "", clear.substr(0, 100) + "*" + clear.substr(101), m4},
        {"PKCS#8 key", "user.cer", "user-pkcs8.key", "", "", m5},
        {"eight integers", "user.cer", "", "",
         ClearKey({zero, modulus, "\1", "\1", "\1", "\1", "\1", "\1"}), m5},
        {"version 1", "user.cer", "", "",
         ClearKey({"\1", modulus, "\1", "\1", "\1", "\1", "\1", "\1", "\1"}), m5},
        {"modulus without octets", "user.cer", "", "",
         ClearKey({zero, "", "\1", "\1", "\1", "\1", "\1", "\1", "\1"}), m6},
        {"certificate of another key", "other.cer", "user-des3.key", kFixturePassword, "", m7},
        {"key modulus that only begins the certificate's", "user.cer", "", "",
         ClearKey({zero, modulus.substr(0, 1), "\1", "\1", "\1", "\1", "\1", "\1", "\1"}), m7},
    };
    for (const Case& c : cases) {
        const Outcome outcome = RunCheck(c.cer, c.key, c.password, kBeforeExpiry, c.keyText);
        EXPECT_FALSE(outcome.result.Valid) << c.what;
        EXPECT_FALSE(outcome.result.Expired) << c.what;
        EXPECT_EQ(outcome.result.Text, "") << c.what;
        ASSERT_EQ(outcome.boxes.size(), 1u) << c.what;
        EXPECT_EQ(outcome.boxes[0].kind, "error") << c.what;
        EXPECT_EQ(outcome.boxes[0].caption, "Проверка сертификата") << c.what;
        EXPECT_EQ(outcome.boxes[0].text, c.message) << c.what;
    }
}

TEST(CertificateCheck, ExpiryCountsFromTheStartOfTodayAgainstTheStatedEnd) {
    struct Case {
        cq::TimePoint now;
        bool expired;
    };
    // The end stands in the certificate as 15.06.2035 12:30:45 and is compared as written.
    const Case cases[] = {
        {LocalMoment(2035, 6, 14, 23, 59, 59), false},
        {LocalMoment(2035, 6, 15, 23, 0, 0), false}, // ends later today: valid for the day
        {LocalMoment(2035, 6, 16, 0, 0, 0), true},
        {LocalMoment(2040, 1, 1), true},
    };
    for (const Case& c : cases) {
        const Outcome outcome =
            RunCheck("user.cer", "user-des3.key", kFixturePassword, FixedClock(c.now));
        EXPECT_EQ(outcome.result.Valid, !c.expired);
        EXPECT_EQ(outcome.result.Expired, c.expired);
        EXPECT_TRUE(outcome.boxes.empty());
        const std::string dateLine = "Действителен до даты - 15.06.2035 12:30:45" +
                                     std::string(c.expired ? " (Просрочен!!!)" : "") + "\r\n";
        EXPECT_NE(outcome.result.Text.find(dateLine), std::string::npos) << outcome.result.Text;
    }
    const cq::CertificateDateTime midnight{2035, 6, 15, 0, 0, 0};
    EXPECT_TRUE(cq::IsExpiredAt(midnight, LocalMoment(2035, 6, 15, 8)));
}

TEST(CertificateCheck, NamesAreLabelledAndConverted) {
    struct Case {
        const char* cer;
        std::string info;
    };
    const Case cases[] = {
        // BMPString values through the single-byte code page (Ω is not in it), and attributes
        // without a label of their own shown under "Email : ".
        {"names.cer",
         "Страна/регион : RU\r\nОрганизация : ООО \"Ромашка\" ?\r\nИмя : Иван Петров\r\n"
         "Email : 12345\r\nEmail : Tverskaya 1\r\n\r\nИздатель : Fixture Test CA"},
        // A T61String holding Windows-1251 bytes.
        {"t61.cer", "Страна/регион : RU\r\nГород : Москва\r\nИмя : Ivan\r\n\r\n"
                    "Издатель : Fixture Test CA"},
        // An issuer without a common name: the trailing blank goes with the trimming.
        {"no-issuer-cn.cer", "Страна/регион : RU\r\nОрганизация : No Common Name\r\n\r\n"
                             "Издатель :"},
    };
    for (const Case& c : cases) {
        const Outcome outcome = RunCheck(c.cer, "user-clear.key", "");
        EXPECT_TRUE(outcome.result.Valid) << c.cer;
        const std::string head = "Информация по сертификату - \r\n\r\n";
        const size_t at = outcome.result.Text.find(head);
        ASSERT_NE(at, std::string::npos) << c.cer;
        EXPECT_EQ(outcome.result.Text.substr(at + head.size()), c.info) << c.cer;
    }
}

TEST(CertificateCheck, LabelsReplaceEveryOccurrenceInTheirOrder) {
    const std::vector<cq::NameLine> lines = {
        {"Organization", "Country=X"}, {"OrganizationUnit", "u"}, {"UnknownField", "a@b"}};
    EXPECT_EQ(cq::LabelledNameText(lines),
              "Организация : Страна/регион : X\r\nПодразделение : u\r\nEmail : a@b");
}

TEST(CertificateCheck, OtherNamesInMessagesAndCertificateBlocksAmongOthers) {
    CertificateFolderFixture folder;
    // A certificate file that holds the key first and the certificate after it.
    folder.write("both.pem",
                 ReadFile(RetrievalData("user-clear.key")) + ReadFile(RetrievalData("user.cer")));
    folder.put("user-des3.key", "my.key");
    RecordingDialogs dialogs;
    const cq::CheckResult found = cq::CheckCertificate("both.pem", "my.key", "  IVAN@Example.RU ",
                                                       kFixturePassword, kBeforeExpiry);
    EXPECT_TRUE(found.Valid);
    const cq::CheckResult missing =
        cq::CheckCertificate("x.cer", "my.key", kFixtureEmail, kFixturePassword, kBeforeExpiry);
    EXPECT_FALSE(missing.Valid);
    ASSERT_EQ(dialogs.boxes.size(), 1u);
    EXPECT_EQ(dialogs.boxes[0].text, "Не найден файл/ы сертификата : \"x.cer\" или \"my.key\".");
}

TEST(CertificateCheck, CertificateReadingRefusesWhatIsNoCertificate) {
    const std::string notACertificate = PemText("CERTIFICATE", "hello, world");
    const std::string cer = ReadFile(RetrievalData("user.cer"));
    const std::string crlf = [&] {
        std::string text;
        for (char c : cer)
            text += c == '\n' ? std::string("\r\n") : std::string(1, c);
        return text;
    }();
    EXPECT_THROW(cq::ReadCertificate(notACertificate, "", "c"), cq::Exception);
    EXPECT_THROW(cq::ReadCertificate(WithoutLine(cer, "-----END"), "", "c"), cq::Exception);
    EXPECT_EQ(cq::ReadCertificate(crlf, "", "c").Modulus, UserModulus());
    const cq::CertificateContent content = cq::ReadCertificate(cer, "", "c");
    EXPECT_TRUE(content.RsaKey);
    EXPECT_EQ(content.Modulus.size(), 129u); // with the leading zero octet
    EXPECT_EQ(content.PublicExponent, std::string("\x01\x00\x01", 3));
}

} // namespace
