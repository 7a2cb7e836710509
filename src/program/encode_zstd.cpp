// The zstd encoder for packed row files, over libzstd, level 1.
#include <zstd.h>

#include <thread>

#include "program/encoder.hpp"

namespace tnx {
namespace {

class ZstdEncoder final : public Encoder {
 public:
  ~ZstdEncoder() override { (void)ZSTD_freeCCtx(context_); }

  // Level 1, packed by the library's own worker threads, one per
  // processor, as `zstd -T0` does; a library built without them packs on
  // the caller's thread.
  bool start() {
    context_ = ZSTD_createCCtx();
    if (context_ == nullptr) return false;
    (void)ZSTD_CCtx_setParameter(context_, ZSTD_c_compressionLevel, 1);
    const unsigned int processors = std::thread::hardware_concurrency();
    (void)ZSTD_CCtx_setParameter(
        context_, ZSTD_c_nbWorkers,
        static_cast<int>(processors > 0 ? processors : 1));
    return true;
  }

  EncodeStep encode(const char* in, std::size_t in_size, char* out,
                    std::size_t out_size, bool last) override {
    ZSTD_inBuffer source{in, in_size, 0};
    ZSTD_outBuffer target{out, out_size, 0};
    const std::size_t ret = ZSTD_compressStream2(
        context_, &target, &source, last ? ZSTD_e_end : ZSTD_e_continue);
    const bool failed = ZSTD_isError(ret) != 0U;
    return {source.pos, target.pos, last && !failed && ret == 0, failed};
  }

 private:
  ZSTD_CCtx* context_ = nullptr;
};

}  // namespace

std::unique_ptr<Encoder> make_zstd_encoder() {
  return make_started<ZstdEncoder>();
}

}  // namespace tnx
