// The gzip encoder for packed row files, over zlib, level 1.
#include <zlib.h>

#include "program/codec_sizes.hpp"
#include "program/encoder.hpp"

namespace tnx {
namespace {

class GzipEncoder final : public Encoder {
 public:
  GzipEncoder() = default;
  GzipEncoder(const GzipEncoder&) = delete;
  GzipEncoder& operator=(const GzipEncoder&) = delete;
  ~GzipEncoder() override {
    if (ready_) (void)deflateEnd(&stream_);
  }

  // Level 1, the largest window, the gzip wrapper (15 + 16), the usual
  // memory level (8).
  bool start() {
    ready_ = deflateInit2(&stream_, 1, Z_DEFLATED, 15 + 16, 8,
                          Z_DEFAULT_STRATEGY) == Z_OK;
    return ready_;
  }

  EncodeStep encode(const char* in, std::size_t in_size, char* out,
                    std::size_t out_size, bool last) override {
    // zlib's interface takes pointers to non-const bytes; it never writes
    // its input.
    stream_.next_in =
        reinterpret_cast<Bytef*>(const_cast<char*>(in));  // NOLINT
    stream_.avail_in = clamp_size(in_size);
    stream_.next_out = reinterpret_cast<Bytef*>(out);
    stream_.avail_out = clamp_size(out_size);
    const unsigned int in_before = stream_.avail_in;
    const unsigned int out_before = stream_.avail_out;
    const int ret = deflate(&stream_, last ? Z_FINISH : Z_NO_FLUSH);
    return {in_before - stream_.avail_in, out_before - stream_.avail_out,
            ret == Z_STREAM_END,
            ret != Z_OK && ret != Z_STREAM_END && ret != Z_BUF_ERROR};
  }

 private:
  z_stream stream_{};
  bool ready_ = false;
};

}  // namespace

std::unique_ptr<Encoder> make_gzip_encoder() {
  return make_started<GzipEncoder>();
}

}  // namespace tnx
