#include "GzipBuilder.h"
#include "TestSupport.h"
#include "base/Errors.h"
#include "transport/Gzip.h"

#include <gtest/gtest.h>

namespace {

using cq::test::Gzip;
using cq::test::GzipFields;

std::string SampleText() {
    std::string text;
    for (int i = 0; i < 2000; ++i)
        text += "-----BEGIN CERTIFICATE----- line " + std::to_string(i * 7919 % 1000) + "\r\n";
    return text;
}

void ExpectDataError(const std::string& body, const std::string& what) {
    try {
        cq::GunzipBody(body);
        ADD_FAILURE() << what << ": no error";
    } catch (const cq::EZDecompressionError& error) {
        EXPECT_EQ(error.message(), "Data error") << what;
    }
}

TEST(GzipTest, UnpacksWithEveryOptionalHeaderField) {
    const std::string text = SampleText();
    struct Case {
        const char* what;
        GzipFields fields;
    };
    const Case cases[] = {
        {"no fields", {}},
        {"extra field", {0, std::string("AB\x04\0xyzw", 8), "", "", false}},
        {"file name", {0, "", "answer.txt", "", false}},
        {"comment", {0, "", "", "made for a test", false}},
        {"header checksum", {0, "", "", "", true}},
        {"all fields", {0, std::string("\0\0", 2), "n", "c", true}},
        {"text flag", {0x01, "", "", "", false}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(cq::GunzipBody(Gzip(text, c.fields)), text) << c.what;
    EXPECT_EQ(cq::GunzipBody(Gzip("")), "");
}

TEST(GzipTest, UnpacksWhatTheGzipToolMakes) {
    cq::test::TempDir dir;
    const std::string text = SampleText();
    cq::test::WriteFile(dir / "body.txt", text);
    const cq::test::ProcessResult packed = cq::test::RunProcess({"gzip", "-c", dir / "body.txt"});
    ASSERT_EQ(packed.status, 0);
    ASSERT_NE(packed.out[3] & 0x08, 0) << "gzip stores the file name";
    EXPECT_EQ(cq::GunzipBody(packed.out), text);
}

TEST(GzipTest, MalformedBodiesGiveDataError) {
    const std::string text = SampleText();
    const std::string good = Gzip(text);
    auto changed = [&](size_t pos, char value) {
        std::string body = good;
        body[pos] = value;
        return body;
    };
    auto fromEnd = [&](size_t back) {
        return good.size() - back;
    };
    struct Case {
        const char* what;
        std::string body;
    };
    const Case cases[] = {
        {"shorter than a header", std::string("\x1f\x8b\x08\0\0\0\0\0\0", 9)},
        {"header without data or trailer", cq::test::GzipHeader()},
        {"method other than deflate", changed(2, 7)},
        {"reserved flag bit 5", changed(3, 0x20)},
        {"reserved flag bit 7", changed(3, '\x80')},
        {"file name without its end", cq::test::GzipHeader({0x08, "", "", "", false}) + "answer"},
        {"extra field longer than the body",
         cq::test::GzipHeader({0x04, "", "", "", false}) + "\xFF\xFF" + "abcdefghijkl"},
        {"wrong CRC-32", changed(fromEnd(8), good[fromEnd(8)] ^ 1)},
        {"wrong length", changed(fromEnd(4), good[fromEnd(4)] ^ 1)},
        {"body cut short", good.substr(0, good.size() - 100)},
        {"trailer missing", good.substr(0, good.size() - 8)},
        {"corrupt deflate data", changed(10, '\xFF')},
        {"bytes after the deflate data",
         good.substr(0, fromEnd(8)) + "junk" + good.substr(fromEnd(8))},
    };
    for (const Case& c : cases)
        ExpectDataError(c.body, c.what);
}

TEST(GzipTest, RefusesAnUnpackedBodyAboveTheBound) {
    EXPECT_EQ(cq::GunzipBody(Gzip(std::string(1000, 'x')), 1000), std::string(1000, 'x'));
    EXPECT_THROW(cq::GunzipBody(Gzip(std::string(1001, 'x')), 1000), cq::EZDecompressionError);

    const std::string bomb = Gzip(std::string(65u << 20, '\0'));
    ASSERT_LT(bomb.size(), 100000u);
    try {
        cq::GunzipBody(bomb);
        ADD_FAILURE() << "a 65 MiB body was unpacked";
    } catch (const cq::EZDecompressionError& error) {
        EXPECT_NE(error.message().find(std::to_string(cq::kMaxUnpackedBodyBytes)),
                  std::string::npos)
            << error.message();
    }
}

// `size` bytes of text whose lines carry `tag`, so bytes left from another body would show.
std::string TaggedText(size_t size, char tag) {
    std::string text;
    for (size_t i = 0; text.size() < size; ++i)
        text += std::string(1, tag) + " line " + std::to_string(i * 7919 % 100000) + "\r\n";
    text.resize(size);
    return text;
}

TEST(GzipTest, UnpacksIntoAStringUsedAgain) {
    // Sizes up and down: a larger body grows the string past what it holds (in huge-page
    // steps from 4 MiB on), a smaller one is written over the start of the last one.
    const struct {
        size_t size;
        char tag;
    } bodies[] = {{5u << 20, 'a'}, {3000, 'b'}, {0, 'c'}, {9u << 20, 'd'}, {(5u << 20) + 7, 'e'}};
    std::string out = "held before";
    for (const auto& body : bodies) {
        const std::string text = TaggedText(body.size, body.tag);
        cq::GunzipBodyInto(Gzip(text), out);
        EXPECT_TRUE(out == text) << body.size << " bytes: got " << out.size();
    }

    std::string bad = Gzip(TaggedText(3000, 'f'));
    bad[bad.size() - 8] ^= 1; // CRC-32
    EXPECT_THROW(cq::GunzipBodyInto(bad, out), cq::EZDecompressionError);
    EXPECT_TRUE(out.empty()) << "nothing of a refused body is left";
}

TEST(GzipTest, UnpackingIntoALargerStringKeepsTheBound) {
    std::string out(5000, 'z');
    EXPECT_THROW(cq::GunzipBodyInto(Gzip(std::string(1001, 'x')), out, 1000),
                 cq::EZDecompressionError);
    EXPECT_TRUE(out.empty());
    out.assign(5000, 'z');
    cq::GunzipBodyInto(Gzip(std::string(1000, 'x')), out, 1000);
    EXPECT_EQ(out, std::string(1000, 'x'));

    const std::string bomb = Gzip(std::string(65u << 20, '\0'));
    out.assign(1000, 'z');
    EXPECT_THROW(cq::GunzipBodyInto(bomb, out), cq::EZDecompressionError);
    EXPECT_LE(out.capacity(), cq::kMaxUnpackedBodyBytes + (size_t{2} << 20))
        << "the string grew far past the bound";
}

TEST(GzipTest, RecognisesTheMagicBytesOnly) {
    EXPECT_TRUE(cq::LooksGzipped("\x1f\x8b"));
    EXPECT_FALSE(cq::LooksGzipped("\x1f"));
    EXPECT_FALSE(cq::LooksGzipped(cq::test::RawDeflate("abc")));
}

} // namespace
