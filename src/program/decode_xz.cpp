// The xz decoder, over liblzma, its memory bounded.
#include <lzma.h>

#include "program/decoder.hpp"

namespace tnx {
namespace {

// The most memory the decoder may take: what xz's highest preset needs to
// decode (about 65 MiB) and some room. A file that needs more is refused
// rather than let a batch's jobs outgrow their bound.
constexpr std::uint64_t XZ_MEMORY_LIMIT = std::uint64_t{128} << 20U;

// The library has no text for its codes; these follow what its header
// says of each.
const char* xz_error_text(lzma_ret code) {
  switch (code) {
    case LZMA_MEM_ERROR: return "out of memory";
    case LZMA_MEMLIMIT_ERROR: return "memory usage limit reached";
    case LZMA_FORMAT_ERROR: return "file format not recognized";
    case LZMA_OPTIONS_ERROR: return "unsupported compression options";
    case LZMA_DATA_ERROR: return "compressed data is corrupt";
    case LZMA_BUF_ERROR: return "unexpected end of compressed data";
    default: return "compressed data cannot be decoded";
  }
}

class XzDecoder final : public Decoder {
 public:
  ~XzDecoder() override { lzma_end(&stream_); }

  // LZMA_CONCATENATED: streams one after the other decode as one text.
  bool start() {
    return lzma_stream_decoder(&stream_, XZ_MEMORY_LIMIT, LZMA_CONCATENATED) ==
           LZMA_OK;
  }

  DecodeStep decode(const char* in, std::size_t in_size, char* out,
                    std::size_t out_size, bool last) override {
    stream_.next_in = reinterpret_cast<const std::uint8_t*>(in);
    stream_.avail_in = in_size;
    stream_.next_out = reinterpret_cast<std::uint8_t*>(out);
    stream_.avail_out = out_size;
    const lzma_ret ret = lzma_code(&stream_, last ? LZMA_FINISH : LZMA_RUN);
    DecodeStep step{in_size - stream_.avail_in, out_size - stream_.avail_out,
                    nullptr, false};
    if (ret == LZMA_STREAM_END) {
      ended_ = true;
    } else if (ret != LZMA_OK && !(ret == LZMA_BUF_ERROR && !last)) {
      step.error = xz_error_text(ret);
      step.out_of_memory = ret == LZMA_MEM_ERROR;
    }
    return step;
  }

  [[nodiscard]] bool at_end() const override { return ended_; }

 private:
  lzma_stream stream_ = LZMA_STREAM_INIT;
  bool ended_ = false;
};

}  // namespace

std::unique_ptr<Decoder> make_xz_decoder() { return make_started<XzDecoder>(); }

}  // namespace tnx
