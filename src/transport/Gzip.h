#pragma once
// Unpacking of a whole gzip-compressed response body (one gzip member) in memory.

#include <cstddef>
#include <string>
#include <string_view>

namespace cq {

/// The largest unpacked body accepted: a small hostile body must not exhaust memory.
inline constexpr size_t kMaxUnpackedBodyBytes = size_t{64} << 20;

/// True when the body begins with the gzip magic bytes 1F 8B.
bool LooksGzipped(std::string_view body);

/// Unpacks one gzip member: checks the header (deflate method, reserved flag bits clear), skips
/// the optional extra field, file name, comment and header checksum, inflates the raw deflate
/// data and checks the CRC-32 and length trailer. Any malformed body raises EZDecompressionError
/// "Data error"; inflater failures raise it with zlib's text ("Stream error", "Insufficient
/// memory", "Buffer error"); an unpacked size above `maxUnpacked` raises it too.
std::string GunzipBody(std::string_view body, size_t maxUnpacked = kMaxUnpackedBodyBytes);

/// GunzipBody into `out`, whose memory is used again: a caller that unpacks one body after
/// another into the same string writes into memory it has touched already, which for bodies of
/// many MiB costs less than the unpacking itself when the memory is new. `out` holds the
/// unpacked body on return, and nothing after an error (same errors as GunzipBody).
void GunzipBodyInto(std::string_view body, std::string& out,
                    size_t maxUnpacked = kMaxUnpackedBodyBytes);

} // namespace cq
