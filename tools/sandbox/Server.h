#pragma once
// The HTTPS side of the sandbox service.

#include <optional>
#include <string>

namespace sandbox {

struct ServeOptions {
    std::string dir;
    int port = 0;         // 0: any free port
    std::string portFile; // receives the port number once the server listens
    std::optional<double> issueDelaySeconds;
};

/// Serves on 127.0.0.1 until the process is stopped; returns an exit status when it cannot.
int Serve(const ServeOptions& options);

} // namespace sandbox
