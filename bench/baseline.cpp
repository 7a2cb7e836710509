// The straightforward converter the benchmark measures tarnovelix against:
// fgets into a 1000-byte buffer, sscanf with one directive per number, and
// one fprintf per row. It is built only for the benchmark and handles the
// benchmark's files (lines under 999 bytes) the way tarnovelix does.
//
//   baseline INPUT OUTPUT
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <utility>

namespace {

constexpr int COLUMNS = 100;
constexpr int LINE_SIZE = 1000;

// Expands to sscanf(text, format, &first..., &values[0], ..., &values[99]):
// the one call with a hundred directives that the design is built on.
template <typename T, std::size_t... I>
int scan_all(const char* text, const char* format, T* values,
             std::index_sequence<I...>) {
  return std::sscanf(text, format, &values[I]...);
}

template <typename T, std::size_t... I>
int scan_label_and_all(const char* text, const char* format, int* label,
                       T* values, std::index_sequence<I...>) {
  return std::sscanf(text, format, label, &values[I]...);
}

std::string repeated(const char* directive) {
  std::string format;
  for (int i = 0; i < COLUMNS; ++i) format += directive;
  return format;
}

struct Tables {
  double points[COLUMNS] = {};
  std::uint32_t events[COLUMNS] = {};
};

void handle_header_line(const char* line, Tables& tables) {
  if (line[0] == '#') return;
  const char* anchor = std::strchr(line, 's');
  if (anchor == nullptr) return;
  char keyword[12] = {};
  if (std::sscanf(line, "%11s", keyword) != 1) return;
  const char* tail = anchor + 1;
  std::printf("\n%s:%s", keyword, tail);
  if (std::strcmp(keyword, "points") == 0) {
    static const std::string format = repeated(" %lf");
    const int count = scan_all(tail, format.c_str(), tables.points,
                               std::make_index_sequence<COLUMNS>());
    std::printf("\n%d 'points' records found, %f %f  %f\n", count,
                tables.points[0], tables.points[1], tables.points[2]);
  }
  if (std::strcmp(keyword, "events") == 0) {
    static const std::string format = repeated(" %lu");
    unsigned long scanned[COLUMNS];
    const int count = scan_all(tail, format.c_str(), scanned,
                               std::make_index_sequence<COLUMNS>());
    for (int j = 0; j < count; ++j) {
      tables.events[j] = static_cast<std::uint32_t>(scanned[j]);
    }
    std::printf("\n%d 'events' records found, %u %u %u ...\n", count,
                tables.events[0], tables.events[1], tables.events[2]);
  }
}

void convert_data_line(const char* line, const Tables& tables, std::FILE* out) {
  static const std::string format = "%d" + repeated(" %lu");
  int label = 0;
  unsigned long scanned[COLUMNS];
  const int count = scan_label_and_all(line, format.c_str(), &label, scanned,
                                       std::make_index_sequence<COLUMNS>());
  std::uint32_t values[COLUMNS];
  for (int j = 0; j + 1 < count; ++j) {
    values[j] = static_cast<std::uint32_t>(scanned[j]);
  }
  for (int j = 0; j + 1 < count; ++j) {
    std::fprintf(out, "%4d %.3f %lu %lu\n", label, tables.points[j],
                 static_cast<unsigned long>(tables.events[j]),
                 static_cast<unsigned long>(values[j]));
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fputs("usage: baseline INPUT OUTPUT\n", stderr);
    return 2;
  }
  std::FILE* in = std::fopen(argv[1], "r");
  if (in == nullptr) {
    std::printf("\nCould not open input file: %s\n", argv[1]);
    return 1;
  }
  std::FILE* out = std::fopen(argv[2], "w");
  if (out == nullptr) {
    std::printf("\nCould not open output file: %s\n", argv[2]);
    return 1;
  }
  Tables tables;
  char line[LINE_SIZE];
  int header_lines = 0;
  while (std::fgets(line, sizeof line, in) != nullptr) {
    if (header_lines == 3) break;  // the fourth line is dropped unread
    ++header_lines;
    handle_header_line(line, tables);
  }
  while (std::fgets(line, sizeof line, in) != nullptr) {
    convert_data_line(line, tables, out);
  }
  std::fclose(in);
  return std::fclose(out) == 0 ? 0 : 1;
}
