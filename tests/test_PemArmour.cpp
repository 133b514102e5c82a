// The PEM writer over every length of the Base64 text against the line width: its lines as laid
// out, and read back by OpenSSL's own PEM reader and by ours.
#include "base/StringUtil.h"
#include "certs/KeyFile.h"
#include "certs/PemArmour.h"

#include <gtest/gtest.h>
#include <memory>
#include <openssl/crypto.h>
#include <openssl/pem.h>

namespace {

struct ReadByOpenssl {
    bool read = false;
    std::string label;
    std::string header;
    std::string bytes;
};

/// The armour as OpenSSL's PEM reader takes it (the one its tools use for every PEM file).
ReadByOpenssl OpensslRead(const std::string& pem) {
    ReadByOpenssl result;
    const std::unique_ptr<BIO, decltype(&BIO_free)> input(
        BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size())), &BIO_free);
    char* name = nullptr;
    char* header = nullptr;
    unsigned char* data = nullptr;
    long length = 0;
    result.read = PEM_read_bio(input.get(), &name, &header, &data, &length) == 1;
    if (result.read) {
        result.label = name;
        result.header = header;
        result.bytes.assign(reinterpret_cast<const char*>(data), static_cast<size_t>(length));
    }
    OPENSSL_free(name);
    OPENSSL_free(header);
    OPENSSL_free(data);
    return result;
}

/// Bytes whose Base64 text takes every length a multiple of 4 from 4 to two line widths and a
/// little more, so each remainder modulo the width comes up (the full last line among them).
std::vector<std::string> BodiesAroundTheWidth(size_t width) {
    std::vector<std::string> bodies;
    for (size_t size = 1; size <= 3 * width / 2 + 6; ++size) {
        std::string body(size, '\0');
        for (size_t i = 0; i < size; ++i)
            body[i] = static_cast<char>(i * 37 + 11);
        bodies.push_back(body);
    }
    return bodies;
}

TEST(PemArmour, EveryBodyLengthAgainstTheLineWidthReadsBack) {
    struct Case {
        const char* what;
        cq::PemLayout layout;
        std::string headers;
    };
    const Case cases[] = {
        {"key files and RSA requests", cq::kOpensslPemLayout, ""},
        {"encrypted key files", cq::kOpensslPemLayout,
         "Proc-Type: 4,ENCRYPTED\nDEK-Info: DES-EDE3-CBC,0011223344556677\n"},
        {"GOST requests", {76, "\r\n", false}, ""},
    };
    for (const Case& c : cases) {
        for (const std::string& body : BodiesAroundTheWidth(c.layout.lineWidth)) {
            SCOPED_TRACE(std::string(c.what) + ", " + std::to_string(body.size()) + " bytes");
            const std::string pem = cq::PemArmour("SOME LABEL", body, c.headers, c.layout);
            const std::string lineEnd(c.layout.lineEnd);

            std::vector<std::string> lines = cq::Split(pem, lineEnd);
            EXPECT_EQ(lines.front(), "-----BEGIN SOME LABEL-----");
            if (c.layout.lineEndAfterEnd) {
                ASSERT_EQ(lines.back(), "");
                lines.pop_back();
            }
            EXPECT_EQ(lines.back(), "-----END SOME LABEL-----");
            // After the BEGIN line, the header lines and the empty line that ends them.
            const size_t firstBody =
                1 + (c.headers.empty() ? 0 : cq::Split(c.headers, "\n").size());
            std::string base64;
            for (size_t i = firstBody; i + 1 < lines.size(); ++i) {
                const bool last = i + 2 == lines.size();
                EXPECT_FALSE(lines[i].empty()) << "line " << i;
                EXPECT_LE(lines[i].size(), c.layout.lineWidth) << "line " << i;
                if (!last) {
                    EXPECT_EQ(lines[i].size(), c.layout.lineWidth) << "line " << i;
                }
                base64 += lines[i];
            }
            EXPECT_EQ(base64, cq::Base64(body));

            const ReadByOpenssl read = OpensslRead(pem);
            EXPECT_TRUE(read.read);
            EXPECT_EQ(read.label, "SOME LABEL");
            EXPECT_EQ(read.bytes, body);
            EXPECT_EQ(read.header, c.headers);
            if (c.headers.empty()) {
                const cq::PemBlock ours = cq::DecodePemBlock(pem, {});
                EXPECT_EQ(ours.status, cq::PemDecodeStatus::Decoded);
                EXPECT_EQ(ours.bytes.str(), body);
            }
        }
    }
}

} // namespace
