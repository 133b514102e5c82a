#include "certs/PemArmour.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>

namespace cq {
namespace {

/// Wipes a text that may carry a clear key's Base64.
void Wipe(std::string& text) {
    OPENSSL_cleanse(text.data(), text.size());
}

} // namespace

std::string Base64(std::string_view bytes) {
    std::string text(4 * ((bytes.size() + 2) / 3) + 1, '\0');
    const int length = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(text.data()),
                                       reinterpret_cast<const unsigned char*>(bytes.data()),
                                       static_cast<int>(bytes.size()));
    text.resize(static_cast<size_t>(length));
    return text;
}

std::string Base64Lines(std::string_view bytes, const PemLayout& layout) {
    std::string base64 = Base64(bytes);
    const std::string_view whole(base64);
    std::string lines;
    lines.reserve(base64.size() + layout.lineEnd.size() * (base64.size() / layout.lineWidth + 1));
    for (size_t start = 0; start < whole.size(); start += layout.lineWidth) {
        if (start != 0)
            lines += layout.lineEnd;
        lines += whole.substr(start, layout.lineWidth);
    }
    Wipe(base64);
    return lines;
}

std::string FramePem(std::string_view label, std::string_view base64Lines,
                     std::string_view headerLines, const PemLayout& layout) {
    std::string pem = "-----BEGIN ";
    pem.append(label).append("-----").append(layout.lineEnd);
    if (!headerLines.empty())
        pem.append(headerLines).append(layout.lineEnd);
    if (!base64Lines.empty())
        pem.append(base64Lines).append(layout.lineEnd);
    pem.append("-----END ").append(label).append("-----");
    if (layout.lineEndAfterEnd)
        pem.append(layout.lineEnd);
    return pem;
}

std::string PemArmour(std::string_view label, std::string_view der, std::string_view headerLines,
                      const PemLayout& layout) {
    std::string lines = Base64Lines(der, layout);
    std::string pem = FramePem(label, lines, headerLines, layout);
    Wipe(lines);
    return pem;
}

} // namespace cq
