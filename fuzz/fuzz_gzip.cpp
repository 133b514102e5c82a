// Arbitrary bytes as a gzip-compressed response body: unpacking must either give the data whose
// CRC-32 and length the trailer names, or raise EZDecompressionError. Unpacking into a string
// that may still hold an earlier input's body must give the same.
#include "base/Errors.h"
#include "transport/Gzip.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <zlib.h>

namespace {

constexpr size_t kFuzzBound = size_t{1} << 20; // keeps each run fast; the bound logic is the same

uint32_t TrailerValue(std::string_view body, size_t fromEnd) {
    const auto* bytes = reinterpret_cast<const uint8_t*>(body.data() + body.size() - fromEnd);
    return uint32_t{bytes[0]} | uint32_t{bytes[1]} << 8 | uint32_t{bytes[2]} << 16 |
           uint32_t{bytes[3]} << 24;
}

// What GunzipBodyInto gives in a string used for every input, or nullptr when it raises.
const std::string* UnpackedIntoKeptString(std::string_view body) {
    static std::string kept;
    try {
        cq::GunzipBodyInto(body, kept, kFuzzBound);
        return &kept;
    } catch (const cq::EZDecompressionError&) {
        if (!kept.empty())
            std::abort();
        return nullptr;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view body(reinterpret_cast<const char*>(data), size);
    const std::string* const intoKept = UnpackedIntoKeptString(body);
    try {
        const std::string unpacked = cq::GunzipBody(body, kFuzzBound);
        const auto crc =
            static_cast<uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(unpacked.data()),
                                        static_cast<uInt>(unpacked.size())));
        if (unpacked.size() > kFuzzBound || crc != TrailerValue(body, 8) ||
            static_cast<uint32_t>(unpacked.size()) != TrailerValue(body, 4))
            std::abort();
        if (!intoKept || *intoKept != unpacked)
            std::abort();
    } catch (const cq::EZDecompressionError&) {
        if (intoKept)
            std::abort();
    }
    return 0;
}
