// The sandbox certification service seen through the real curl and openssl tools, and the real
// tinyproxy launcher, so that the integration tests of the client stand on checked ground.

#include "SandboxServer.h"

#include "base/StringUtil.h"

#include <gtest/gtest.h>

#include <functional>

namespace cq::test {
namespace {

const std::string kPassword = "Hrkwp(3mzqtbv";
const std::string kNewMarker = "-----BEGIN NEW CERTIFICATE REQUEST-----";

struct CurlResult {
    int exit = -1;
    int http = 0;
    std::string body;
    std::string err;
};

/// A client of one sandbox server: its program folder with a client certificate, curl and the
/// openssl tool.
class SandboxClient {
public:
    explicit SandboxClient(const SandboxServer& server) : server_(server) {
        server_.writeClientCertificate(program_.path());
    }

    /// Client certificate options of curl for a program folder.
    static std::vector<std::string> clientOf(const std::string& folder) {
        return {"--cert", folder + "Request.cer", "--key", folder + "Request.key", "--pass",
                kPassword};
    }
    const std::string& programFolder() const { return program_.path(); }
    std::string workFile(const std::string& name) const { return work_ / name; }

    /// curl with the service's CA; `client` gives the client certificate options.
    CurlResult curl(const std::vector<std::string>& client, const std::vector<std::string>& more,
                    const std::string& path) const {
        std::vector<std::string> argv = {"curl",     "-sS",           "--max-time", "30",
                                         "-o",       work_ / "body",  "-w",         "%{http_code}",
                                         "--cacert", server_.caFile()};
        argv.insert(argv.end(), client.begin(), client.end());
        argv.insert(argv.end(), more.begin(), more.end());
        argv.push_back(server_.url(path));
        WriteFile(work_ / "body", "");
        const ProcessResult run = RunProcess(argv);
        return {run.status, run.out.empty() ? 0 : std::stoi(run.out), ReadFile(work_ / "body"),
                run.err};
    }
    CurlResult get(const std::string& path, const std::vector<std::string>& more = {}) const {
        return curl(clientOf(program_.path()), more, path);
    }

