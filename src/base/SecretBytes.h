#pragma once
// Bytes that hold a secret (a password, a decrypted key): wiped when the owner goes.

#include <string>
#include <string_view>

namespace cq {

/// Owns secret bytes and overwrites them with OPENSSL_cleanse on destruction and reassignment.
class SecretBytes {
public:
    SecretBytes() = default;
    explicit SecretBytes(std::string bytes) : bytes_(std::move(bytes)) {}
    SecretBytes(const char* data, size_t size) : bytes_(data, size) {}
    ~SecretBytes() { wipe(); }
    SecretBytes(const SecretBytes&) = delete;
    SecretBytes& operator=(const SecretBytes&) = delete;
    SecretBytes(SecretBytes&& other) noexcept;
    SecretBytes& operator=(SecretBytes&& other) noexcept;

    const std::string& str() const { return bytes_; }
    std::string_view view() const { return bytes_; }
    size_t size() const { return bytes_.size(); }
    bool empty() const { return bytes_.empty(); }
    const char* data() const { return bytes_.data(); }
    char* data() { return bytes_.data(); }
    /// Sets the size; new bytes are zero. Growing moves the bytes to a new buffer and wipes the
    /// old.
    void resize(size_t size);
    /// Shortens to `size` bytes, wiping the bytes cut off.
    void truncate(size_t size);
    /// Appends bytes (the buffer is reserved by the caller's estimate to avoid stray copies).
    void append(std::string_view bytes);
    void reserve(size_t size);
    /// Wipes and empties.
    void wipe();

private:
    std::string bytes_;
};

/// Overwrites the bytes of a string that held a secret and empties it.
void WipeString(std::string& text);

/// Wipes a string that holds a secret when the scope ends.
class WipeOnExit {
public:
    explicit WipeOnExit(std::string& text) : text_(text) {}
    ~WipeOnExit() { WipeString(text_); }
    WipeOnExit(const WipeOnExit&) = delete;
    WipeOnExit& operator=(const WipeOnExit&) = delete;

private:
    std::string& text_;
};

} // namespace cq
