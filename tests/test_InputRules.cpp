#include "base/StringUtil.h"
#include "certs/InputRules.h"

#include <gtest/gtest.h>

namespace cq {
namespace {

constexpr const char* kDomain = "@quorix.example";

TEST(InputRules, CharacterSetsAcceptExactlyTheirCharacters) {
    std::string subject, email;
    for (char32_t c = 0; c < 0x500; ++c) {
        if (IsSubjectChar(c))
            subject += static_cast<char>(c);
        if (IsEmailChar(c))
            email += static_cast<char>(c);
    }
    EXPECT_EQ(subject, " -.0123456789@ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    EXPECT_EQ(email, "-.0123456789@_abcdefghijklmnopqrstuvwxyz");
}

TEST(InputRules, TypedCharacters) {
    struct Case {
        FieldFilter filter;
        char32_t key;
        bool passes;
    };
    const Case cases[] = {
        {FieldFilter::Email, U'A', false},   {FieldFilter::Email, U'a', true},
        {FieldFilter::Email, U'_', true},    {FieldFilter::Email, U' ', false},
        {FieldFilter::Subject, U'_', false}, {FieldFilter::Subject, U'@', true},
        {FieldFilter::Subject, U',', false}, {FieldFilter::Subject, U'\'', false},
        {FieldFilter::Subject, U'Ж', false}, {FieldFilter::Subject, 8, true},
        {FieldFilter::Email, 8, true},       {FieldFilter::Subject, 127, false},
        {FieldFilter::None, U'Ж', true},     {FieldFilter::None, U',', true},
    };
    for (const Case& c : cases)
        EXPECT_EQ(TypedCharPasses(c.filter, c.key), c.passes) << static_cast<uint32_t>(c.key);
}

TEST(InputRules, PasteIsRefusedWithTheWholeTextQuoted) {
    EXPECT_FALSE(PasteRefusal(FieldFilter::Subject, "Ivan Petrov 2"));
    EXPECT_FALSE(PasteRefusal(FieldFilter::None, "пароль, с запятой"));
    EXPECT_FALSE(PasteRefusal(FieldFilter::Email, "user_1@mail.example"));
    EXPECT_EQ(PasteRefusal(FieldFilter::Subject, "Petrov, Ivan"),
              "Попытка вставить текст \"Petrov, Ivan\" содержащий недопустимые символы.");
    EXPECT_TRUE(PasteRefusal(FieldFilter::Email, "User@mail.example"));
    EXPECT_TRUE(PasteRefusal(FieldFilter::Subject, "Иван"));
    // A stray byte that is not UTF-8 never slips through.
    EXPECT_TRUE(PasteRefusal(FieldFilter::Subject, std::string("a\x80") + "b"));
}

TEST(InputRules, AddressesThatCanNameACertificateFolder) {
    struct Case {
        std::string email;
        bool usable;
    };
    const Case cases[] = {
        {"ivan@example.ru", true},
        {" Ivan.Petrov@Example.RU ", true}, // the folder is made of the lower-cased, trimmed form
        {"user_1-2@mail.example", true},
        {"..@example.ru", true}, // a name of its own, inside the data folder
        {"..", false},
        {".", false},
        {"", false},
        {"   ", false},
        {"@example.ru", false},
        {"ivan", false},
        {"../ivan@example.ru", false},
        {"ivan@example.ru/..", false},
        {"ivan+tag@example.ru", false},
        {"иван@пример.рф", false},
        {std::string("ivan\xF8@example.ru"), false},
    };
    for (const Case& c : cases) {
        const std::optional<std::string> refusal = AddressRefusal(c.email);
        EXPECT_EQ(!refusal, c.usable) << c.email;
        if (refusal) {
            EXPECT_EQ(*refusal, "Адрес эл. почты \"" + c.email +
                                    "\" не подходит: нужен адрес вида имя@домен из латинских "
                                    "букв, цифр и символов - . _")
                << c.email;
        }
    }
}

TEST(InputRules, DomainTest) {
    struct Case {
        const char* commonName;
        bool matches;
    };
    const Case cases[] = {
        {"service@quorix.example", true},
        {"@quorix.example", true},
        {"quorix.example", false},
        {"service@Quorix.example", false},
        {"", false},
        {"service@quorix.example ", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(EndsWithOperatorDomain(c.commonName, kDomain), c.matches) << c.commonName;
}

RequestFields Filled() {
    RequestFields fields;
    fields.State = "Moscow";
    fields.Locality = "Moscow";
    fields.Organization = "Firm";
    fields.CommonName = "Ivan Petrov";
    fields.Email = "a@b";
    fields.password = "Secret";
    fields.password2 = "Secret";
    fields.provider = "Software GOST";
    fields.container = "box-1";
    return fields;
}

TEST(InputRules, ButtonEnabling) {
    struct Case {
        const char* name;
        void (*change)(RequestFields&);
        bool rsa;
        bool gost;
    };
    const Case cases[] = {
        {"all filled", [](RequestFields&) {}, true, true},
        {"e-mail starts with @", [](RequestFields& f) { f.Email = "@b"; }, false, false},
        {"e-mail without @", [](RequestFields& f) { f.Email = "ab"; }, false, false},
        {"one letter then @", [](RequestFields& f) { f.Email = "a@"; }, true, true},
        {"e-mail untrimmed: blank before @", [](RequestFields& f) { f.Email = " @b"; }, true, true},
        {"no password", [](RequestFields& f) { f.password = f.password2 = ""; }, false, true},
        {"blank password", [](RequestFields& f) { f.password = f.password2 = "  "; }, true, true},
        {"confirmation differs in case", [](RequestFields& f) { f.password2 = "secret"; }, false,
         true},
        {"open password ignores confirmation",
         [](RequestFields& f) {
             f.password2 = "";
             f.openPassword = true;
         },
         true, true},
        {"common name in operator domain",
         [](RequestFields& f) { f.CommonName = "svc@quorix.example"; }, false, false},
        {"operator domain with trailing blanks",
         [](RequestFields& f) { f.CommonName = " svc@quorix.example  "; }, false, false},
        {"operator domain in other case",
         [](RequestFields& f) { f.CommonName = "svc@quorix.Example"; }, true, true},
        {"unit empty", [](RequestFields& f) { f.OrganizUnit = ""; }, true, true},
        {"state of blanks", [](RequestFields& f) { f.State = "   "; }, true, false},
        {"country empty", [](RequestFields& f) { f.Country = ""; }, true, false},
        {"common name empty", [](RequestFields& f) { f.CommonName = ""; }, true, false},
        {"no provider", [](RequestFields& f) { f.provider = " "; }, true, false},
        {"no container", [](RequestFields& f) { f.container = ""; }, true, false},
    };
    for (const Case& c : cases) {
        RequestFields fields = Filled();
        c.change(fields);
        EXPECT_EQ(RsaSendEnabled(fields, kDomain), c.rsa) << c.name;
        EXPECT_EQ(GostStartEnabled(fields, kDomain), c.gost) << c.name;
    }
}

TEST(InputRules, CommonNameBadOnlyForForbiddenCharacters) {
    RequestFields fields = Filled();
    fields.CommonName = "  Ivan Petrov  ";
    EXPECT_FALSE(CommonNameIsBad(fields));
    fields.CommonName = "Ivan_Petrov";
    EXPECT_TRUE(CommonNameIsBad(fields));
    fields.CommonName = "Иван";
    EXPECT_TRUE(CommonNameIsBad(fields));
}

TEST(InputRules, SubjectDataTrimsAndCutsToWidths) {
    RequestFields fields;
    fields.Country = " rus ";
    fields.State = std::string(25, 'S');
    fields.Locality = "\tMoscow ";
    fields.Organization = std::string(60, 'O');
    fields.OrganizUnit = "";
    fields.CommonName = " " + std::string(55, 'C');
    fields.Email = " User@Mail.example ";
    fields.password = "  pass word 20 chars";
    fields.openPassword = true;
    const SubjectData subject = BuildSubjectData(fields);
    EXPECT_EQ(subject.Country, "rus");
    EXPECT_EQ(subject.State, std::string(20, 'S'));
    EXPECT_EQ(subject.Locality, "Moscow");
    EXPECT_EQ(subject.Organization, std::string(50, 'O'));
    EXPECT_EQ(subject.OrganizUnit, "");
    EXPECT_EQ(subject.CommonName, std::string(50, 'C'));
    EXPECT_EQ(subject.Email, "User@Mail.example");
    EXPECT_EQ(subject.Password, "  pass word 20 chars"); // exactly as typed

    EXPECT_TRUE(subject.OpenPassw);
}

TEST(InputRules, WidthsCountCharactersNotBytes) {
    RequestFields fields;
    fields.password = "пароль-пароль-пароль";
    EXPECT_EQ(BuildSubjectData(fields).Password, "пароль-пароль-пароль");
    EXPECT_EQ(CharacterCount("пароль"), 6u);
    EXPECT_EQ(PasswordRefusal("парольпарольпаро"), std::nullopt); // 16 characters, 32 bytes
}

// A password longer than the record holds is refused, never cut: the key would otherwise be
// locked with the first 20 characters, and no field could ever give it again.
TEST(InputRules, APasswordLongerThanTheRecordIsRefusedNotCut) {
    RequestFields fields;
    fields.password = "abcdefghijklmnopqrstuvwxyz0123";
    try {
        BuildSubjectData(fields);
        FAIL() << "a 30-character password was taken";
    } catch (const std::exception& error) {
        EXPECT_STREQ(error.what(),
                     "Пароль ключа длиннее 20 символов: такой пароль не принимается.");
    }
    fields.password = "пароль-пароль-пароль-";
    EXPECT_THROW(BuildSubjectData(fields), std::exception);
}

// The rule for a new key password, the same for the window and the command-line tool.
TEST(InputRules, PasswordRule) {
    struct Case {
        const char* password;
        const char* refusal; // nullptr: taken
    };
    const Case cases[] = {
        {"Secret1", nullptr},
        {"   ", nullptr}, // blanks are a password
        {"Пароль, 'ё'", nullptr},
        {"abcdefghijklmnop", nullptr},
        {"", "Пароль ключа не может быть пустым."},
        {"abcdefghijklmnopq", "Пароль ключа длиннее 16 символов."},
        {"abcdefghijklmnopqrstuvwxyz0123", "Пароль ключа длиннее 16 символов."},
        {"pass\xe6\xbc\xa2", "Пароль ключа содержит символы вне кодировки Windows-1251."},
        {"pass\xf0\x9f\x94\x91", "Пароль ключа содержит символы вне кодировки Windows-1251."},
        {"pass\xC1\xA1", "Пароль ключа содержит символы вне кодировки Windows-1251."},
    };
    for (const Case& c : cases) {
        const std::optional<std::string> refusal = PasswordRefusal(c.password);
        if (c.refusal)
            EXPECT_EQ(refusal, std::string(c.refusal)) << c.password;
        else
            EXPECT_EQ(refusal, std::nullopt) << c.password;
    }
}

// Byte sequences that are not well-formed UTF-8 must not decode into allowed letters: overlong
// forms of ASCII letters, lead bytes F5..FF, encoded surrogates, code points past U+10FFFF,
// stray continuation bytes and cut sequences are refused by every filter that has a set.
TEST(InputRules, MalformedUtf8NeverPassesAFilter) {
    const std::string malformed[] = {
        "\xC1\xA1",             // "a" in two bytes
        "\xC0\xAE",             // "." in two bytes
        "\xE0\x81\xA1",         // "a" in three bytes
        "\xF0\x80\x81\xA1",     // "a" in four bytes
        "\xF8\x80\x80\x81\xA1", // five-byte form
        "\xF8\x80\x81\xA1",     // F8 as if it led four bytes
        "\xFC\x80\x80\x80\x81\xA1",
        "\xFF\xA1",
        "\xF5\x80\x80\x80", // past U+10FFFF
        "\xED\xA0\x80",     // a surrogate
        "\xA1",             // a continuation byte alone
        "\xD0",             // a cut sequence
    };
    for (const std::string& bytes : malformed) {
        for (FieldFilter filter : {FieldFilter::Subject, FieldFilter::Email}) {
            EXPECT_FALSE(FitsFilter(filter, "ab" + bytes + "c")) << UpperHex(bytes);
            EXPECT_TRUE(PasteRefusal(filter, bytes)) << UpperHex(bytes);
        }
        RequestFields fields;
        fields.CommonName = "Ivan" + bytes;
        EXPECT_TRUE(CommonNameIsBad(fields)) << UpperHex(bytes);
    }
    EXPECT_TRUE(FitsFilter(FieldFilter::Subject, "Ivan Petrov"));
    EXPECT_TRUE(FitsFilter(FieldFilter::None, "\xC1\xA1")); // unfiltered fields take anything
}

} // namespace
} // namespace cq
