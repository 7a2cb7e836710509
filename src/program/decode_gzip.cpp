// The gzip decoder (every member of the file), over zlib.
#include <zlib.h>

#include "program/codec_stream.hpp"
#include "program/decoder.hpp"

namespace tnx {
namespace {

class GzipDecoder final : public Decoder {
 public:
  // 15: the largest window; +16: the gzip wrapper only.
  bool start() {
    return stream_.start(
        [](z_stream& s) { return inflateInit2(&s, 15 + 16) == Z_OK; });
  }

  DecodeStep decode(const char* in, std::size_t in_size, char* out,
                    std::size_t out_size, bool /*last*/) override {
    // Bytes after a member's end start the next member.
    if (member_ended_ && in_size > 0) {
      if (inflateReset(stream_.get()) != Z_OK)
        return {0, 0, "cannot restart", false};
      member_ended_ = false;
    }
    stream_.point(in, in_size, out, out_size);
    const int ret =
        member_ended_ ? Z_STREAM_END : inflate(stream_.get(), Z_NO_FLUSH);
    DecodeStep step{stream_.consumed(), stream_.produced(), nullptr, false};
    if (ret == Z_STREAM_END) {
      member_ended_ = true;
    } else if (ret == Z_MEM_ERROR) {
      step.out_of_memory = true;
      step.error = "out of memory";
    } else if (ret != Z_OK && ret != Z_BUF_ERROR) {
      step.error =
          stream_.get()->msg != nullptr ? stream_.get()->msg : zError(ret);
    }
    return step;
  }

  [[nodiscard]] bool at_end() const override { return member_ended_; }

 private:
  CodecStream<z_stream, inflateEnd> stream_;
  bool member_ended_ = false;
};

}  // namespace

std::unique_ptr<Decoder> make_gzip_decoder() {
  return make_started<GzipDecoder>();
}

}  // namespace tnx
