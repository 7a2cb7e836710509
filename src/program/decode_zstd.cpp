// The zstd decoder (every frame of the file), over libzstd.
#include <zstd.h>
#include <zstd_errors.h>

#include "program/decoder.hpp"

namespace tnx {
namespace {

class ZstdDecoder final : public Decoder {
 public:
  ~ZstdDecoder() override { (void)ZSTD_freeDCtx(context_); }

  // The library's default bound of a frame's window (128 MiB) holds: a
  // file that needs more is refused, and a job's memory stays bounded.
  bool start() {
    context_ = ZSTD_createDCtx();
    return context_ != nullptr;
  }

  // Frames one after the other decode as one text.
  DecodeStep decode(const char* in, std::size_t in_size, char* out,
                    std::size_t out_size, bool /*last*/) override {
    ZSTD_inBuffer source{in, in_size, 0};
    ZSTD_outBuffer target{out, out_size, 0};
    const std::size_t ret = ZSTD_decompressStream(context_, &target, &source);
    DecodeStep step{source.pos, target.pos, nullptr, false};
    if (ZSTD_isError(ret) != 0U) {
      step.error = ZSTD_getErrorName(ret);
      step.out_of_memory =
          ZSTD_getErrorCode(ret) == ZSTD_error_memory_allocation;
    } else if (source.pos > 0 || target.pos > 0) {
      // 0: a frame is done, and all its text given.
      ended_ = ret == 0;
    }
    return step;
  }

  [[nodiscard]] bool at_end() const override { return ended_; }

 private:
  ZSTD_DCtx* context_ = nullptr;
  bool ended_ = false;
};

}  // namespace

std::unique_ptr<Decoder> make_zstd_decoder() {
  return make_started<ZstdDecoder>();
}

}  // namespace tnx
