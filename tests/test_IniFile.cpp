#include "TestSupport.h"
#include "base/Errors.h"
#include "base/IniFile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

using cq::IniFile;

TEST(IniFile, ReadsTrimmedCaseInsensitiveAndDropsCommentsAndLinesBeforeFirstSection) {
    const IniFile ini = IniFile::Parse("orphan=1\r\n  [Cert]  \r\n ; note\r\n\r\n Country = ru \r\n"
                                       "[proxy]\nUse=1\n");
    EXPECT_EQ(ini.ReadString("CERT", "country"), "ru");
    EXPECT_TRUE(ini.ReadBool("Proxy", "USE", false));
    EXPECT_FALSE(ini.ValueExists("Cert", "orphan"));
    EXPECT_EQ(ini.Serialize(), "[Cert]\r\nCountry=ru\r\n\r\n[proxy]\r\nUse=1\r\n\r\n");
}

TEST(IniFile, BooleansAndIntegersFallBackToDefaultForOtherText) {
    const IniFile ini = IniFile::Parse("[S]\r\nA=0\r\nB=7\r\nC=yes\r\nD=\r\nE=-3\r\n");
    struct Case {
        const char* key;
        bool expectedBool;
        int expectedInt;
    };
    for (const Case& c : {Case{"A", false, 0}, Case{"B", true, 7}, Case{"C", true, 42},
                          Case{"D", true, 42}, Case{"E", true, -3}, Case{"Missing", true, 42}}) {
        EXPECT_EQ(ini.ReadBool("S", c.key, true), c.expectedBool) << c.key;
        EXPECT_EQ(ini.ReadInteger("S", c.key, 42), c.expectedInt) << c.key;
    }
}

TEST(IniFile, ByteValuesAreUpperCaseHexAndReadInEitherCase) {
    IniFile ini;
    ini.WriteBinary("Proxy", "Password", {0x00, 0xAB, 0x7f});
    EXPECT_EQ(ini.ReadString("Proxy", "Password"), "00AB7F");
    const IniFile lower = IniFile::Parse("[P]\r\nK=0aFf1\r\n");
    EXPECT_EQ(lower.ReadBinary("P", "K"), (std::vector<uint8_t>{0x0A, 0xFF}));
}

TEST(IniFile, RussianTextIsWindows1251OnDisk) {
    cq::test::TempDir dir;
    IniFile ini;
    ini.WriteString("Cert", "Organization", "Рога и копыта");
    ini.Save(dir / "a.ini");
    EXPECT_EQ(cq::test::ReadFile(dir / "a.ini"),
              "[Cert]\r\nOrganization=\xD0\xEE\xE3\xE0 \xE8 \xEA\xEE\xEF\xFB\xF2\xE0\r\n\r\n");
    EXPECT_EQ(IniFile::Load(dir / "a.ini").ReadString("cert", "organization"), "Рога и копыта");
}

TEST(IniFile, WriteKeepsOtherSectionsAndKeysAndDeleteRemovesOnlyTheKey) {
    IniFile ini = IniFile::Parse("[A]\r\nx=1\r\ny=2\r\n[B]\r\nz=3\r\n");
    ini.WriteString("a", "Y", "20");
    ini.DeleteKey("A", "x");
    ini.WriteString("C", "n", "v");
    EXPECT_EQ(ini.Serialize(), "[A]\r\ny=20\r\n\r\n[B]\r\nz=3\r\n\r\n[C]\r\nn=v\r\n\r\n");
}

TEST(IniFile, MissingFileReadsAsEmptyAndSaveCreatesIt) {
    cq::test::TempDir dir;
    const IniFile empty = IniFile::Load(dir / "none.ini");
    EXPECT_TRUE(empty.Sections().empty());
    IniFile ini;
    ini.WriteBool("S", "B", true);
    ini.Save(dir / "none.ini");
    EXPECT_TRUE(IniFile::Load(dir / "none.ini").ReadBool("S", "B", false));
}

TEST(IniFile, ReadOnlyFileIsRefusedAndLeftIntact) {
    cq::test::TempDir dir;
    const std::string path = dir / "ro.ini";
    cq::test::WriteFile(path, "[S]\r\nk=old\r\n");
    ::chmod(path.c_str(), 0444);
    IniFile ini = IniFile::Load(path);
    ini.WriteString("S", "k", "new");
    EXPECT_THROW(ini.Save(path), cq::EOSError);
    EXPECT_EQ(cq::test::ReadFile(path), "[S]\r\nk=old\r\n");
}

TEST(IniFile, ValueWithALineBreakIsRefusedSoItCannotAddKeysOrSections) {
    IniFile ini = IniFile::Parse("[Cert]\r\nOrganization=old\r\n");
    for (const char* value : {"x\r\n[Proxy]\r\nUse=1", "x\nGost=1", "x\r"})
        EXPECT_THROW(ini.WriteString("Cert", "Organization", value), cq::Exception) << value;
    EXPECT_EQ(ini.Serialize(), "[Cert]\r\nOrganization=old\r\n\r\n");
}
