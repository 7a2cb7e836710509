// The bzip2 decoder, over libbz2.
#include <bzlib.h>

#include "program/codec_sizes.hpp"
#include "program/decoder.hpp"

namespace tnx {
namespace {

// The library has no text for its codes; these follow what its manual
// says of each.
const char* bzip2_error_text(int code) {
  switch (code) {
    case BZ_DATA_ERROR: return "data integrity error in compressed data";
    case BZ_DATA_ERROR_MAGIC: return "compressed data has a bad magic number";
    case BZ_MEM_ERROR: return "out of memory";
    default: return "compressed data cannot be decoded";
  }
}

class Bzip2Decoder final : public Decoder {
 public:
  Bzip2Decoder() = default;
  Bzip2Decoder(const Bzip2Decoder&) = delete;
  Bzip2Decoder& operator=(const Bzip2Decoder&) = delete;
  ~Bzip2Decoder() override {
    if (ready_) (void)BZ2_bzDecompressEnd(&stream_);
  }

  bool start() {
    stream_ = bz_stream{};
    ready_ = BZ2_bzDecompressInit(&stream_, 0, 0) == BZ_OK;
    return ready_;
  }

  DecodeStep decode(const char* in, std::size_t in_size, char* out,
                    std::size_t out_size, bool /*last*/) override {
    if (stream_ended_) {
      if (in_size == 0) return {};
      // Bytes after a stream's end start the next stream.
      (void)BZ2_bzDecompressEnd(&stream_);
      ready_ = false;
      if (!start()) return {0, 0, "out of memory", true};
      stream_ended_ = false;
    }
    // The library takes pointers to non-const bytes; it never writes its
    // input.
    stream_.next_in = const_cast<char*>(in);  // NOLINT
    stream_.avail_in = clamp_size(in_size);
    stream_.next_out = out;
    stream_.avail_out = clamp_size(out_size);
    const unsigned int in_before = stream_.avail_in;
    const unsigned int out_before = stream_.avail_out;
    const int ret =
        in_size == 0 && out_size == 0 ? BZ_OK : BZ2_bzDecompress(&stream_);
    DecodeStep step{in_before - stream_.avail_in,
                    out_before - stream_.avail_out, nullptr, false};
    if (ret == BZ_STREAM_END) {
      stream_ended_ = true;
    } else if (ret != BZ_OK) {
      step.error = bzip2_error_text(ret);
      step.out_of_memory = ret == BZ_MEM_ERROR;
    }
    return step;
  }

  [[nodiscard]] bool at_end() const override { return stream_ended_; }

 private:
  bz_stream stream_{};
  bool ready_ = false;
  bool stream_ended_ = false;
};

}  // namespace

std::unique_ptr<Decoder> make_bzip2_decoder() {
  return make_started<Bzip2Decoder>();
}

}  // namespace tnx
