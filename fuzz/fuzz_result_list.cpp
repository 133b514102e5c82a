// Arbitrary result lists of the connection component: the exchange must return a body or raise
// one of its own error types, never anything else.
#include "base/Errors.h"
#include "transport/HttpsExchange.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace {

// Reads the list from the bytes: a count, then per element a type byte and its value (a Boolean
// byte, four integer bytes, or a length byte and that many text bytes; the last text takes the
// rest of the input).
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

cq::VariantList ReadList(Reader& reader) {
    cq::VariantList list;
    const size_t count = reader.byte() % 7;
    for (size_t i = 0; i < count; ++i) {
        switch (reader.byte() % 3) {
        case 0:
            list.emplace_back(reader.byte() % 2 == 1);
            break;
        case 1: {
            uint32_t value = 0;
            for (int b = 0; b < 4; ++b)
                value = value << 8 | reader.byte();
            list.emplace_back(static_cast<int32_t>(value));
            break;
        }
        default:
            list.emplace_back(reader.text(i + 1 == count));
        }
    }
    return list;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Reader reader(data, size);
    const cq::VariantList list = ReadList(reader);
    try {
        (void)cq::BodyFromCommandResult(list);
    } catch (const cq::Exception&) {
    }
    return 0;
}
