// Micro-benchmarks of the number scanners and the row formatting, each beside
// the C library routine it replaces. Every benchmark checks its result after
// the timed loop, so a fast but wrong routine reports an error, not a figure.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "engine/file_io.hpp"
#include "engine/header.hpp"
#include "engine/line_reader.hpp"
#include "engine/number_scan.hpp"
#include "engine/row_writer.hpp"
#include "engine/text_rows.hpp"
#include "row_sink.hpp"

namespace {

// A fixed sequence, so every run measures the same numbers.
class Random {
 public:
  std::uint64_t next() {
    state_ = state_ * 6364136223846793005u + 1442695040888963407u;
    return state_ >> 17;
  }

 private:
  std::uint64_t state_ = 42;
};

// `count` numbers of exactly `digits` digits, blank-separated, followed by
// the NUL and padding the line reader guarantees.
struct NumberText {
  std::string text;
  std::vector<std::uint32_t> values;
};

NumberText make_numbers(int digits, int count) {
  NumberText numbers;
  Random random;
  std::uint64_t low = 1;
  for (int i = 1; i < digits; ++i) low *= 10;
  const std::uint64_t span = digits == 10 ? 4294967295u - low + 1 : 9 * low;
  for (int i = 0; i < count; ++i) {
    const auto value = static_cast<std::uint32_t>(
        digits == 1 ? random.next() % 10 : low + random.next() % span);
    numbers.values.push_back(value);
    numbers.text += std::to_string(value);
    numbers.text += ' ';
  }
  numbers.text.append(tnx::LINE_PADDING + 1, '\0');
  return numbers;
}

void BM_scan_u32(benchmark::State& state) {
  const NumberText numbers =
      make_numbers(static_cast<int>(state.range(0)), 100);
  const char* last = numbers.text.data() + numbers.text.find('\0');
  std::uint64_t sum = 0;
  for (auto _ : state) {
    const char* p = numbers.text.data();
    std::uint32_t value = 0;
    for (tnx::ScanResult r = tnx::scan_u32(p, last, value);
         r.status == tnx::ScanStatus::ok; r = tnx::scan_u32(p, last, value)) {
      sum += value;
      p = r.end;
    }
    benchmark::DoNotOptimize(sum);
  }
  std::uint64_t expected = 0;
  for (std::uint32_t v : numbers.values) expected += v;
  if (sum != expected * static_cast<std::uint64_t>(state.iterations()))
    state.SkipWithError("wrong sum");
  state.SetItemsProcessed(state.iterations() * 100);
}
BENCHMARK(BM_scan_u32)->Arg(1)->Arg(5)->Arg(10);

void BM_strtoul(benchmark::State& state) {
  const NumberText numbers =
      make_numbers(static_cast<int>(state.range(0)), 100);
  std::uint64_t sum = 0;
  for (auto _ : state) {
    const char* p = numbers.text.data();
    for (int i = 0; i < 100; ++i) {
      char* end = nullptr;
      sum += static_cast<std::uint32_t>(std::strtoul(p, &end, 10));
      p = end;
    }
    benchmark::DoNotOptimize(sum);
  }
  std::uint64_t expected = 0;
  for (std::uint32_t v : numbers.values) expected += v;
  if (sum != expected * static_cast<std::uint64_t>(state.iterations()))
    state.SkipWithError("wrong sum");
  state.SetItemsProcessed(state.iterations() * 100);
}
BENCHMARK(BM_strtoul)->Arg(1)->Arg(5)->Arg(10);

// The reals of a points line, in the forms such lines use.
const std::string& real_text() {
  static const std::string text = [] {
    std::string t;
    const char* forms[] = {"12.5", "-0.375",  "1.25E-1",   ".5",
                           "7.",   "+3.0625", "1234.5678", "6.02e23"};
    for (int i = 0; i < 100; ++i) {
      t += forms[i % 8];
      t += ' ';
    }
    t.append(tnx::LINE_PADDING + 1, '\0');
    return t;
  }();
  return text;
}

void BM_scan_double(benchmark::State& state) {
  const std::string& text = real_text();
  const char* last = text.data() + text.find('\0');
  double line_sum = 0;
  for (auto _ : state) {
    const char* p = text.data();
    double value = 0;
    line_sum = 0;
    for (tnx::ScanResult r = tnx::scan_double(p, last, value);
         r.status == tnx::ScanStatus::ok;
         r = tnx::scan_double(p, last, value)) {
      line_sum += value;
      p = r.end;
    }
    benchmark::DoNotOptimize(line_sum);
  }
  // The same additions in the same order: the sums agree exactly.
  double expected = 0;
  const char* p = text.data();
  for (int i = 0; i < 100; ++i) {
    char* end = nullptr;
    expected += std::strtod(p, &end);
    p = end;
  }
  if (line_sum != expected) state.SkipWithError("wrong sum");
  state.SetItemsProcessed(state.iterations() * 100);
}
BENCHMARK(BM_scan_double);

void BM_strtod(benchmark::State& state) {
  const std::string& text = real_text();
  double sum = 0;
  for (auto _ : state) {
    const char* p = text.data();
    for (int i = 0; i < 100; ++i) {
      char* end = nullptr;
      sum += std::strtod(p, &end);
      p = end;
    }
    benchmark::DoNotOptimize(sum);
  }
  state.SetItemsProcessed(state.iterations() * 100);
}
BENCHMARK(BM_strtod);

void BM_append_u32(benchmark::State& state) {
  const NumberText numbers =
      make_numbers(static_cast<int>(state.range(0)), 100);
  char out[100 * (tnx::MAX_VALUE_TEXT + 1)];
  char* end = out;
  for (auto _ : state) {
    end = out;
    for (std::uint32_t v : numbers.values) {
      end = tnx::append_u32(end, v);
      *end++ = ' ';
    }
    benchmark::DoNotOptimize(out);
  }
  // The digits written must be the numbers' own text.
  if (std::string(out, end) != numbers.text.substr(0, numbers.text.find('\0')))
    state.SkipWithError("wrong digits");
  state.SetItemsProcessed(state.iterations() * 100);
}
BENCHMARK(BM_append_u32)->Arg(1)->Arg(5)->Arg(10);

void BM_snprintf_u32(benchmark::State& state) {
  const NumberText numbers =
      make_numbers(static_cast<int>(state.range(0)), 100);
  char out[100 * (tnx::MAX_VALUE_TEXT + 1) + 1];
  char* end = out;
  for (auto _ : state) {
    end = out;
    for (std::uint32_t v : numbers.values) {
      end += std::snprintf(end, tnx::MAX_VALUE_TEXT + 2, "%u ", v);
    }
    benchmark::DoNotOptimize(out);
  }
  if (std::string(out, end) != numbers.text.substr(0, numbers.text.find('\0')))
    state.SkipWithError("wrong digits");
  state.SetItemsProcessed(state.iterations() * 100);
}
BENCHMARK(BM_snprintf_u32)->Arg(1)->Arg(5)->Arg(10);

void BM_format_label_field(benchmark::State& state) {
  std::int32_t label = -2000;
  std::size_t bytes = 0;
  for (auto _ : state) {
    const tnx::LabelField field = tnx::format_label_field(label);
    bytes += field.size;
    benchmark::DoNotOptimize(field);
    label = label == 29999 ? -2000 : label + 1;
  }
  benchmark::DoNotOptimize(bytes);
  const tnx::LabelField check = tnx::format_label_field(-5);
  if (std::string(check.bytes.data(), check.size) != "  -5 ")
    state.SkipWithError("wrong label field");
}
BENCHMARK(BM_format_label_field);

// Discards every write but counts its bytes, so the data-pass benchmark
// measures formatting alone.
class CountingFileSystem final : public tnx::test::RowSink {
 public:
  tnx::IoResult write(int, const char*, std::size_t size) override {
    bytes += size;
    return {static_cast<std::int64_t>(size), 0};
  }

