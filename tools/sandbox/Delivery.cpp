#include "Reply.h"

#include "Gzip.h"

#include <httplib.h>

#include <algorithm>
#include <memory>

namespace sandbox {

namespace {

bool AcceptsGzip(const httplib::Request& request) {
    return request.get_header_value("Accept-Encoding").find("gzip") != std::string::npos;
}

bool ForcesGzip(Fault fault) {
    return fault == Fault::BadGzipTrailer || fault == Fault::ShortGzip;
}

std::string PackedBody(const std::string& body, Fault fault) {
    std::string packed = GzipCompress(body);
    if (fault == Fault::BadGzipTrailer)
        packed[packed.size() - 8] = static_cast<char>(packed[packed.size() - 8] ^ 0x5A);
    if (fault == Fault::ShortGzip)
        packed.resize(packed.size() / 2);
    return packed;
}

} // namespace

void Deliver(const httplib::Request& request, httplib::Response& response, Reply reply,
             Fault fault) {
    response.status = reply.status;
    if (AcceptsGzip(request) || ForcesGzip(fault)) {
        reply.body = PackedBody(reply.body, fault);
        response.set_header("Content-Encoding", "gzip");
    }
    auto body = std::make_shared<const std::string>(std::move(reply.body));
    // A sized content provider keeps the HTTP layer from packing the body a second time.
    size_t announced = body->size();
    size_t sent = body->size();
    if (fault == Fault::CloseMidBody) {
        announced = body->size() * 2 + 1024;
        sent = body->size() / 2;
    }
    if (announced == 0) {
        response.set_content("", reply.contentType);
        return;
    }
    response.set_content_provider(
        announced, reply.contentType,
        [body, sent](size_t offset, size_t length, httplib::DataSink& sink) {
            if (offset >= sent)
                return false; // ends the connection with the announced length unmet
            const size_t count = std::min(length, sent - offset);
            return sink.write(body->data() + offset, count);
        });
}

} // namespace sandbox
