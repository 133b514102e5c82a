// The HTTPS exchange against the sandbox certification service and a real tinyproxy on loopback.
#include "SandboxServer.h"
#include "TestSupport.h"
#include "app/AppServer.h"
#include "app/ErrorReport.h"
#include "base/Errors.h"
#include "base/ProgramInfo.h"
#include "base/TextCodec.h"
#include "log/Identity.h"
#include "log/Log.h"
#include "settings/SettingsValues.h"
#include "transport/Connection.h"
#include "transport/HttpsExchange.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <memory>

namespace {

using cq::test::ReadFile;
using cq::test::SandboxServer;

class HttpsSandboxTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { server = std::make_unique<SandboxServer>(); }
    static void TearDownTestSuite() { server.reset(); }

    void SetUp() override {
        server->setFault("");
        cq::test::UseProgramFolder(dir.path());
        cq::SetStationForTesting("PC7", "PC7:\\user1");
        ::setenv("XDG_DATA_HOME", (dir / "xdg").c_str(), 1);
        app.ConnectionHandle = cq::CreateConn({});
        cq::SetAppServer(&app);
        server->writeClientCertificate(dir.path());
        cq::SettingsValues& settings = cq::Settings();
        settings.RequestCertificate = "Request.cer";
        settings.RequestKey = "Request.key";
        settings.RequestPassword = "Hrkwp(3mzqtbv";
        settings.CaFile = server->caFile();
    }
    void TearDown() override {
        cq::ShutdownLog();
        cq::CloseConn(app.ConnectionHandle);
        cq::SetAppServer(nullptr);
        ::unsetenv("XDG_DATA_HOME");
    }

    std::string sample(size_t bytes) const {
        return server->url("/sample?bytes=" + std::to_string(bytes));
    }
    // The failure of a GET that must fail.
    template <typename Error> Error failure(const std::string& url, bool logCopy = false) {
        try {
            cq::HTTPSGet(url, logCopy);
        } catch (const Error& error) {
            return error;
        }
        throw std::runtime_error("no " + std::string(typeid(Error).name()) + " from " + url);
    }
    std::string startLogAndRead(const std::function<void()>& action) {
        cq::test::WriteFile(dir / "CertQuorix.ini", "[Common]\r\nLogPathBy=4\r\n");
        cq::InitLog("CertQuorix", "CertQuorix", ".srt");
        action();
        cq::FlushLog();
        return cq::FromCp1251(ReadFile(cq::LogFileName()));
    }

    static std::unique_ptr<SandboxServer> server;
    cq::test::TempDir dir;
    cq::TAppServer app{false};
};

std::unique_ptr<SandboxServer> HttpsSandboxTest::server;

TEST_F(HttpsSandboxTest, GetsTheBodyWithTheClientCertificate) {
    const std::string body = cq::HTTPSGet(sample(5000), false);
    EXPECT_EQ(body.size(), 5000u);
    EXPECT_NE(body.find("The certification service answers"), std::string::npos);
}

TEST_F(HttpsSandboxTest, ServerRefusesClientsWithoutATrustedCertificate) {
    // The first GET leaves a connection open; a new certificate file must not ride on it.
    EXPECT_EQ(cq::HTTPSGet(sample(10), false).size(), 10u);
    server->writeClientCertificate(dir.path(), "Hrkwp(3mzqtbv", true);
    const cq::Exception selfSigned = failure<cq::Exception>(sample(10));
    EXPECT_EQ(selfSigned.className(), "Exception");
    EXPECT_FALSE(selfSigned.message().empty());

    std::filesystem::remove(dir / "Request.cer");
    const cq::Exception missing = failure<cq::Exception>(sample(10));
    EXPECT_EQ(missing.className(), "Exception");
    EXPECT_FALSE(missing.message().empty());

    server->writeClientCertificate(dir.path());
    EXPECT_EQ(cq::HTTPSGet(sample(10), false).size(), 10u);
}

TEST_F(HttpsSandboxTest, KeyPasswordArrivesEscapedAndIsUnescaped) {
    const std::string password = "p%20 w+d*[1]";
    server->writeClientCertificate(dir.path(), password);
    cq::Settings().RequestPassword = password;
    EXPECT_EQ(cq::HTTPSGet(sample(100), false).size(), 100u);

    cq::Settings().RequestPassword = "wrong";
    EXPECT_EQ(failure<cq::Exception>(sample(100)).className(), "Exception");
}

