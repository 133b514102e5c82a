#include "Server.h"

#include "Files.h"
#include "Routes.h"

#include <httplib.h>

#include <csignal>
#include <cstdio>
#include <thread>

namespace sandbox {

namespace {

using Handler = std::function<Reply(const httplib::Request&, Fault)>;

/// Wraps a route: reads the fault in force, applies the slow and 500 faults, and delivers.
httplib::Server::Handler Guarded(const std::string& dir, Handler handler) {
    return [dir, handler](const httplib::Request& request, httplib::Response& response) {
        const Fault fault = ReadFault(dir);
        if (fault == Fault::Slow)
            std::this_thread::sleep_for(std::chrono::seconds(SlowSeconds(dir)));
        Reply reply;
        try {
            reply = fault == Fault::Status500 ? Reply{500, "Internal sandbox error\n", "text/plain"}
                                              : handler(request, fault);
        } catch (const std::exception& error) {
            std::fprintf(stderr, "sandbox-ca: %s\n", error.what());
            reply = {500, "Internal sandbox error\n", "text/plain"};
        }
        Deliver(request, response, std::move(reply), fault);
    };
}

void AddRoutes(httplib::Server& server, const std::string& dir, Routes& routes) {
    server.Get(R"(/requp/?)", Guarded(dir, [&routes](const httplib::Request& request, Fault fault) {
                   return routes.submitRequest(request, fault);
               }));
    server.Get(R"(/gost/requp/?)",
               Guarded(dir, [&routes](const httplib::Request& request, Fault fault) {
                   return routes.submitRequest(request, fault, true);
               }));
    server.Get(R"(/gost/certget/([^/]+)\.crt)",
               Guarded(dir, [&routes](const httplib::Request& request, Fault) {
                   return routes.certificate(request.matches[1], true);
               }));
    server.Get(R"(/certget/([^/]+)\.crt)",
               Guarded(dir, [&routes](const httplib::Request& request, Fault) {
                   return routes.certificate(request.matches[1]);
               }));
    server.Get("/sample", Guarded(dir, [&routes](const httplib::Request& request, Fault) {
                   return routes.sample(request);
               }));
    server.Get(R"(.*)", Guarded(dir, [&routes](const httplib::Request&, Fault) {
                   return routes.notFound();
               }));
}

void LogExchange(const httplib::Request& request, const httplib::Response& response) {
    std::fprintf(stderr, "%s %.200s -> %d\n", request.method.c_str(), request.target.c_str(),
                 response.status);
}

int BindLoopback(httplib::Server& server, int port) {
    if (port == 0)
        return server.bind_to_any_port("127.0.0.1");
    return server.bind_to_port("127.0.0.1", port) ? port : -1;
}

} // namespace

int Serve(const ServeOptions& options) {
    std::signal(SIGPIPE, SIG_IGN);
    const std::string dir = FolderPath(options.dir);
    httplib::SSLServer server((dir + "server.crt").c_str(), (dir + "server.key").c_str(),
                              (dir + "client-ca.crt").c_str());
    if (!server.is_valid()) {
        std::fprintf(stderr, "sandbox-ca: cannot set up TLS from %s (run init first)\n",
                     dir.c_str());
        return 1;
    }
    // A server that asks for client certificates must name its session context, or OpenSSL
    // refuses every resumed session with an internal-error alert.
    static const unsigned char kSessionContext[] = "sandbox-ca";
    SSL_CTX_set_session_id_context(server.ssl_context(), kSessionContext,
                                   sizeof kSessionContext - 1);
    Routes routes(dir, options.issueDelaySeconds);
    AddRoutes(server, dir, routes);
    server.set_logger(LogExchange);
    // Answers go out in several writes (headers, then the body's chunks). With Nagle's algorithm
    // the last small one waits for the client's delayed acknowledgement, about 40 ms, on every
    // answer over a kept connection; services send without that wait, and so does this one.
    server.set_tcp_nodelay(true);
    const int port = BindLoopback(server, options.port);
    if (port <= 0) {
        std::fprintf(stderr, "sandbox-ca: cannot listen on 127.0.0.1:%d\n", options.port);
        return 1;
    }
    if (!options.portFile.empty())
        WriteFileAtomically(options.portFile, std::to_string(port) + "\n");
    std::fprintf(stderr, "sandbox-ca: serving https://localhost:%d/ from %s\n", port, dir.c_str());
    return server.listen_after_bind() ? 0 : 1;
}

} // namespace sandbox
