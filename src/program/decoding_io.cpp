// Reading a packed input as the text it holds.
#include "program/decoding_io.hpp"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>

namespace tnx {

std::unique_ptr<Decoder> make_decoder(Compression format, bool& out_of_memory) {
  std::unique_ptr<Decoder> decoder;
  if (!can_decode(format)) return decoder;
  switch (format) {
    case Compression::gzip: decoder = make_gzip_decoder(); break;
#ifdef TNX_WITH_BZIP2
    case Compression::bzip2: decoder = make_bzip2_decoder(); break;
#endif
#ifdef TNX_WITH_XZ
    case Compression::xz: decoder = make_xz_decoder(); break;
#endif
#ifdef TNX_WITH_ZSTD
    case Compression::zstd: decoder = make_zstd_decoder(); break;
#endif
    default: return decoder;
  }
  out_of_memory = decoder == nullptr;
  return decoder;
}

namespace {

// Reads up to SIGNATURE_BYTES from a stream, stopping as soon as the bytes
// read can start no signature: a terminal's first short line is not held
// back waiting for more.
IoResult read_first_bytes(FileIo& io, int fd, char* first) {
  std::size_t held = 0;
  while (held < SIGNATURE_BYTES &&
         (held == 0 || may_be_compressed(first, held))) {
    const IoResult r = read_some(io, fd, first + held, SIGNATURE_BYTES - held);
    if (!r.ok()) return r;
    if (r.value == 0) break;
    held += static_cast<std::size_t>(r.value);
  }
  return {static_cast<std::int64_t>(held), 0};
}

// The same by offset, from the start of a regular file: what the
// conversion then reads is left where it was.
IoResult read_first_bytes_at(FileIo& io, int fd, char* first) {
  std::size_t held = 0;
  while (held < SIGNATURE_BYTES) {
    const IoResult r =
        io.read_at(fd, first + held, SIGNATURE_BYTES - held, held);
    if (!r.ok() && r.error == EINTR) continue;
    if (!r.ok()) return r;
    if (r.value == 0) break;
    held += static_cast<std::size_t>(r.value);
  }
  return {static_cast<std::int64_t>(held), 0};
}

}  // namespace

void DecodingIo::sniff(int fd, bool from_start) {
  fd_ = fd;
  char first[SIGNATURE_BYTES] = {};
  std::size_t size = 0;
  if (from_start) {
    const IoResult r = read_first_bytes_at(inner(), fd_, first);
    if (!r.ok()) {
      pending_error_ = r.error;
      return;
    }
    size = static_cast<std::size_t>(r.value);
  } else {
    const IoResult r = read_first_bytes(inner(), fd_, first_);
    if (!r.ok()) {
      pending_error_ = r.error;
      return;
    }
    held_ = static_cast<std::size_t>(r.value);
    std::memcpy(first, first_, held_);
    size = held_;
  }
  format_ = compression_of_content(first, size);
  if (format_ != Compression::none) pending_error_ = start_decoder();
}

int DecodingIo::start_decoder() {
  packed_.reset(new (std::nothrow) char[PACKED_BLOCK]);
  if (packed_ == nullptr) return ENOMEM;
  // The bytes read to look are the decoder's first input.
  std::memcpy(packed_.get(), first_, held_);
  end_ = held_;
  held_ = 0;
  bool out_of_memory = false;
  decoder_ = make_decoder(format_, out_of_memory);
  return out_of_memory ? ENOMEM : 0;
}

IoResult DecodingIo::read(int fd, char* buffer, std::size_t size) {
  if (fd != fd_) return inner().read(fd, buffer, size);
  if (pending_error_ != 0) {
    const int error = pending_error_;
    pending_error_ = 0;
    return {0, error};
  }
  if (format_ != Compression::none) return read_text(buffer, size);
  if (given_ < held_) {
    const std::size_t n = std::min(size, held_ - given_);
    std::memcpy(buffer, first_ + given_, n);
    given_ += n;
    return {static_cast<std::int64_t>(n), 0};
  }
  return inner().read(fd, buffer, size);
}

IoResult DecodingIo::read_text(char* buffer, std::size_t size) {
  if (!ahead_tried_) {
    ahead_tried_ = true;
    if (inner().takes_writes_from_other_threads()) {
      ahead_.reset(new (std::nothrow) DecodeAhead(
          [this](char* text, std::size_t most) { return decode(text, most); }));
      if (ahead_ != nullptr && !ahead_->ok()) ahead_.reset();
    }
  }
  if (ahead_ != nullptr) return ahead_->read(buffer, size);
  return decode(buffer, size);
}

IoResult DecodingIo::read_at(int fd, char* buffer, std::size_t size,
                             std::uint64_t offset) {
  // The conversion reads a stream again from memory only; a packed input
  // has no offsets of its text.
  if (fd == fd_ && needed()) return {0, ESPIPE};
  return inner().read_at(fd, buffer, size, offset);
}

IoResult DecodingIo::fail(std::string_view reason, bool out_of_memory) {
  reason_ = out_of_memory ? std::string_view() : reason;
  return {0, out_of_memory ? ENOMEM : DAMAGED_INPUT};
}

IoResult DecodingIo::refill() {
  if (begin_ > 0) {
    std::memmove(packed_.get(), packed_.get() + begin_, end_ - begin_);
    end_ -= begin_;
    begin_ = 0;
  }
  const IoResult r =
      inner().read(fd_, packed_.get() + end_, PACKED_BLOCK - end_);
  if (r.ok()) {
    if (r.value == 0) input_ended_ = true;
    end_ += static_cast<std::size_t>(r.value);
  }
  return r;
}

IoResult DecodingIo::decode(char* buffer, std::size_t size) {
  if (!reason_.empty()) return {0, DAMAGED_INPUT};
  if (decoder_ == nullptr) {
    return fail(can_decode(format_) ? "out of memory"
                                    : "compressed in a format this build "
                                      "cannot read",
                can_decode(format_));
  }
  while (true) {
    if (begin_ == end_ && !input_ended_) {
      const IoResult r = refill();
      if (!r.ok()) return r;
    }
    const DecodeStep step = decoder_->decode(
        packed_.get() + begin_, end_ - begin_, buffer, size, input_ended_);
    if (step.error != nullptr) return fail(step.error, step.out_of_memory);
    begin_ += step.consumed;
    if (step.produced > 0) return {static_cast<std::int64_t>(step.produced), 0};
    if (input_ended_ && begin_ == end_) {
      return decoder_->at_end() ? IoResult{0, 0} : fail(TRUNCATED);
    }
    if (step.consumed == 0 && begin_ < end_) {
      // The decoder needs more than the bytes held: read more after them.
      if (input_ended_ || end_ - begin_ == PACKED_BLOCK) {
        return fail("compressed data cannot be decoded");
      }
      const IoResult r = refill();
      if (!r.ok()) return r;
    }
  }
}

}  // namespace tnx