TEST_F(HttpsSandboxTest, HttpErrorsBecomeProtocolErrors) {
    const auto notIssued =
        failure<cq::EIdHTTPProtocolException>(server->url("/certget/nobody@example.com.crt"));
    EXPECT_EQ(notIssued.errorCode(), 404);
    EXPECT_EQ(notIssued.errorMessage(), "HTTP/1.1 404 Not Found");
    EXPECT_EQ(notIssued.message(), "");
    EXPECT_EQ(cq::DescribeError(notIssued), "Прерванный запрос HTTP (404)");

    server->setFault("status500");
    const auto broken = failure<cq::EIdHTTPProtocolException>(sample(10));
    EXPECT_EQ(broken.errorCode(), 500);
    EXPECT_EQ(broken.errorMessage().substr(0, 12), "HTTP/1.1 500");
}

TEST_F(HttpsSandboxTest, GzipBodyArrivesRawAndIsUnpacked) {
    cq::ApplyRequestCertificate();
    cq::SetProxy(app.ConnectionHandle, {});
    const cq::GetResult result =
        cq::CommandGet(app.ConnectionHandle, {server->url("/sample?bytes=20000"), "gzip,deflate",
                                              cq::SecretBytes(std::string("Hrkwp(3mzqtbv"))});
    EXPECT_EQ(result.status, 200);
    EXPECT_EQ(result.protocolError, "");
    EXPECT_EQ(result.errorMessage, "");
    const std::string& raw = result.body;
    ASSERT_GE(raw.size(), 2u);
    EXPECT_EQ(raw.substr(0, 2), "\x1f\x8b");
    EXPECT_LT(raw.size(), 20000u);

    const std::string unpacked = cq::HTTPSGet(sample(20000), false);
    cq::Settings().AcceptCompression = false;
    const std::string plain = cq::HTTPSGet(sample(20000), false);
    EXPECT_EQ(unpacked, plain);
    EXPECT_EQ(plain.size(), 20000u);
}

TEST_F(HttpsSandboxTest, LogCopiesRequestAndTrimmedResponse) {
    // A body that ends with a line end: whole sample lines.
    const size_t lineLength = cq::HTTPSGet(sample(200), false).find('\n') + 1;
    const std::string url = sample(3 * lineLength);
    std::string body;
    const std::string log = startLogAndRead([&] { body = cq::HTTPSGet(url, true); });
    ASSERT_EQ(body.back(), '\n');
    EXPECT_NE(log.find("PC7:\\user1 - \r\nRequest -\r\n" + url + "\r\n"), std::string::npos) << log;
    const std::string trimmed = body.substr(0, body.find_last_not_of(" \r\n") + 1);
    EXPECT_NE(log.find("\r\nResponse -\r\n" + trimmed + "\r\n"), std::string::npos) << log;
    EXPECT_EQ(log.find(trimmed + "\n"), std::string::npos);
}

TEST_F(HttpsSandboxTest, ResponseCopyKeepsTheServiceBytes) {
    // A Windows-1251 page ("Привет") reaches the log byte for byte, not read as UTF-8.
    const std::string page = "Hello \xcf\xf0\xe8\xe2\xe5\xf2";
    std::filesystem::create_directories(server->dir() + "/issued");
    cq::test::WriteFile(server->dir() + "/issued/raw@example.com.crt", page);
    startLogAndRead(
        [&] { EXPECT_EQ(cq::HTTPSGet(server->url("/certget/raw@example.com.crt"), true), page); });
    const std::string bytes = ReadFile(cq::LogFileName());
    EXPECT_NE(bytes.find("\r\nResponse -\r\n" + page + "\r\n"), std::string::npos) << bytes;
}

TEST_F(HttpsSandboxTest, ExplicitOptionsNeedNoApplicationObjectOrSettings) {
    cq::ExchangeOptions options;
    options.connection = app.ConnectionHandle;
    options.certificateFile = dir / "Request.cer";
    options.keyFile = dir / "Request.key";
    options.keyPassword = cq::SecretBytes(std::string("Hrkwp(3mzqtbv"));
    options.caFile = server->caFile();
    cq::SetAppServer(nullptr);
    cq::Settings().RequestPassword = "wrong";
    EXPECT_EQ(cq::HttpsGetWithOptions(sample(300), options).size(), 300u);

    options.keyPassword = cq::SecretBytes(std::string("wrong"));
    EXPECT_THROW(cq::HttpsGetWithOptions(sample(300), options), cq::Exception);
    EXPECT_THROW(cq::HTTPSGet(sample(300), false), cq::Exception); // no application object
}

TEST_F(HttpsSandboxTest, BrokenGzipGivesDataErrorAndNoResponseCopy) {
    for (const char* fault : {"bad-gzip-trailer", "short-gzip"}) {
        server->setFault(fault);
        std::string message;
        const std::string log = startLogAndRead(
            [&] { message = failure<cq::EZDecompressionError>(sample(4000), true).message(); });
        cq::ShutdownLog();
        EXPECT_EQ(message, "Data error") << fault;
        EXPECT_NE(log.find("Request -"), std::string::npos) << fault;
        EXPECT_EQ(log.find("Response -"), std::string::npos) << fault;
        std::filesystem::remove_all(dir / "Logs");
    }
}

