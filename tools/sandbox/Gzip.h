#pragma once
// Gzip packing of response bodies.

#include <string>

namespace sandbox {

/// The bytes as one gzip member (zlib's gzip wrapper, default level).
std::string GzipCompress(const std::string& bytes);

} // namespace sandbox
