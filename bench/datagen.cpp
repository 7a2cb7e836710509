// Writes deterministic scan files for the benchmark to standard output.
//
//   datagen SHAPE [LINES] [SEED] [COLUMNS]
//
// SHAPE is one of
//   standard  100 columns, values up to 99999, labels partly negative
//   narrow    3 columns, otherwise as standard
//   wide      100 columns, values up to 4294967295 (lines over 1000 bytes)
//   messy     as standard, but tabs and runs of blanks between the numbers,
//             blanks at both ends of the lines, and CR LF line ends
// LINES is the number of data lines (default: 200000 for standard and messy,
// 4000000 for narrow, 100000 for wide). COLUMNS, from 1 to 100, replaces the
// shape's number of values per line (in the header lines too). The same
// arguments always give the same bytes.
//
// The text is formatted into a large buffer by hand and written in big
// blocks, so a 100 MB file takes well under a second; the generator must not
// be what the benchmark waits for.
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

namespace {

// splitmix64: tiny, fast, and the same sequence on every platform.
class Random {
 public:
  explicit Random(std::uint64_t seed) : state_(seed) {}

  std::uint64_t next() {
    std::uint64_t z = (state_ += 0x9E3779B97F4A7C15u);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9u;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBu;
    return z ^ (z >> 31);
  }

  // Uniform in [0, bound]; the modulo bias of a 64-bit draw over a bound
  // below 2^33 is far below anything a benchmark could notice.
  std::uint64_t up_to(std::uint64_t bound) { return next() % (bound + 1); }

 private:
  std::uint64_t state_;
};

struct Shape {
  std::string_view name;
  int columns;
  std::uint64_t max_value;
  bool messy;
  long default_lines;
};

// The most values a line may hold.
constexpr int MAX_COLUMNS = 100;

constexpr std::array<Shape, 4> SHAPES = {{
    {"standard", 100, 99999, false, 200000},
    {"narrow", 3, 99999, false, 4000000},
    {"wide", 100, 4294967295u, false, 100000},
    {"messy", 100, 99999, true, 200000},
}};

// Collects text and writes it to standard output in blocks of about 1 MiB.
class Output {
 public:
  Output() { buffer_.reserve(BLOCK + 4096); }
  ~Output() { flush(); }
  Output(const Output&) = delete;
  Output& operator=(const Output&) = delete;

  void text(std::string_view s) {
    buffer_.append(s);
    if (buffer_.size() >= BLOCK) flush();
  }

  void number(std::uint64_t value) {
    char digits[24];
    char* p = digits + sizeof digits;
    do {
      *--p = static_cast<char>('0' + value % 10);
      value /= 10;
    } while (value != 0);
    buffer_.append(p, static_cast<std::size_t>(digits + sizeof digits - p));
  }

  void signed_number(std::int64_t value) {
    if (value < 0) {
      buffer_ += '-';
      number(static_cast<std::uint64_t>(-value));
    } else {
      number(static_cast<std::uint64_t>(value));
    }
  }

  void flush() {
    if (!buffer_.empty() && std::fwrite(buffer_.data(), 1, buffer_.size(),
                                        stdout) != buffer_.size()) {
      std::perror("datagen: write");
      std::exit(1);
    }
    buffer_.clear();
  }