TEST_F(HttpsSandboxTest, TransferFailuresCarryTheirMessage) {
    cq::SetConnectionTimeouts(app.ConnectionHandle, 5000, 1000);
    server->setFault("slow", 3);
    const cq::Exception slow = failure<cq::Exception>(sample(10));
    EXPECT_EQ(slow.className(), "Exception");
    EXPECT_NE(slow.message().find("timed out"), std::string::npos) << slow.message();

    cq::SetConnectionTimeouts(app.ConnectionHandle, 5000, 20000);
    server->setFault("close-mid-body");
    const cq::Exception cut = failure<cq::Exception>(sample(100000));
    EXPECT_NE(cut.message().find("transfer closed"), std::string::npos) << cut.message();

    const int closedPort = cq::test::FreeLoopbackPort();
    const cq::Exception refused =
        failure<cq::Exception>("https://127.0.0.1:" + std::to_string(closedPort) + "/");
    EXPECT_NE(refused.message().find("onnect"), std::string::npos) << refused.message();
}

TEST_F(HttpsSandboxTest, OversizedBodiesAreRefused) {
    const size_t tooLarge = cq::kMaxResponseBodyBytes + 1024 * 1024;
    const cq::EZDecompressionError unpacked = failure<cq::EZDecompressionError>(sample(tooLarge));
    EXPECT_NE(unpacked.message().find("67108864"), std::string::npos) << unpacked.message();

    cq::Settings().AcceptCompression = false;
    const cq::Exception received = failure<cq::Exception>(sample(tooLarge));
    EXPECT_EQ(received.className(), "Exception");
    EXPECT_NE(received.message().find("67108864"), std::string::npos) << received.message();
}

TEST_F(HttpsSandboxTest, ServerCertificateMustBeTrusted) {
    cq::Settings().CaFile.clear();
    const cq::Exception untrusted = failure<cq::Exception>(sample(10));
    EXPECT_NE(untrusted.message().find("certificate"), std::string::npos) << untrusted.message();

    std::filesystem::copy_file(server->caFile(), dir / "service-ca.pem");
    cq::Settings().CaFile = "service-ca.pem"; // relative to the program folder
    EXPECT_EQ(cq::HTTPSGet(sample(10), false).size(), 10u);

    cq::Settings().CaFile = "missing-ca.pem";
    EXPECT_EQ(failure<cq::Exception>(sample(10)).className(), "Exception");
}

TEST_F(HttpsSandboxTest, ThroughAProxyWithBasicAuthentication) {
    cq::test::TinyProxy proxy("quser", "qsecret");
    cq::SettingsValues& settings = cq::Settings();
    settings.ProxyUse = true;
    settings.ProxyServer = "127.0.0.1";
    settings.ProxyPort = std::to_string(proxy.port());
    settings.ProxyUserName = "quser";
    settings.ProxyPassword = "qsecret";
    EXPECT_EQ(cq::HTTPSGet(sample(3000), false).size(), 3000u);

    settings.ProxyPassword = "wrong";
    const auto refused = failure<cq::EIdHTTPProtocolException>(sample(10));
    // tinyproxy answers a refused tunnel with 401, other proxies with 407.
    const std::string code = std::to_string(refused.errorCode());
    EXPECT_TRUE(code == "401" || code == "407") << code;
    EXPECT_EQ(refused.errorMessage().substr(0, 9 + code.size()), "HTTP/1.0 " + code);
    EXPECT_NE(refused.message().find("CONNECT tunnel failed"), std::string::npos);
    EXPECT_EQ(cq::DescribeError(refused),
              "Прерванный запрос HTTP (" + code + ") " + refused.message());

    settings.ProxyUse = false; // the proxy values still travel, but the request goes direct
    EXPECT_EQ(cq::HTTPSGet(sample(10), false).size(), 10u);
}

TEST(ConnectionTest, UnknownHandlesFailClearly) {
    try {
        cq::CommandGet(987654, {"https://localhost/", "", cq::SecretBytes()});
        ADD_FAILURE() << "no error";
    } catch (const cq::Exception& error) {
        EXPECT_NE(error.message().find("987654"), std::string::npos);
    }
    EXPECT_THROW(cq::SetProxy(987654, {}), cq::Exception);
    EXPECT_THROW(cq::SetCertificate(987654, {"a", "b"}), cq::Exception);
    EXPECT_NO_THROW(cq::CloseConn(987654));

    const int32_t handle = cq::CreateConn({});
    cq::CloseConn(handle);
    EXPECT_THROW(cq::SetCertificate(handle, {"a", "b"}), cq::Exception);
}

} // namespace
