#include "GzipBuilder.h"
#include "app/ErrorReport.h"
#include "base/Errors.h"
#include "transport/HttpsExchange.h"

#include <gtest/gtest.h>

namespace {

using cq::GetResult;

TEST(CommandResultTest, ErrorsMapToTheirTypes) {
    struct Case {
        const char* what;
        GetResult result;
        std::string className;
        int status;
        std::string message;
        std::string protocolText;
        std::string description;
    };
    const Case cases[] = {
        {"HTTP 404",
         {404, "HTTP/1.1 404 Not Found", "", "not here"},
         "EIdHTTPProtocolException",
         404,
         "",
         "HTTP/1.1 404 Not Found",
         "Прерванный запрос HTTP (404)"},
        {"protocol error and error message",
         {500, "HTTP/1.1 500 Internal Server Error", "transfer closed", ""},
         "EIdHTTPProtocolException",
         500,
         "transfer closed",
         "HTTP/1.1 500 Internal Server Error",
         "Прерванный запрос HTTP (500) transfer closed"},
        {"proxy refusal",
         {407, "HTTP/1.1 407 Proxy Authentication Required", "", ""},
         "EIdHTTPProtocolException",
         407,
         "",
         "HTTP/1.1 407 Proxy Authentication Required",
         "Прерванный запрос HTTP (407)"},
        {"error message only",
         {0, "", "Operation timed out after 1000 milliseconds", ""},
         "Exception",
         0,
         "Operation timed out after 1000 milliseconds",
         "",
         "Operation timed out after 1000 milliseconds"},
    };
    for (const Case& c : cases) {
        try {
            cq::BodyFromCommandResult(c.result);
            ADD_FAILURE() << c.what << ": no error";
        } catch (const cq::Exception& error) {
            EXPECT_EQ(error.className(), c.className) << c.what;
            EXPECT_EQ(error.message(), c.message) << c.what;
            EXPECT_EQ(cq::DescribeError(error), c.description) << c.what;
            if (const auto* protocol = dynamic_cast<const cq::EIdHTTPProtocolException*>(&error)) {
                EXPECT_EQ(protocol->errorCode(), c.status) << c.what;
                EXPECT_EQ(protocol->errorMessage(), c.protocolText) << c.what;
            }
        }
    }
}

TEST(CommandResultTest, BodiesComeBackUnpackedOrAsReceived) {
    const std::string text =
        "-----BEGIN CERTIFICATE-----\r\nMIIB\r\n-----END CERTIFICATE-----\r\n  ";
    const std::string raw = cq::test::RawDeflate(text);
    EXPECT_EQ(cq::BodyFromCommandResult({200, "", "", text}), text);
    EXPECT_EQ(cq::BodyFromCommandResult({200, "", "", cq::test::Gzip(text)}), text);
    EXPECT_EQ(cq::BodyFromCommandResult({200, "", "", raw}), raw); // deflate without a header
    EXPECT_EQ(cq::BodyFromCommandResult({200, "", "", std::string("\0\x1f\x8b", 3)}),
              std::string("\0\x1f\x8b", 3));
    EXPECT_THROW(cq::BodyFromCommandResult({200, "", "", "\x1f\x8b\x08\0"}),
                 cq::EZDecompressionError);
}

TEST(ProxyPortTest, PlainDecimalNumbersOnly) {
    const std::pair<std::string, int> cases[] = {
        {"8080", 8080}, {" 3128 ", 3128}, {"0", 0},           {"65535", 65535}, {"65536", 0},
        {"", 0},        {"abc", 0},       {"80a", 0},         {"-1", 0},        {"+80", 0},
        {"0x50", 0},    {"8 080", 0},     {"99999999999", 0},
    };
    for (const auto& [text, port] : cases)
        EXPECT_EQ(cq::ProxyPortNumber(text), port) << text;
}

} // namespace
