// The stream of a compression library that counts its buffers in unsigned
// ints (zlib's z_stream, libbz2's bz_stream): ended by the library's own
// call once started, and handed each call's buffers a piece at a time.
#pragma once

#include <algorithm>
#include <climits>
#include <cstddef>

namespace tnx {

inline unsigned int clamp_size(std::size_t size) {
  return static_cast<unsigned int>(std::min<std::size_t>(size, UINT_MAX));
}

// `End` is the library's call that frees what a started stream holds.
template <class Stream, auto End>
class CodecStream {
 public:
  CodecStream() = default;
  CodecStream(const CodecStream&) = delete;
  CodecStream& operator=(const CodecStream&) = delete;
  ~CodecStream() { end(); }

  // Ends the stream if it was started, clears it and starts it again with
  // `init`, which takes the stream and says whether the library started it.
  template <class Init>
  bool start(Init init) {
    end();
    stream_ = Stream{};
    started_ = init(stream_);
    return started_;
  }

  // Points the stream at a call's buffers, at most UINT_MAX bytes of each;
  // after the library's call, consumed() and produced() say what it did.
  void point(const char* in, std::size_t in_size, char* out,
             std::size_t out_size) {
    using InBytes = decltype(stream_.next_in);
    using OutBytes = decltype(stream_.next_out);
    // The libraries take pointers to non-const bytes; they never write
    // their input.
    stream_.next_in =
        reinterpret_cast<InBytes>(const_cast<char*>(in));  // NOLINT
    stream_.avail_in = in_before_ = clamp_size(in_size);
    stream_.next_out = reinterpret_cast<OutBytes>(out);  // NOLINT
    stream_.avail_out = out_before_ = clamp_size(out_size);
  }
  [[nodiscard]] std::size_t consumed() const {
    return in_before_ - stream_.avail_in;
  }
  [[nodiscard]] std::size_t produced() const {
    return out_before_ - stream_.avail_out;
  }

  Stream* get() { return &stream_; }

 private:
  void end() {
    if (started_) (void)End(&stream_);
    started_ = false;
  }

  Stream stream_{};
  unsigned int in_before_ = 0;
  unsigned int out_before_ = 0;
  bool started_ = false;
};

}  // namespace tnx
