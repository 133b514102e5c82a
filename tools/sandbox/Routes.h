#pragma once
// What the sandbox service answers on each of its paths.

#include "Faults.h"
#include "Reply.h"

#include <mutex>
#include <optional>
#include <string>

namespace sandbox {

class Routes {
public:
    /// dir: the state folder; issueDelaySeconds: when set, a stored request older than this that
    /// is not issued yet is issued the first time its certificate is asked for.
    Routes(std::string dir, std::optional<double> issueDelaySeconds);

    /// "/requp/?cert=PEM": stores the request under its e-mail address and answers a page that
    /// shows it.
    /// With gostOnly (the GOST request path) a request with another key is refused with 400.
    Reply submitRequest(const httplib::Request& request, Fault fault, bool gostOnly = false) const;
    /// "/certget/ADDRESS.crt": the last certificate issued for the address (a request stored
    /// after it does not take it away), or 404 while there is none.
    /// With gostOnly (the GOST receive path) only certificates of GOST requests are served.
    Reply certificate(const std::string& address, bool gostOnly = false);
    /// "/sample?bytes=N": N bytes of compressible text.
    Reply sample(const httplib::Request& request) const;
    /// Any other path.
    Reply notFound() const;

private:
    void issueWhenDue(const std::string& address);

    std::string dir_;
    std::optional<double> issueDelaySeconds_;
    std::mutex issueMutex_;
};

} // namespace sandbox
