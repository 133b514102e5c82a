#include "transport/Gzip.h"

#include "base/Errors.h"
#include "base/Translate.h"

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <sys/mman.h>
#include <zlib.h>
#if __has_include(<linux/mman.h>)
#include <linux/mman.h> // MADV_COLLAPSE, which the C library's header may lack
#endif

namespace cq {
namespace {

constexpr uint8_t kFlagHeaderCrc = 0x02;
constexpr uint8_t kFlagExtra = 0x04;
constexpr uint8_t kFlagName = 0x08;
constexpr uint8_t kFlagComment = 0x10;
constexpr uint8_t kReservedFlags = 0xE0;
constexpr size_t kHeaderSize = 10;
constexpr size_t kTrailerSize = 8;
// Deflate cannot expand data by more than about 1032 to 1; used only to size the first buffer.
constexpr size_t kMaxDeflateRatio = 1032;
constexpr uInt kMaxChunk = 1u << 30;
// How much the output grows at a time: small enough to stay in the cache while it is zeroed,
// filled and checksummed.
constexpr size_t kOutputStep = size_t{256} << 10;

[[noreturn]] void DataError() {
    throw EZDecompressionError("Data error");
}

[[noreturn]] void TooLarge(size_t maxUnpacked) {
    throw EZDecompressionError(
        TrFormat("Распакованный ответ сервера больше %1 байт", {std::to_string(maxUnpacked)}));
}

[[noreturn]] void InflateError(int code) {
    switch (code) {
    case Z_STREAM_ERROR:
        throw EZDecompressionError("Stream error");
    case Z_MEM_ERROR:
        throw EZDecompressionError("Insufficient memory");
    case Z_BUF_ERROR:
        throw EZDecompressionError("Buffer error");
    default:
        DataError();
    }
}

uint8_t ByteAt(std::string_view data, size_t pos) {
    return static_cast<uint8_t>(data[pos]);
}

uint32_t LittleEndian32(std::string_view data, size_t pos) {
    return uint32_t{ByteAt(data, pos)} | uint32_t{ByteAt(data, pos + 1)} << 8 |
           uint32_t{ByteAt(data, pos + 2)} << 16 | uint32_t{ByteAt(data, pos + 3)} << 24;
}

// Position after a zero-terminated field that starts at pos.
size_t SkipZeroTerminated(std::string_view body, size_t pos) {
    const size_t end = body.find('\0', pos);
    if (end == std::string_view::npos)
        DataError();
    return end + 1;
}

// Position of the deflate data after the header and its optional fields.
size_t DeflateStart(std::string_view body) {
    if (body.size() < kHeaderSize || ByteAt(body, 0) != 0x1F || ByteAt(body, 1) != 0x8B ||
        ByteAt(body, 2) != Z_DEFLATED)
        DataError();
    const uint8_t flags = ByteAt(body, 3);
    if (flags & kReservedFlags)
        DataError();
    size_t pos = kHeaderSize;
    if (flags & kFlagExtra) {
        if (body.size() - pos < 2)
            DataError();
        const size_t extraLength = ByteAt(body, pos) | size_t{ByteAt(body, pos + 1)} << 8;
        pos += 2;
        if (body.size() - pos < extraLength)
            DataError();
        pos += extraLength;
    }
    if (flags & kFlagName)
        pos = SkipZeroTerminated(body, pos);
    if (flags & kFlagComment)
        pos = SkipZeroTerminated(body, pos);
    if (flags & kFlagHeaderCrc)
        pos += 2;
    if (pos > body.size() || body.size() - pos < kTrailerSize)
        DataError();
    return pos;
}

struct InflateEnd {
    void operator()(z_stream* stream) const { inflateEnd(stream); }
};

#ifdef MADV_HUGEPAGE
constexpr uintptr_t kPage = 4096;
constexpr uintptr_t kHugePage = uintptr_t{2} << 20;
// More than the allocator keeps beside a block it maps for itself.
constexpr size_t kAllocatorOverhead = 64;

// Advises the pages that hold [data, data + size) for huge pages. Where the buffer's first or
// last page ends on a huge-page boundary, the advice reaches that boundary, so a buffer the
// allocator placed on boundaries is covered whole; the advice never reaches a page that holds
// none of the buffer.
void AdviseHugePages(char* data, size_t size) {
    const auto start = reinterpret_cast<uintptr_t>(data);
    const uintptr_t end = start + size;
    const uintptr_t firstPage = start & ~(kPage - 1);
    const uintptr_t lastPageEnd = (end + kPage - 1) & ~(kPage - 1);
    const uintptr_t first =
        (firstPage & (kHugePage - 1)) == 0 ? firstPage : (start + kHugePage - 1) & ~(kHugePage - 1);
    const uintptr_t last =
        (lastPageEnd & (kHugePage - 1)) == 0 ? lastPageEnd : end & ~(kHugePage - 1);
    if (last <= first)
        return;
    ::madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE); // advice only
#ifdef MADV_COLLAPSE
    // The allocator has written its bookkeeping into the block's first page already, so the
    // huge page that holds it would come as 512 small pages, one fault each: make it a huge
    // page now, in one step (advice again: an older system refuses it).
    if (first == firstPage && last - first >= kHugePage)
        ::madvise(reinterpret_cast<void*>(first), kHugePage, MADV_COLLAPSE);
#endif
}
#endif

// Makes room for `size` bytes in `out` without touching it; room it has already is kept. A
// large new buffer is backed by huge pages where the system allows it: touching 32 MiB in 4 KiB
// pages for the first time can cost more than inflating into it. It is sized so that the block
// the allocator maps for it is a whole number of huge pages, which the system places on a
// huge-page boundary; the advice then covers all of it.
void ReserveOutput(std::string& out, size_t size) {
    if (size <= out.capacity())
        return;
#ifdef MADV_HUGEPAGE
    if (size >= 2 * kHugePage) {
        const size_t whole = (size + kAllocatorOverhead + kHugePage - 1) & ~(kHugePage - 1);
        out.reserve(whole - kAllocatorOverhead);
        AdviseHugePages(out.data(), out.capacity());
        return;
    }
#endif
    out.reserve(size);
}

// Inflates raw deflate data that must end exactly at the end of `data` into `out`, and returns
// the CRC-32 of what it unpacked. The bytes `out` holds already are written over in place; past
// them the output grows a step at a time. Each piece is checksummed right after inflate wrote
// it, while it is still in the cache: no zero-filled whole buffer, no second pass.
uLong InflateRaw(std::string_view data, size_t expectedSize, size_t maxUnpacked, std::string& out) {
    if (data.size() > kMaxChunk)
        TooLarge(maxUnpacked); // far beyond any body the connection accepts
    z_stream stream{};
    const int init = inflateInit2(&stream, -MAX_WBITS);
    if (init != Z_OK)
        InflateError(init);
    const std::unique_ptr<z_stream, InflateEnd> owner(&stream);
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    stream.avail_in = static_cast<uInt>(data.size());

    // One byte past the bound shows a body above it.
    const size_t limit = maxUnpacked + 1;
    const size_t plausible = std::max<size_t>(data.size(), 1) * kMaxDeflateRatio;
    ReserveOutput(out, std::min({size_t{expectedSize}, plausible, maxUnpacked}) + 1);
    uLong crc = crc32(0L, Z_NULL, 0);
    size_t produced = 0;
    int code = Z_OK;
    while (code != Z_STREAM_END) {
        if (produced >= limit)
            TooLarge(maxUnpacked);
        if (produced == out.size())
            out.resize(std::min(out.size() + kOutputStep, limit));
        Bytef* const next = reinterpret_cast<Bytef*>(out.data() + produced);
        stream.next_out = next;
        stream.avail_out =
            static_cast<uInt>(std::min({out.size(), limit, produced + kMaxChunk}) - produced);
        const uInt before = stream.avail_out;
        code = inflate(&stream, Z_NO_FLUSH);
        const uInt got = before - stream.avail_out;
        crc = crc32(crc, next, got);
        produced += got;
        if (code == Z_BUF_ERROR && stream.avail_in == 0)
            DataError(); // the deflate data ends before its last block
        if (code != Z_OK && code != Z_STREAM_END && code != Z_BUF_ERROR)
            InflateError(code);
    }
    if (produced > maxUnpacked)
        TooLarge(maxUnpacked);
    if (stream.avail_in != 0)
        DataError(); // bytes between the end of the deflate data and the trailer
    out.resize(produced);
    return crc;
}

void UnpackInto(std::string_view body, size_t maxUnpacked, std::string& out) {
    const size_t start = DeflateStart(body);
    const size_t trailer = body.size() - kTrailerSize;
    const uint32_t expectedCrc = LittleEndian32(body, trailer);
    const uint32_t expectedSize = LittleEndian32(body, trailer + 4);
    const uLong crc =
        InflateRaw(body.substr(start, trailer - start), expectedSize, maxUnpacked, out);
    if (crc != expectedCrc || static_cast<uint32_t>(out.size()) != expectedSize)
        DataError();
}

} // namespace

bool LooksGzipped(std::string_view body) {
    return body.size() >= 2 && ByteAt(body, 0) == 0x1F && ByteAt(body, 1) == 0x8B;
}

std::string GunzipBody(std::string_view body, size_t maxUnpacked) {
    std::string out;
    UnpackInto(body, maxUnpacked, out);
    return out;
}

void GunzipBodyInto(std::string_view body, std::string& out, size_t maxUnpacked) {
    try {
        UnpackInto(body, maxUnpacked, out);
    } catch (...) {
        out.clear(); // no part of a refused body is left for the caller
        throw;
    }
}

} // namespace cq
