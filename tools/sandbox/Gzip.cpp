#include "Gzip.h"

#include <zlib.h>

#include <stdexcept>

namespace sandbox {

namespace {

constexpr int kGzipWindowBits = 15 + 16; // 32 KiB window, gzip header and trailer

class Deflater {
public:
    Deflater() {
        if (deflateInit2(&stream_, Z_DEFAULT_COMPRESSION, Z_DEFLATED, kGzipWindowBits, 8,
                         Z_DEFAULT_STRATEGY) != Z_OK)
            throw std::runtime_error("deflateInit2 failed");
    }
    ~Deflater() { deflateEnd(&stream_); }
    Deflater(const Deflater&) = delete;
    Deflater& operator=(const Deflater&) = delete;
    z_stream* operator->() { return &stream_; }
    z_stream* get() { return &stream_; }

private:
    z_stream stream_{};
};

} // namespace

std::string GzipCompress(const std::string& bytes) {
    Deflater stream;
    std::string packed(deflateBound(stream.get(), bytes.size()), '\0');
    stream->next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.data()));
    stream->avail_in = static_cast<uInt>(bytes.size());
    stream->next_out = reinterpret_cast<Bytef*>(packed.data());
    stream->avail_out = static_cast<uInt>(packed.size());
    if (deflate(stream.get(), Z_FINISH) != Z_STREAM_END)
        throw std::runtime_error("deflate failed");
    packed.resize(stream->total_out);
    return packed;
}

} // namespace sandbox
