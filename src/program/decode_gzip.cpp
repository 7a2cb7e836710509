// The gzip decoder (every member of the file), over zlib.
#include <zlib.h>

#include "program/codec_sizes.hpp"
#include "program/decoder.hpp"

namespace tnx {
namespace {

class GzipDecoder final : public Decoder {
 public:
  GzipDecoder() = default;
  GzipDecoder(const GzipDecoder&) = delete;
  GzipDecoder& operator=(const GzipDecoder&) = delete;
  ~GzipDecoder() override {
    if (ready_) (void)inflateEnd(&stream_);
  }

  // 15: the largest window; +16: the gzip wrapper only.
  bool start() {
    ready_ = inflateInit2(&stream_, 15 + 16) == Z_OK;
    return ready_;
  }

  DecodeStep decode(const char* in, std::size_t in_size, char* out,
                    std::size_t out_size, bool /*last*/) override {
    // Bytes after a member's end start the next member.
    if (member_ended_ && in_size > 0) {
      if (inflateReset(&stream_) != Z_OK)
        return {0, 0, "cannot restart", false};
      member_ended_ = false;
    }
    // zlib's interface takes pointers to non-const bytes; it never writes
    // its input.
    stream_.next_in =
        reinterpret_cast<Bytef*>(const_cast<char*>(in));  // NOLINT
    stream_.avail_in = clamp_size(in_size);
    stream_.next_out = reinterpret_cast<Bytef*>(out);
    stream_.avail_out = clamp_size(out_size);
    const unsigned int in_before = stream_.avail_in;
    const unsigned int out_before = stream_.avail_out;
    const int ret =
        member_ended_ ? Z_STREAM_END : inflate(&stream_, Z_NO_FLUSH);
    DecodeStep step{in_before - stream_.avail_in,
                    out_before - stream_.avail_out, nullptr, false};
    if (ret == Z_STREAM_END) {
      member_ended_ = true;
    } else if (ret == Z_MEM_ERROR) {
      step.out_of_memory = true;
      step.error = "out of memory";
    } else if (ret != Z_OK && ret != Z_BUF_ERROR) {
      step.error = stream_.msg != nullptr ? stream_.msg : zError(ret);
    }
    return step;
  }

  [[nodiscard]] bool at_end() const override { return member_ended_; }

 private:
  z_stream stream_{};
  bool ready_ = false;
  bool member_ended_ = false;
};

}  // namespace

std::unique_ptr<Decoder> make_gzip_decoder() {
  return make_started<GzipDecoder>();
}

}  // namespace tnx
