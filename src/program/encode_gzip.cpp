// The gzip encoder for packed row files, over zlib, level 1.
#include <zlib.h>

#include "program/codec_stream.hpp"
#include "program/encoder.hpp"

namespace tnx {
namespace {

class GzipEncoder final : public Encoder {
 public:
  // Level 1, the largest window, the gzip wrapper (15 + 16), the usual
  // memory level (8).
  bool start() {
    return stream_.start([](z_stream& s) {
      return deflateInit2(&s, 1, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY) ==
             Z_OK;
    });
  }

  EncodeStep encode(const char* in, std::size_t in_size, char* out,
                    std::size_t out_size, bool last) override {
    stream_.point(in, in_size, out, out_size);
    const int ret = deflate(stream_.get(), last ? Z_FINISH : Z_NO_FLUSH);
    return {stream_.consumed(), stream_.produced(), ret == Z_STREAM_END,
            ret != Z_OK && ret != Z_STREAM_END && ret != Z_BUF_ERROR};
  }

 private:
  CodecStream<z_stream, deflateEnd> stream_;
};

}  // namespace

std::unique_ptr<Encoder> make_gzip_encoder() {
  return make_started<GzipEncoder>();
}

}  // namespace tnx
