#pragma once
// Builds gzip members byte by byte, so the tests can set every header field and break every
// part of the format on purpose.

#include <cstdint>
#include <stdexcept>
#include <string>
#include <zlib.h>

namespace cq::test {

/// Raw deflate data of `data` (no header, no trailer).
inline std::string RawDeflate(const std::string& data, int level = Z_DEFAULT_COMPRESSION) {
    z_stream stream{};
    if (deflateInit2(&stream, level, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        throw std::runtime_error("deflateInit2 failed");
    std::string out(deflateBound(&stream, data.size()), '\0');
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    stream.avail_in = static_cast<uInt>(data.size());
    stream.next_out = reinterpret_cast<Bytef*>(out.data());
    stream.avail_out = static_cast<uInt>(out.size());
    const int code = deflate(&stream, Z_FINISH);
    out.resize(stream.total_out);
    deflateEnd(&stream);
    if (code != Z_STREAM_END)
        throw std::runtime_error("deflate failed");
    return out;
}

inline void AppendLittleEndian32(std::string& out, uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8)
        out += static_cast<char>((value >> shift) & 0xFF);
}

/// Optional header fields of a gzip member.
struct GzipFields {
    uint8_t extraFlags = 0; ///< bits added to the flag byte beyond those the fields set
    std::string extra;      ///< FEXTRA when not empty
    std::string name;       ///< FNAME when not empty
    std::string comment;    ///< FCOMMENT when not empty
    bool headerCrc = false; ///< FHCRC
};

inline std::string GzipHeader(const GzipFields& fields = {}) {
    uint8_t flags = fields.extraFlags;
    flags |= fields.headerCrc ? 0x02 : 0;
    flags |= fields.extra.empty() ? 0 : 0x04;
    flags |= fields.name.empty() ? 0 : 0x08;
    flags |= fields.comment.empty() ? 0 : 0x10;
    std::string out = {'\x1f', '\x8b', '\x08', static_cast<char>(flags), 1, 2, 3, 4, 0, 3};
    if (!fields.extra.empty()) {
        out += static_cast<char>(fields.extra.size() & 0xFF);
        out += static_cast<char>(fields.extra.size() >> 8);
        out += fields.extra;
    }
    if (!fields.name.empty())
        out += fields.name + '\0';
    if (!fields.comment.empty())
        out += fields.comment + '\0';
    if (fields.headerCrc)
        out += "\xAB\xCD"; // never checked by the reader
    return out;
}

inline uint32_t Crc32Of(const std::string& data) {
    return static_cast<uint32_t>(
        crc32(0, reinterpret_cast<const Bytef*>(data.data()), static_cast<uInt>(data.size())));
}

/// A complete gzip member of `data`.
inline std::string Gzip(const std::string& data, const GzipFields& fields = {}) {
    std::string out = GzipHeader(fields) + RawDeflate(data);
    AppendLittleEndian32(out, Crc32Of(data));
    AppendLittleEndian32(out, static_cast<uint32_t>(data.size()));
    return out;
}

} // namespace cq::test