    /// A fresh PKCS#10 request made by the openssl tool with an RSA or a GOST key.
    std::string makeRequest(const std::string& subject, bool gost = false) const {
        std::vector<std::string> argv = {"openssl", "req",     "-new",
                                         "-nodes",  "-keyout", work_ / "request.key",
                                         "-subj",   subject,   "-newkey"};
        if (gost)
            argv.insert(argv.end(), {"gost2012_256", "-pkeyopt", "paramset:A", "-engine", "gost"});
        else
            argv.push_back("rsa:1024");
        const ProcessResult made = RunProcess(argv);
        EXPECT_EQ(made.status, 0) << made.err;
        return made.out;
    }
    /// Arguments of curl that send the request as the cert query value.
    std::vector<std::string> submitArguments(const std::string& pem) const {
        WriteFile(work_ / "request.csr", pem);
        return {"-G", "--data-urlencode", "cert@" + (work_ / "request.csr")};
    }
    CurlResult submit(const std::string& pem) const { return get("/requp/", submitArguments(pem)); }
    /// Verifies against the RSA CA, or the GOST CA for a certificate of a GOST request.
    ProcessResult verify(const std::string& certificatePem, bool gost = false) const {
        WriteFile(work_ / "issued.crt", certificatePem);
        const std::string ca = gost ? server_.dir() + "gost-ca.crt" : server_.caFile();
        return RunProcess(
            {"openssl", "verify", "-engine", "gost", "-CAfile", ca, work_ / "issued.crt"});
    }

private:
    const SandboxServer& server_;
    TempDir work_;
    TempDir program_;
};

ProcessResult Gunzip(const std::string& bytes) {
    return RunProcess({"gzip", "-dc"}, {}, bytes);
}

class SandboxTest : public ::testing::Test {
protected:
    SandboxServer server_;
    SandboxClient client_{server_};
};

TEST_F(SandboxTest, OnlyClientCertificatesOfTheClientCaPassTheHandshake) {
    TempDir selfSigned;
    server_.writeClientCertificate(selfSigned.path(), kPassword, true);
    struct Case {
        const char* name;
        std::vector<std::string> client;
        bool accepted;
    };
    const std::vector<Case> cases = {
        {"signed by the client CA", SandboxClient::clientOf(client_.programFolder()), true},
        {"no client certificate", {}, false},
        {"self-signed client certificate", SandboxClient::clientOf(selfSigned.path()), false},
    };
    for (const Case& c : cases) {
        const CurlResult result = client_.curl(c.client, {}, "/sample?bytes=10");
        EXPECT_EQ(result.exit == 0 && result.http == 200, c.accepted)
            << c.name << ": " << result.exit << " " << result.err;
    }
}

TEST_F(SandboxTest, ServerCertificateIsRefusedByAClientTrustingAnotherCa) {
    const CurlResult result = client_.get("/", {"--cacert", server_.dir() + "client-ca.crt"});
    EXPECT_EQ(result.exit, 60) << result.err; // peer certificate cannot be authenticated
}

/// The request armour as this system's own client writes it: the "NEW" label, CR LF line ends
/// and no line end after the last line; Base64 lines of `width` characters.
std::string ClientArmour(const std::string& opensslPem, size_t width) {
    std::string base64;
    for (const std::string& line : Split(opensslPem, "\n"))
        if (!line.empty() && line[0] != '-')
            base64 += line;
    std::string text = "-----BEGIN NEW CERTIFICATE REQUEST-----\r\n";
    for (size_t at = 0; at < base64.size(); at += width)
        text += base64.substr(at, width) + "\r\n";
    return text + "-----END NEW CERTIFICATE REQUEST-----";
}

TEST_F(SandboxTest, SubmittedRequestIsStoredUnderTheLowerCaseAddressAndShown) {
    const std::string pem = client_.makeRequest("/emailAddress=User@Example.com/CN=x");
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"openssl's armour", pem},
        {"client armour, 64-character lines", ClientArmour(pem, 64)},
        {"client armour, 76-character lines", ClientArmour(pem, 76)},
    };
    WriteFile(client_.workFile("original.csr"), pem);
    const ProcessResult original = RunProcess(
        {"openssl", "req", "-in", client_.workFile("original.csr"), "-noout", "-pubkey"});
    for (const auto& [name, text] : cases) {
        SCOPED_TRACE(name);
        WriteFile(server_.dir() + "requests/user@example.com.csr", "");
        const CurlResult result = client_.submit(text);
        ASSERT_EQ(result.http, 200) << result.err << result.body;
        EXPECT_NE(result.body.find(kNewMarker), std::string::npos) << result.body;
        const std::string stored = server_.storedRequest("user@example.com");
        EXPECT_EQ(server_.storedRequest("User@Example.com"), stored);
        WriteFile(client_.workFile("stored.csr"), stored);
        const ProcessResult same =
            RunProcess({"openssl", "req", "-in", client_.workFile("stored.csr"), "-noout",
                        "-verify", "-pubkey"});
        EXPECT_EQ(same.status, 0) << same.err;
        EXPECT_EQ(same.out, original.out);
    }
}

TEST_F(SandboxTest, UnusableRequestsAreRefused) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"not a request", "garbage"},
        {"no e-mail address", client_.makeRequest("/CN=x")},
        {"address unfit for a file name", client_.makeRequest("/emailAddress=../a@b/CN=x")},
    };
    for (const auto& [name, text] : cases)
        EXPECT_EQ(client_.submit(text).http, 400) << name;
    EXPECT_EQ(client_.get("/requp/").http, 400) << "missing cert parameter";
}

TEST_F(SandboxTest, CertificateIsNotFoundUntilIssuedThenVerifies) {
    for (const bool gost : {false, true}) {
        SCOPED_TRACE(gost ? "GOST key" : "RSA key");
        const std::string address = gost ? "Gost@Example.com" : "Rsa@Example.com";
        const std::string path = "/certget/" + address + ".crt";
        ASSERT_EQ(
            client_.submit(client_.makeRequest("/emailAddress=" + address + "/CN=Holder", gost))
                .http,
            200);
        EXPECT_EQ(client_.get(path).http, 404);

        server_.issue(address);
        const CurlResult issued = client_.get(path);
        ASSERT_EQ(issued.http, 200);
        const ProcessResult verified = client_.verify(issued.body, gost);
        EXPECT_EQ(verified.status, 0) << verified.out << verified.err;
        const ProcessResult subject = RunProcess(
            {"openssl", "x509", "-in", client_.workFile("issued.crt"), "-noout", "-subject"});
        EXPECT_EQ(subject.out, "subject=emailAddress = " + address + ", CN = Holder\n");
    }
    EXPECT_THROW(server_.issue("nobody@example.com"), std::exception);
    server_.issue("rsa@example.com", true);
    const ProcessResult expired = client_.verify(client_.get("/certget/rsa@example.com.crt").body);
    EXPECT_NE(expired.status, 0);
    EXPECT_NE((expired.out + expired.err).find("expired"), std::string::npos);
}

