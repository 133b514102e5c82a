#include "RetrievalFixture.h"
#include "base/StringUtil.h"
#include "base/TextCodec.h"
#include "certs/KeyFile.h"

#include <gtest/gtest.h>

namespace {

using namespace cq::test;

/// The key's DER as the openssl tool decodes it.
std::string OpensslDer(const std::string& keyFixture) {
    const ProcessResult result = RunProcess(
        {"openssl", "rsa", "-in", RetrievalData(keyFixture), "-traditional", "-outform", "DER",
         "-passin", "env:CQ_TEST_PASSWORD", "-provider", "legacy", "-provider", "default"},
        {"CQ_TEST_PASSWORD=" + cq::ToCp1251(kFixturePassword)});
    EXPECT_EQ(result.status, 0) << result.err;
    return result.out;
}

cq::PemBlock Decode(const std::string& text, const std::string& password = kFixturePassword,
                    const std::string& label = {}) {
    return cq::DecodePemBlock(text, cq::ToCp1251(password), label);
}

TEST(KeyFile, DecryptsTheClassicFormsAsTheOpensslToolDoes) {
    const std::string expected = OpensslDer("user-clear.key");
    ASSERT_FALSE(expected.empty());
    for (const char* fixture : {"user-des3.key", "user-des.key", "user-clear.key"}) {
        const cq::PemBlock block = Decode(ReadFile(RetrievalData(fixture)));
        EXPECT_EQ(block.status, cq::PemDecodeStatus::Decoded) << fixture;
        EXPECT_EQ(block.label, "RSA PRIVATE KEY") << fixture;
        EXPECT_EQ(block.bytes.str(), expected) << fixture;
        EXPECT_EQ(OpensslDer(fixture), expected) << fixture;
    }
    EXPECT_EQ(Decode(ReadFile(RetrievalData("user-des.key"))).cipher, "DES-CBC");
}

TEST(KeyFile, LineEndsAndBlanksDoNotMatter) {
    const std::string key = ReadFile(RetrievalData("user-des3.key"));
    const std::string expected = Decode(key).bytes.str();
    std::string crlf, cr;
    for (char c : key) {
        crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
        cr += c == '\n' ? '\r' : c;
    }
    EXPECT_EQ(Decode(crlf).bytes.str(), expected);
    EXPECT_EQ(Decode(cr).bytes.str(), expected);
    EXPECT_EQ(Decode("junk before\n" + key).bytes.str(), expected);
}

/// What `openssl rsa` makes of a key file text given on its standard input, with the fixture
/// password: its exit status and the key's modulus line.
ProcessResult OpensslModulus(const std::string& keyText) {
    return RunProcess({"openssl", "rsa", "-noout", "-modulus", "-passin", "env:CQ_TEST_PASSWORD",
                       "-provider", "legacy", "-provider", "default"},
                      {"CQ_TEST_PASSWORD=" + cq::ToCp1251(kFixturePassword)}, keyText);
}

// A key file read despite odd lines comes out again in the form that the openssl tool reads:
// what it held, not one byte of its encrypted body changed.
TEST(KeyFile, RewrittenBlockIsTheStrictFormOfWhatWasRead) {
    const std::string des3 = ReadFile(RetrievalData("user-des3.key"));
    const auto withLineEnds = [&](const std::string& lineEnd) {
        return cq::ReplaceText(des3, "\n", lineEnd);
    };
    const auto withLineBeforeEnd = [&](const std::string& line) {
        std::string text = des3;
        return text.insert(text.find("-----END"), line);
    };
    const size_t bodyStart = des3.find("\n\n") + 2;
    const size_t endLine = des3.find("-----END");
    std::string body = des3.substr(bodyStart, endLine - bodyStart);
    std::erase(body, '\n');
    const std::string oneLongLine = des3.substr(0, bodyStart) + body + "\n" + des3.substr(endLine);
    struct Case {
        const char* what;
        std::string text;
    };
    const Case cases[] = {
        {"the strict form itself", des3},
        {"an empty line before END", withLineBeforeEnd("\n")},
        {"a blank line before END", withLineBeforeEnd(" \t\n")},
        {"empty lines inside the Base64", std::string(des3).insert(bodyStart + 65, "\n\n")},
        {"CR LF line ends", withLineEnds("\r\n")},
        {"CR line ends", withLineEnds("\r")},
        {"the Base64 in one line", oneLongLine},
        {"text before and after the block", "Bag Attributes\n" + des3 + "trailer\n"},
    };
    for (const Case& c : cases) {
        const cq::SecretBytes rewritten = cq::RewritePemBlock(c.text);
        EXPECT_EQ(rewritten.str(), des3) << c.what;
    }

    const std::string clear = ReadFile(RetrievalData("user-clear.key"));
    EXPECT_EQ(
        cq::RewritePemBlock(ReadFile(RetrievalData("user.cer")) + des3, "RSA PRIVATE KEY").str(),
        des3);
    EXPECT_EQ(cq::RewritePemBlock(cq::ReplaceText(clear, "\n-----END", "\n\n-----END")).str(),
              clear);
    EXPECT_EQ(cq::RewritePemBlock("no block").str(), "");
    EXPECT_EQ(cq::RewritePemBlock("-----BEGIN K-----\nAA!A\n-----END K-----\n").str(), "");
}

// A key file an earlier version wrote with an empty line before END: the openssl tool refuses
// it, reads its rewritten block, and finds the same key in it that the check reads.
TEST(KeyFile, KeyFileOfTheEarlierWriterReadsAfterTheRewrite) {
    const std::string old = ReadFile(RetrievalData("old-writer.key"));
    ASSERT_NE(old.find("\n\n-----END RSA PRIVATE KEY-----\n"), std::string::npos);
    EXPECT_NE(OpensslModulus(old).status, 0);

    const cq::SecretBytes rewritten = cq::RewritePemBlock(old);
    EXPECT_EQ(rewritten.str(), cq::ReplaceText(old, "\n\n-----END", "\n-----END"));
    const ProcessResult read = OpensslModulus(rewritten.str());
    EXPECT_EQ(read.status, 0) << read.err;
    const std::string certificate = RunProcess({"openssl", "x509", "-noout", "-modulus", "-in",
                                                RetrievalData("old-writer.cer")})
                                        .out;
    ASSERT_NE(certificate.find("Modulus="), std::string::npos);
    EXPECT_EQ(read.out, certificate);
    EXPECT_EQ(Decode(old).bytes.str(), Decode(rewritten.str()).bytes.str());
}

TEST(KeyFile, BrokenBlocksFailAndWrongPasswordsAreToldApart) {
    const std::string des3 = ReadFile(RetrievalData("user-des3.key"));
    const std::string headers = "Proc-Type: 4,ENCRYPTED\nDEK-Info: DES-EDE3-CBC,0011223344556677\n";
    struct Case {
        const char* what;
        std::string text;
        std::string password;
        cq::PemDecodeStatus status;
    };
    using S = cq::PemDecodeStatus;
    const Case cases[] = {
        {"right password", des3, kFixturePassword, S::Decoded},
        {"wrong password", des3, "x", S::WrongPassword},
        {"empty text", "", "", S::Failed},
        {"BEGIN line without closing dashes", "-----BEGIN RSA\nAAAA\n-----END RSA-----\n", "",
         S::Failed},
        {"headers without the empty line", "-----BEGIN K-----\n" + headers + "-----END K-----\n",
         "", S::Failed},
        {"Proc-Type without DEK-Info", PemText("K", "12345678", "Proc-Type: 4,ENCRYPTED\n"), "",
         S::Failed},
        {"vector of 7 bytes",
         PemText("K", "12345678", "Proc-Type: 4,ENCRYPTED\nDEK-Info: DES-CBC,00112233445566\n"), "",
         S::Failed},
        {"vector not hexadecimal",
         PemText("K", "12345678", "Proc-Type: 4,ENCRYPTED\nDEK-Info: DES-CBC,001122334455667G\n"),
         "", S::Failed},
        {"encrypted body not a whole number of blocks", PemText("K", "1234567", headers), "",
         S::Failed},
        {"empty encrypted body", PemText("K", "", headers), "", S::Failed},
        {"Base64 with a stray character", "-----BEGIN K-----\nAA!A\n-----END K-----\n", "",
         S::Failed},
        {"Base64 with '=' inside", "-----BEGIN K-----\nAA==AAAA\n-----END K-----\n", "", S::Failed},
        {"Base64 without its padding", "-----BEGIN K-----\nAAA\n-----END K-----\n", "", S::Failed},
        {"Base64 with one byte short", "-----BEGIN K-----\nA===\n-----END K-----\n", "", S::Failed},
        {"empty block in clear", "-----BEGIN K-----\n-----END K-----\n", "", S::Decoded},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Decode(c.text, c.password).status, c.status) << c.what;
    EXPECT_EQ(Decode("-----BEGIN K-----\nQUJD\nRA==\n-----END K-----\n").bytes.str(), "ABCD");
}

TEST(KeyFile, LabelledSearchWantsBothLinesOfThatLabel) {
    const std::string key = PemText("RSA PRIVATE KEY", "key");
    const std::string cer = PemText("CERTIFICATE", "cer");
    EXPECT_EQ(Decode(key + cer, "", "CERTIFICATE").bytes.str(), "cer");
    EXPECT_EQ(Decode(key + cer, "").bytes.str(), "key");
    // An END line of another label does not close the block.
    const std::string mixed = "-----BEGIN CERTIFICATE-----\nY2Vy\n-----END X-----\n";
    EXPECT_EQ(Decode(mixed, "", "CERTIFICATE").status, cq::PemDecodeStatus::Failed);
    EXPECT_EQ(Decode(mixed, "").status, cq::PemDecodeStatus::Decoded);
}

TEST(KeyFile, Pkcs1StructureRules) {
    const std::string zero("\0", 1);
    const auto nine = [&](const std::string& version, const std::string& modulus) {
        std::string content = DerInteger(version) + DerInteger(modulus);
        for (int i = 0; i < 7; ++i)
            content += DerInteger("\x07");
        return content;
    };
    struct Case {
        const char* what;
        std::string der;
        cq::Pkcs1Status status;
    };
    using S = cq::Pkcs1Status;
    const std::string longModulus = zero + std::string(200, '\xAB');
    const Case cases[] = {
        {"nine integers", DerSequence(nine(zero, longModulus)), S::Parsed},
        {"bytes after the sequence", DerSequence(nine(zero, longModulus)) + zero, S::NotPkcs1},
        {"ten integers", DerSequence(nine(zero, "\x05") + DerInteger("\x01")), S::NotPkcs1},
        {"version of two octets", DerSequence(nine(zero + zero, "\x05")), S::NotPkcs1},
        {"a string among the integers",
         DerSequence(DerInteger(zero) + "\x04\x01\x05" + nine(zero, "\x05").substr(3)),
         S::NotPkcs1},
        {"indefinite length", "\x30\x80" + nine(zero, "\x05") + std::string(2, '\0'), S::NotPkcs1},
        {"length beyond the bytes", "\x30\x84\x7f\xff\xff\xff" + nine(zero, "\x05"), S::NotPkcs1},
        {"not a sequence", DerInteger(zero), S::NotPkcs1},
        {"empty", "", S::NotPkcs1},
        {"empty modulus", DerSequence(nine(zero, "")), S::NumbersUnreadable},
    };
    for (const Case& c : cases) {
        cq::RsaKeyNumbers numbers;
        EXPECT_EQ(cq::ParseRsaPrivateKey(c.der, numbers), c.status) << c.what;
    }
    cq::RsaKeyNumbers numbers;
    ASSERT_EQ(cq::ParseRsaPrivateKey(DerSequence(nine(zero, longModulus)), numbers), S::Parsed);
    EXPECT_EQ(numbers.modulus.str(), longModulus);
    EXPECT_EQ(numbers.publicExponent.str(), "\x07");
}

} // namespace
