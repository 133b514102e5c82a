// Arbitrary results of the connection component (status, status line, error text and a body that
// may claim to be gzip): the exchange must return a body or raise one of its own error types,
// never anything else.
#include "base/Errors.h"
#include "transport/HttpsExchange.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>

namespace {

// Reads the result from the bytes: four status bytes, the status line and the error text (a
// length byte and that many bytes each), then the body (the rest of the input).
class Reader {
public:
    Reader(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    bool empty() const { return pos_ >= size_; }
    uint8_t byte() { return empty() ? 0 : data_[pos_++]; }
    std::string text(bool rest) {
        const size_t wanted = rest ? size_ - pos_ : byte();
        const size_t length = std::min(wanted, size_ - std::min(pos_, size_));
        std::string out(reinterpret_cast<const char*>(data_) + pos_, length);
        pos_ += length;
        return out;
    }

private:
    const uint8_t* data_;
    size_t size_;
    size_t pos_ = 0;
};

cq::GetResult ReadResult(Reader& reader) {
    cq::GetResult result;
    uint32_t status = 0;
    for (int b = 0; b < 4; ++b)
        status = status << 8 | reader.byte();
    result.status = static_cast<int32_t>(status);
    result.protocolError = reader.text(false);
    result.errorMessage = reader.text(false);
    result.body = reader.text(true);
    return result;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Reader reader(data, size);
    const cq::GetResult result = ReadResult(reader);
    try {
        (void)cq::BodyFromCommandResult(result);
    } catch (const cq::Exception&) {
    }
    return 0;
}