TEST_F(SandboxTest, GostPathsTakeAndServeGostRequestsOnly) {
    const std::string rsa = client_.makeRequest("/emailAddress=rsa@example.com/CN=R");
    const std::string gost = client_.makeRequest("/emailAddress=gost@example.com/CN=G", true);
    const CurlResult refused = client_.get("/gost/requp/", client_.submitArguments(rsa));
    EXPECT_EQ(refused.http, 400);
    EXPECT_EQ(server_.storedRequest("rsa@example.com"), "");
    ASSERT_EQ(client_.submit(rsa).http, 200);
    const CurlResult taken = client_.get("/gost/requp/", client_.submitArguments(gost));
    ASSERT_EQ(taken.http, 200);
    EXPECT_NE(taken.body.find(kNewMarker), std::string::npos);

    server_.issue("rsa@example.com");
    server_.issue("gost@example.com");
    EXPECT_EQ(client_.get("/gost/certget/rsa@example.com.crt").http, 404);
    const CurlResult issued = client_.get("/gost/certget/gost@example.com.crt");
    ASSERT_EQ(issued.http, 200);
    const ProcessResult verified = client_.verify(issued.body, true);
    EXPECT_EQ(verified.status, 0) << verified.out << verified.err;
    const ProcessResult issuer =
        RunProcess({"openssl", "x509", "-in", client_.workFile("issued.crt"), "-noout", "-issuer"});
    EXPECT_EQ(issuer.out, "issuer=CN = CertQuorix Sandbox GOST CA\n");
}

TEST_F(SandboxTest, PathsOutsideTheIssuedCertificatesAreNotServed) {
    for (const std::string path : {"/certget/..%2Fca.key.crt", "/certget/.hidden.crt", "/ca.key"})
        EXPECT_EQ(client_.get(path).http, 404) << path;
}

TEST(SandboxIssueDelay, StoredRequestIsIssuedOnceItsDelayHasPassed) {
    for (const auto& [delay, expected] : {std::pair{"0", 200}, std::pair{"3600", 404}}) {
        SCOPED_TRACE(delay);
        const SandboxServer server({"--issue-delay", delay});
        const SandboxClient client(server);
        ASSERT_EQ(client.submit(client.makeRequest("/emailAddress=late@example.com/CN=x")).http,
                  200);
        EXPECT_EQ(client.get("/certget/late@example.com.crt").http, expected);
    }
}

/// True when the certificate is still valid `days` days from now.
bool ValidFor(const SandboxClient& client, const std::string& certificatePem, int days) {
    WriteFile(client.workFile("lifetime.crt"), certificatePem);
    return RunProcess({"openssl", "x509", "-in", client.workFile("lifetime.crt"), "-noout",
                       "-checkend", std::to_string(days * 24 * 3600)})
               .status == 0;
}

// A renewal sends a second request for an address that has its certificate: the download keeps
// answering with that certificate until the new request is issued, with the lifetime the address
// was given.
TEST(SandboxRenewal, LaterRequestKeepsTheLastCertificateUntilItIsIssued) {
    struct Case {
        const char* issueDelay;
        bool issuedOnDownload;
    };
    for (const Case& c : {Case{"0", true}, Case{"3600", false}}) {
        SCOPED_TRACE(c.issueDelay);
        const SandboxServer server({"--issue-delay", c.issueDelay});
        const SandboxClient client(server);
        const std::string path = "/certget/renew@example.com.crt";
        server.setLifetime("renew@example.com", 10);
        ASSERT_EQ(client.submit(client.makeRequest("/emailAddress=renew@example.com/CN=x")).http,
                  200);
        if (!c.issuedOnDownload)
            server.issue("renew@example.com");
        const CurlResult first = client.get(path);
        ASSERT_EQ(first.http, 200);
        EXPECT_TRUE(ValidFor(client, first.body, 9));
        EXPECT_FALSE(ValidFor(client, first.body, 11));

        ASSERT_EQ(client.submit(client.makeRequest("/emailAddress=renew@example.com/CN=x")).http,
                  200);
        const CurlResult second = client.get(path);
        ASSERT_EQ(second.http, 200);
        EXPECT_EQ(second.body == first.body, !c.issuedOnDownload);
        if (!c.issuedOnDownload) {
            server.issue("renew@example.com", false, 400);
            const CurlResult issued = client.get(path);
            EXPECT_NE(issued.body, first.body);
            EXPECT_TRUE(ValidFor(client, issued.body, 399));
        }
    }
}

