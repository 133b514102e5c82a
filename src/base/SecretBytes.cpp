#include "base/SecretBytes.h"

#include <openssl/crypto.h>

namespace cq {

// Moves copy and then wipe the source: a moved-from short string would keep its bytes in place.
SecretBytes::SecretBytes(SecretBytes&& other) noexcept : bytes_(other.bytes_) {
    other.wipe();
}

SecretBytes& SecretBytes::operator=(SecretBytes&& other) noexcept {
    if (this != &other) {
        wipe();
        bytes_ = other.bytes_;
        other.wipe();
    }
    return *this;
}

void SecretBytes::truncate(size_t size) {
    if (size >= bytes_.size())
        return;
    OPENSSL_cleanse(bytes_.data() + size, bytes_.size() - size);
    bytes_.resize(size);
}

void SecretBytes::append(std::string_view bytes) {
    if (bytes_.size() + bytes.size() > bytes_.capacity()) {
        // Grow by hand so the old buffer is wiped rather than left behind by the reallocation.
        std::string grown;
        grown.reserve(2 * (bytes_.size() + bytes.size()));
        grown.append(bytes_);
        wipe();
        bytes_ = std::move(grown);
    }
    bytes_.append(bytes);
}

void SecretBytes::reserve(size_t size) {
    if (size <= bytes_.capacity())
        return;
    std::string grown;
    grown.reserve(size);
    grown.append(bytes_);
    wipe();
    bytes_ = std::move(grown);
}

void SecretBytes::resize(size_t size) {
    if (size < bytes_.size()) {
        truncate(size);
        return;
    }
    reserve(size);
    bytes_.resize(size, '\0');
}

void SecretBytes::wipe() {
    WipeString(bytes_);
}

void WipeString(std::string& text) {
    if (!text.empty())
        OPENSSL_cleanse(text.data(), text.size());
    text.clear();
}

} // namespace cq
