#include "base/OpenSslOwners.h"

#include <openssl/err.h>

namespace cq::ssl {

std::string DrainErrors() {
    std::string text;
    char buffer[256];
    while (const unsigned long code = ERR_get_error()) {
        ERR_error_string_n(code, buffer, sizeof buffer);
        if (!text.empty())
            text += "; ";
        text += buffer;
    }
    return text;
}

} // namespace cq::ssl
