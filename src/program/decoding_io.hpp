// The input of a conversion as the text it holds: a FileIo that passes
// every call to another, but reads the input through the decoder of its
// packing. To the conversion a packed input is a stream: no size is known
// (a small packed file may hold a huge text) and no byte can be read again
// by offset, as for standard input.
//
// Sniffing a stream for a signature reads its first bytes; those are kept
// and given back by the first reads, so a plain stream reads as it was.
#pragma once

#include <cerrno>
#include <memory>
#include <string_view>

#include "engine/file_io.hpp"
#include "engine/passes.hpp"
#include "platform/forwarding_files.hpp"
#include "program/compression.hpp"
#include "program/decode_ahead.hpp"
#include "program/decoder.hpp"

namespace tnx {

// An errno value for input that is packed but damaged: its reason is the
// decoder's own text (DecodingIo::reason()).
inline constexpr int DAMAGED_INPUT = EIO;

class DecodingIo final : public ForwardingFileIo {
 public:
  explicit DecodingIo(FileIo& io) : ForwardingFileIo(io) {}
  DecodingIo(const DecodingIo&) = delete;
  DecodingIo& operator=(const DecodingIo&) = delete;
  ~DecodingIo() = default;

  // sniff()
  //
  // Looks at the first bytes of the input open at `fd`: by offset for one
  // that can be read again from its start (`from_start`, a regular file),
  // else by reading and keeping them. Sets up the decoder of the packing
  // found. A failed read fails the first read of the conversion instead.
  void sniff(int fd, bool from_start);

  // The packing found; none for text.
  [[nodiscard]] Compression format() const { return format_; }
  // Whether reads of the input go through this object: a packed input, or
  // a stream whose first bytes were read.
  [[nodiscard]] bool needed() const {
    return format_ != Compression::none || held_ > 0 || pending_error_ != 0;
  }
  // What a conversion reads of `raw`, the input sniffed: itself when
  // plain; when packed, the stream of its text, of unknown size and never
  // read again by offset.
  [[nodiscard]] ConversionInput text_of(const ConversionInput& raw) const {
    if (format_ == Compression::none) return raw;
    ConversionInput text = raw;
    text.id.kind = FileKind::other;
    text.id.size = 0;
    text.from_start = false;
    return text;
  }
  // The calls that read the input sniffed: through this object when
  // needed(), else `raw` itself.
  [[nodiscard]] FileIo& reader(FileIo& raw) {
    return needed() ? static_cast<FileIo&>(*this) : raw;
  }
  // Stops decoding ahead: before the input is closed.
  void stop() { ahead_.reset(); }

  // The decoder's words for the damage that failed a read with
  // DAMAGED_INPUT, or empty.
  [[nodiscard]] std::string_view reason() const { return reason_; }

  IoResult read(int fd, char* buffer, std::size_t size) override;
  IoResult read_at(int fd, char* buffer, std::size_t size,
                   std::uint64_t offset) override;

 private:
  // Packed bytes read from the input at a time.
  static constexpr std::size_t PACKED_BLOCK = std::size_t{128} << 10U;

  IoResult read_text(char* buffer, std::size_t size);
  IoResult decode(char* buffer, std::size_t size);
  IoResult fail(std::string_view reason, bool out_of_memory = false);
  IoResult refill();
  int start_decoder();

  int fd_ = -1;
  // The errno value of a failure while sniffing, for the first read.
  int pending_error_ = 0;
  Compression format_ = Compression::none;
  std::unique_ptr<Decoder> decoder_;
  // Packed bytes read and not yet decoded: [begin_, end_) of packed_.
  std::unique_ptr<char[]> packed_;
  std::size_t begin_ = 0;
  std::size_t end_ = 0;
  bool input_ended_ = false;
  // The first bytes of a plain stream, given back by the first reads.
  char first_[SIGNATURE_BYTES] = {};
  std::size_t held_ = 0;
  std::size_t given_ = 0;
  std::string_view reason_;
  // Decoding on a thread of its own, where the FileIo takes calls from
  // other threads; last, so that it stops before what it uses goes.
  bool ahead_tried_ = false;
  std::unique_ptr<DecodeAhead> ahead_;
};

}  // namespace tnx
