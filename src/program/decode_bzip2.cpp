// The bzip2 decoder, over libbz2.
#include <bzlib.h>

#include "program/codec_stream.hpp"
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
  bool start() {
    return stream_.start(
        [](bz_stream& s) { return BZ2_bzDecompressInit(&s, 0, 0) == BZ_OK; });
  }

  DecodeStep decode(const char* in, std::size_t in_size, char* out,
                    std::size_t out_size, bool /*last*/) override {
    if (stream_ended_) {
      if (in_size == 0) return {};
      // Bytes after a stream's end start the next stream.
      if (!start()) return {0, 0, "out of memory", true};
      stream_ended_ = false;
    }
    stream_.point(in, in_size, out, out_size);
    const int ret =
        in_size == 0 && out_size == 0 ? BZ_OK : BZ2_bzDecompress(stream_.get());
    DecodeStep step{stream_.consumed(), stream_.produced(), nullptr, false};
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
  CodecStream<bz_stream, BZ2_bzDecompressEnd> stream_;
  bool stream_ended_ = false;
};

}  // namespace

std::unique_ptr<Decoder> make_bzip2_decoder() {
  return make_started<Bzip2Decoder>();
}

}  // namespace tnx
