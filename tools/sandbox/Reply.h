#pragma once
// One answer of the sandbox service before gzip and faults are applied to it.

#include "Faults.h"

#include <string>

namespace httplib {
struct Request;
struct Response;
} // namespace httplib

namespace sandbox {

struct Reply {
    int status = 200;
    std::string body;
    std::string contentType = "text/html";
};

/// Hands the reply to the HTTP layer: gzip-packed when the client accepts gzip (or a gzip fault
/// is on), with the body-level faults applied.
void Deliver(const httplib::Request& request, httplib::Response& response, Reply reply,
             Fault fault);

} // namespace sandbox