 private:
  static constexpr std::size_t BLOCK = std::size_t{1} << 20;
  std::string buffer_;
};

// White space between numbers: one blank mostly, as real files have, else
// tabs and runs of blanks.
std::string_view separator(Random& random, bool messy) {
  if (!messy) return " ";
  static constexpr std::array<std::string_view, 8> choices = {
      " ", "\t", "  ", " \t", "\t\t", "    ", " \t  ", "   "};
  return choices[random.up_to(choices.size() - 1)];
}

// One coordinate per column, spelled in the forms a points line may use:
// plain, signed, with a leading or trailing point, with an exponent.
void write_coordinate(Output& out, int column, Random& random) {
  // A whole number of ten-thousandths: never an exact tie at three decimals,
  // so every correct "%.3f" prints the same text.
  const auto units = static_cast<std::int64_t>(random.up_to(40000)) - 20000 +
                     static_cast<std::int64_t>(column) * 2500;
  const std::int64_t magnitude = units < 0 ? -units : units;
  const std::string sign = units < 0 ? "-" : (column % 5 == 1 ? "+" : "");
  char fraction[8];
  std::snprintf(fraction, sizeof fraction, "%04lld",
                static_cast<long long>(magnitude % 10000));
  const long long whole = static_cast<long long>(magnitude / 10000);
  char text[64];
  switch (column % 6) {
    case 0:
      std::snprintf(text, sizeof text, "%s%lld.%s", sign.c_str(), whole,
                    fraction);
      break;
    case 1:  // exponent form: digits without a point, scaled down
      std::snprintf(text, sizeof text, "%s%lldE-4", sign.c_str(),
                    static_cast<long long>(magnitude));
      break;
    case 2:  // trailing point
      std::snprintf(text, sizeof text, "%s%lld.", sign.c_str(), whole);
      break;
    case 3:  // leading point, when there is no whole part
      if (whole == 0) {
        std::snprintf(text, sizeof text, "%s.%s", sign.c_str(), fraction);
      } else {
        std::snprintf(text, sizeof text, "%s%lld.%se0", sign.c_str(), whole,
                      fraction);
      }
      break;
    case 4:  // mantissa with a point and a positive exponent
      std::snprintf(text, sizeof text, "%s%lld.%se+0", sign.c_str(), whole,
                    fraction);
      break;
    default:  // a short decimal
      std::snprintf(text, sizeof text, "%s%lld.%c", sign.c_str(), whole,
                    fraction[0]);
      break;
  }
  out.text(text);
}

int usage() {
  std::fputs(
      "usage: datagen standard|narrow|wide|messy [LINES] [SEED] [COLUMNS]\n",
      stderr);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2 || argc > 5) return usage();
  const Shape* shape = nullptr;
  for (const Shape& s : SHAPES) {
    if (s.name == argv[1]) shape = &s;
  }
  if (shape == nullptr) return usage();
  const long lines = argc > 2 ? std::atol(argv[2]) : shape->default_lines;
  const std::uint64_t seed = argc > 3 ? std::strtoull(argv[3], nullptr, 10) : 1;
  const int columns = argc > 4 ? std::atoi(argv[4]) : shape->columns;
  if (lines < 0 || columns < 1 || columns > MAX_COLUMNS) return usage();

  Random random(seed);
  Output out;
  const std::string_view line_end = shape->messy ? "\r\n" : "\n";
  const bool messy = shape->messy;

  out.text("# benchmark scan, shape ");
  out.text(shape->name);
  out.text(", seed ");
  out.number(seed);
  out.text(line_end);

  out.text("points");
  for (int j = 0; j < columns; ++j) {
    out.text(separator(random, messy));
    write_coordinate(out, j, random);
  }
  out.text(line_end);

  out.text("events");
  for (int j = 0; j < columns; ++j) {
    out.text(separator(random, messy));
    out.number(random.up_to(999999));
  }
  out.text(line_end);

  // The fourth line is dropped by the converter: column titles, as scan
  // files usually have.
  out.text("label");
  for (int j = 0; j < columns; ++j) {
    out.text(" ch");
    out.number(static_cast<std::uint64_t>(j));
  }
  out.text(line_end);

  for (long i = 0; i < lines; ++i) {
    if (messy && random.up_to(3) == 0) out.text(separator(random, messy));
    // Labels from -2000 to 29999: about one in sixteen is negative.
    out.signed_number(static_cast<std::int64_t>(random.up_to(31999)) - 2000);
    for (int j = 0; j < columns; ++j) {
      out.text(separator(random, messy));
      out.number(random.up_to(shape->max_value));
    }
    if (messy && random.up_to(3) == 0) out.text(separator(random, messy));
    out.text(line_end);
  }
  return 0;
}
