#include "certs/PublicKeyAct.h"

#include "TestSupport.h"
#include "base/FileUtil.h"
#include "base/TextCodec.h"

#include <gtest/gtest.h>

namespace cq {
namespace {

using test::ReadFile;
using test::WriteFile;

std::string Bytes(size_t count) {
    std::string bytes;
    for (size_t i = 0; i < count; ++i)
        bytes += static_cast<char>(0xF0 + i % 16);
    return bytes;
}

TEST(HexText, SeparatorsAndParagraphMarks) {
    const std::string line16 = "f0 f1 f2 f3 f4 f5 f6 f7  f8 f9 fa fb fc fd fe ff";
    EXPECT_EQ(HexText(""), "");
    EXPECT_EQ(HexText("\x0a"), "0a");
    EXPECT_EQ(HexText(Bytes(16)), line16);
    EXPECT_EQ(HexText(Bytes(17)), line16 + "\\par\r\nf0");
    EXPECT_EQ(HexText(Bytes(20)), line16 + "\\par\r\nf0 f1 f2 f3");
    EXPECT_EQ(HexText(Bytes(24)), line16 + "\\par\r\nf0 f1 f2 f3 f4 f5 f6 f7");
    EXPECT_EQ(HexText(Bytes(25)), line16 + "\\par\r\nf0 f1 f2 f3 f4 f5 f6 f7  f8");
}

TEST(ReplaceAll, PairsApplyInOrderOnThePreviousResult) {
    EXPECT_EQ(ReplaceAll("$A$ $B$ $A$", {{"$A$", "$B$"}, {"$B$", "x"}}), "x x x");
    EXPECT_EQ(ReplaceAll("$A$ $B$", {{"$B$", "$A$"}, {"$A$", "y"}}), "y y");
    EXPECT_EQ(ReplaceAll("$a$ $A$", {{"$A$", "z"}}), "$a$ z");
    EXPECT_EQ(ReplaceAll("aaa", {{"aa", "a"}}), "aa");
}

PublicKeyActValues Values() {
    PublicKeyActValues values;
    values.Subject.Country = "RU";
    values.Subject.State = "Moscow region";
    values.Subject.Locality = "Moscow";
    values.Subject.Organization = "Firm";
    values.Subject.OrganizUnit = "IT";
    values.Subject.CommonName = "Ivan $Email$";
    values.Subject.Email = "Ivan@Mail.example";
    values.Algorithm = "Провайдер";
    values.Container = "box";
    values.PublicKey = "pk";
    values.Prefix = "p1";
    values.Modulus = "m2";
    values.Postfix = "p3";
    values.Exponent = "e4";
    return values;
}

TEST(PublicKeyAct, PlaceholdersInTheirOrder) {
    const std::string filled = FillPublicKeyAct(
        "$Country$|$State$|$Locality$|$Organization$|$OrganizUnit$|$CommonName$|$Email$|"
        "$Algorithm$|$Container$|$Date$|$PublicKey$|$Prefix$|$Modulus$|$Postfix$|$Exponent$|"
        "$Country$|$country$",
        Values(), "01.02.2026");
    // The common name's own "$Email$" is replaced by the later address pair.
    EXPECT_EQ(filled, "Russia(ru)|Moscow region|Moscow|Firm|IT|Ivan Ivan@Mail.example|"
                      "Ivan@Mail.example|Провайдер|box|01.02.2026|pk|p1|m2|p3|e4|Russia(ru)|"
                      "$country$");
}

TEST(PublicKeyAct, CountryShownInFullOnlyForRu) {
    for (const auto& [country, shown] : std::vector<std::pair<std::string, std::string>>{
             {"ru", "Russia(ru)"}, {"rU", "Russia(ru)"}, {"by", "by"}, {"rus", "rus"}, {"", ""}}) {
        PublicKeyActValues values;
        values.Subject.Country = country;
        EXPECT_EQ(FillPublicKeyAct("$Country$", values, ""), shown) << country;
    }
}

class PublicKeyActFile : public ::testing::Test {
protected:
    void SetUp() override { test::UseProgramFolder(dir.path()); }
    std::string folder() const { return dir.path() + "ivan@mail.example/"; }
    test::TempDir dir;
    const Clock fixedDay = [] {
        std::tm day{};
        day.tm_year = 2026 - 1900;
        day.tm_mon = 2;
        day.tm_mday = 7;
        day.tm_hour = 12;
        return std::chrono::system_clock::from_time_t(std::mktime(&day));
    };
};

TEST_F(PublicKeyActFile, WrittenAsWindows1251WithCrLfUnderTheLowerCaseAddress) {
    WriteFile(dir.path() + kGostActTemplate,
              ToCp1251("{\\rtf1 Акт\n$Email$\r$Algorithm$\r\n$Date$"));
    ForceDirectories(folder());
    MakePublicKeyAct(folder(), kGostActTemplate, Values(), fixedDay);
    EXPECT_EQ(ReadFile(folder() + "ivan@mail.example.rtf"),
              ToCp1251("{\\rtf1 Акт\r\nIvan@Mail.example\r\nПровайдер\r\n07.03.2026\r\n"));
}

TEST_F(PublicKeyActFile, TemplateWithoutPlaceholdersIsCopiedButForLineEnds) {
    const std::string bytes = "{\\rtf1 \xc0\xea\xf2\x98\n}\r\n";
    WriteFile(dir.path() + kRsaActTemplate, bytes);
    ForceDirectories(folder());
    MakePublicKeyAct(folder(), kRsaActTemplate, Values(), fixedDay);
    EXPECT_EQ(ReadFile(folder() + "ivan@mail.example.rtf"), "{\\rtf1 \xc0\xea\xf2\x98\r\n}\r\n");
}

TEST_F(PublicKeyActFile, MissingTemplateIsSilent) {
    ForceDirectories(folder());
    EXPECT_NO_THROW(MakePublicKeyAct(folder(), kRsaActTemplate, Values(), fixedDay));
    EXPECT_FALSE(FileExists(folder() + "ivan@mail.example.rtf"));
}

TEST_F(PublicKeyActFile, UnwritableFolderRaises) {
    WriteFile(dir.path() + kRsaActTemplate, "x");
    EXPECT_THROW(MakePublicKeyAct(dir.path() + "missing/", kRsaActTemplate, Values(), fixedDay),
                 std::exception);
}

TEST(PublicKeyActTemplates, ShippedTemplatesUseEveryPlaceholder) {
    for (const char* name : {kRsaActTemplate, kGostActTemplate}) {
        const std::string text = ReadFile(std::string(CQ_SOURCE_DIR) + "/resources/" + name);
        ASSERT_TRUE(text.starts_with("{\\rtf1\\ansi\\ansicpg1251")) << name;
        for (const char* placeholder :
             {"$Country$", "$State$", "$Locality$", "$Organization$", "$OrganizUnit$",
              "$CommonName$", "$Email$", "$Algorithm$", "$Container$", "$Date$", "$PublicKey$",
              "$Prefix$", "$Modulus$", "$Postfix$", "$Exponent$"})
            EXPECT_NE(text.find(placeholder), std::string::npos) << name << " " << placeholder;
        EXPECT_EQ(FromCp1251(ToCp1251(FromCp1251(text))), FromCp1251(text)) << name;
        // The build folder is the program folder of the built tools: the templates are there.
        EXPECT_EQ(ReadFile(std::string(CQ_BINARY_DIR) + "/" + name), text) << name;
    }
}

} // namespace
} // namespace cq
