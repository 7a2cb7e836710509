// Writing a row file packed, and ending its packed stream.
#include "program/encoding_io.hpp"

#include <cerrno>
#include <new>

#include "program/encoder.hpp"

namespace tnx {
namespace {

// Packed bytes written to the row file at a time.
constexpr std::size_t PACKED_BLOCK = std::size_t{256} << 10U;

}  // namespace

bool can_encode(Compression format) {
  if (format == Compression::gzip) return true;
#ifdef TNX_WITH_ZSTD
  if (format == Compression::zstd) return true;
#endif
  return false;
}

EncodingIo::EncodingIo(FileIo& io, int fd, Compression format)
    : ForwardingFileIo(io), fd_(fd) {
  if (format == Compression::gzip) encoder_ = make_gzip_encoder();
#ifdef TNX_WITH_ZSTD
  if (format == Compression::zstd) encoder_ = make_zstd_encoder();
#endif
  packed_.reset(new (std::nothrow) char[PACKED_BLOCK]);
  if (encoder_ == nullptr || packed_ == nullptr) error_ = ENOMEM;
}

EncodingIo::~EncodingIo() = default;

IoResult EncodingIo::write(int fd, const char* data, std::size_t size) {
  if (fd != fd_) return inner().write(fd, data, size);
  return pack(data, size, false);
}

int EncodingIo::finish() { return pack(nullptr, 0, true).error; }

// Packs all `size` bytes (a write of the row file takes them all, or
// fails), writing each block of packed bytes as it fills.
IoResult EncodingIo::pack(const char* data, std::size_t size, bool last) {
  if (error_ != 0) return {0, error_};
  std::size_t taken = 0;
  while (true) {
    const EncodeStep step = encoder_->encode(data + taken, size - taken,
                                             packed_.get(), PACKED_BLOCK, last);
    if (step.failed) return {0, error_ = ENOMEM};
    taken += step.consumed;
    if (step.produced > 0) {
      const IoResult w = write_all(inner(), fd_, packed_.get(), step.produced);
      if (!w.ok()) return {0, error_ = w.error};
    }
    if (last ? step.done : taken == size && step.produced < PACKED_BLOCK) {
      return {static_cast<std::int64_t>(size), 0};
    }
  }
}

}  // namespace tnx