  std::uint64_t bytes = 0;
};

// One data line of the standard benchmark file: a label and 100 values of
// up to five digits (state.range(0) == 5) or of ten digits.
void BM_convert_data_line(benchmark::State& state) {
  const int digits = static_cast<int>(state.range(0));
  NumberText numbers = make_numbers(digits, 100);
  std::string text = "-123 " + numbers.text;
  tnx::Line line;
  line.text = text.data();
  line.size = text.find('\0');
  line.has_newline = true;

  tnx::ColumnTables tables;
  for (int j = 0; j < tnx::MAX_COLUMNS; ++j) {
    tables.points[static_cast<std::size_t>(j)] = 0.25 * j - 10;
    tables.events[static_cast<std::size_t>(j)] =
        static_cast<std::uint32_t>(1000 + 7 * j);
  }
  const tnx::ColumnTexts columns(tables);
  CountingFileSystem fs;
  std::uint64_t expected_bytes = 0;
  {
    tnx::RowWriter rows(fs, 3);
    tnx::convert_data_line(line, columns, rows);
    (void)rows.flush();
    expected_bytes = fs.bytes;
    fs.bytes = 0;
  }
  // The same rows through snprintf, to check the byte count is the format's.
  std::uint64_t format_bytes = 0;
  for (int j = 0; j < 100; ++j) {
    char row[128];
    format_bytes += static_cast<std::uint64_t>(
        std::snprintf(row, sizeof row, "%4d %.3f %u %u\n", -123,
                      tables.points[static_cast<std::size_t>(j)],
                      tables.events[static_cast<std::size_t>(j)],
                      numbers.values[static_cast<std::size_t>(j)]));
  }

  tnx::RowWriter rows(fs, 3);
  for (auto _ : state) {
    tnx::convert_data_line(line, columns, rows);
  }
  (void)rows.flush();
  if (expected_bytes != format_bytes ||
      fs.bytes !=
          expected_bytes * static_cast<std::uint64_t>(state.iterations())) {
    state.SkipWithError("wrong row bytes");
  }
  state.SetItemsProcessed(state.iterations() * 100);
  state.SetBytesProcessed(static_cast<std::int64_t>(fs.bytes));
}
BENCHMARK(BM_convert_data_line)->Arg(5)->Arg(10);

}  // namespace

BENCHMARK_MAIN();