TEST_F(SandboxTest, BodyIsGzipPackedOnlyWhenTheClientAcceptsIt) {
    const CurlResult plain = client_.get("/sample?bytes=5000");
    const CurlResult packed =
        client_.get("/sample?bytes=5000", {"-H", "Accept-Encoding: gzip,deflate"});
    ASSERT_EQ(plain.body.size(), 5000u);
    ASSERT_GE(packed.body.size(), 2u);
    EXPECT_EQ(packed.body.substr(0, 2), "\x1f\x8b");
    EXPECT_LT(packed.body.size(), plain.body.size() / 4);
    EXPECT_EQ(Gunzip(packed.body).out, plain.body);
}

TEST_F(SandboxTest, FaultsChangeTheAnswersWhileTheServerRuns) {
    const std::vector<std::string> submitting =
        client_.submitArguments(client_.makeRequest("/emailAddress=f@example.com/CN=x"));
    struct Case {
        std::string fault;
        std::vector<std::string> args;
        std::string path;
        std::function<void(const CurlResult&)> check;
    };
    const std::vector<Case> cases = {
        {"status500",
         {},
         "/sample?bytes=10",
         [](const CurlResult& r) {
             EXPECT_EQ(r.http, 500);
             EXPECT_NE(r.body.find("Internal sandbox error"), std::string::npos);
         }},
        {"no-marker", submitting, "/requp/",
         [](const CurlResult& r) {
             EXPECT_EQ(r.http, 200);
             EXPECT_EQ(r.body.find("BEGIN NEW CERTIFICATE REQUEST"), std::string::npos);
         }},
        {"marker-lowercase", submitting, "/requp/",
         [](const CurlResult& r) {
             EXPECT_EQ(r.body.find("BEGIN NEW CERTIFICATE REQUEST"), std::string::npos);
             EXPECT_NE(r.body.find("begin new certificate request"), std::string::npos);
         }},
        {"bad-gzip-trailer",
         {},
         "/sample?bytes=2000",
         [](const CurlResult& r) {
             ASSERT_EQ(r.body.substr(0, 2), "\x1f\x8b");
             const ProcessResult unpacked = Gunzip(r.body);
             EXPECT_NE(unpacked.status, 0);
             EXPECT_NE(unpacked.err.find("crc error"), std::string::npos) << unpacked.err;
         }},
        {"short-gzip",
         {},
         "/sample?bytes=2000",
         [](const CurlResult& r) {
             ASSERT_EQ(r.body.substr(0, 2), "\x1f\x8b");
             EXPECT_NE(Gunzip(r.body).status, 0);
         }},
        {"close-mid-body",
         {},
         "/sample?bytes=2000",
         [](const CurlResult& r) {
             EXPECT_EQ(r.exit, 18) << r.err;
         }}, // partial file
        {"slow",
         {"--max-time", "1"},
         "/sample?bytes=10",
         [](const CurlResult& r) {
             EXPECT_EQ(r.exit, 28) << r.err;
         }}, // timed out
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fault);
        server_.setFault(c.fault, 3);
        c.check(client_.get(c.path, c.args));
    }
    server_.setFault("");
    EXPECT_EQ(client_.get("/sample?bytes=10").http, 200);
}

TEST_F(SandboxTest, RequestsPassThroughTinyProxyOnlyWithItsCredentials) {
    const TinyProxy proxy("cquser", "cqsecret");
    const std::string address = "http://127.0.0.1:" + std::to_string(proxy.port());
    for (const auto& [credentials, works] :
         {std::pair{"cquser:cqsecret", true}, std::pair{"cquser:wrong", false},
          std::pair{"", false}}) {
        std::vector<std::string> args = {"--proxy", address};
        if (*credentials)
            args.insert(args.end(), {"--proxy-user", credentials});
        const CurlResult result = client_.get("/sample?bytes=100", args);
        EXPECT_EQ(result.exit == 0 && result.http == 200 && result.body.size() == 100, works)
            << credentials << ": " << result.exit << " " << result.err;
    }
}

} // namespace
} // namespace cq::test
