// tnx_reference: the reference model of the conversion as a program, to
// write the expectations of an end-to-end case and to check the plain cases
// against the model (the e2e test goldens_match_reference runs the check).
#include <algorithm>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "reference.hpp"

namespace {

namespace fs = std::filesystem;

constexpr const char* USAGE =
    "usage: tnx_reference INPUT STDOUT ROWS\n"
    "         write the console text and the row file of converting INPUT\n"
    "       tnx_reference --check CASES_DIR\n"
    "         compare every plain conversion case (args \"input output\",\n"
    "         exit status 0) with what the reference computes\n";

std::string read_bytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path.string());
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void write_bytes(const fs::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  out.close();
  if (!out) throw std::runtime_error("cannot write " + path.string());
}

std::optional<std::string> read_if_present(const fs::path& path) {
  if (!fs::exists(path)) return std::nullopt;
  return read_bytes(path);
}

// The non-empty lines of an args file.
std::vector<std::string> split_args(const std::string& text) {
  std::vector<std::string> args;
  std::size_t start = 0;
  while (start <= text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    if (end > start) args.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return args;
}

// A plain case converts its one input into its one output and succeeds:
// two arguments, the first naming a file of the case, and no file beyond
// those and the two expectations (no expected.exit, setup.cmake, stdin or
// posix_only). Returns the input's path, or nothing for any other case.
std::optional<fs::path> plain_case_input(const fs::path& dir) {
  const fs::path args_path = dir / "args";
  if (!fs::is_regular_file(args_path)) return std::nullopt;
  const std::vector<std::string> args = split_args(read_bytes(args_path));
  std::set<std::string> extras;
  for (const fs::directory_entry& entry : fs::directory_iterator(dir)) {
    extras.insert(entry.path().filename().string());
  }
  extras.erase("args");
  extras.erase("expected.stdout");
  extras.erase("expected.rows");
  if (!args.empty()) extras.erase(args[0]);
  if (args.size() != 2 || !extras.empty()) return std::nullopt;
  if (!fs::is_regular_file(dir / args[0])) return std::nullopt;
  return dir / args[0];
}

int check(const fs::path& cases_dir) {
  std::vector<fs::path> cases;
  for (const fs::directory_entry& entry : fs::directory_iterator(cases_dir)) {
    cases.push_back(entry.path());
  }
  std::sort(cases.begin(), cases.end());
  int checked = 0;
  int failures = 0;
  for (const fs::path& dir : cases) {
    const std::optional<fs::path> input = plain_case_input(dir);
    if (!input) continue;
    const tnx::test::Conversion got =
        tnx::test::reference_convert(read_bytes(*input));
    ++checked;
    const struct {
      const char* what;
      const std::string& bytes;
      const char* golden;
    } parts[] = {{"stdout", got.console, "expected.stdout"},
                 {"rows", got.rows, "expected.rows"}};
    for (const auto& part : parts) {
      if (read_if_present(dir / part.golden) != part.bytes) {
        ++failures;
        std::printf("%s: %s differs from the reference\n",
                    dir.filename().string().c_str(), part.what);
      }
    }
  }
  std::printf("%d cases checked, %d differences\n", checked, failures);
  return failures == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (args.size() == 2 && args[0] == "--check") return check(args[1]);
    if (args.size() != 3) {
      std::fputs(USAGE, stdout);
      return 2;
    }
    const tnx::test::Conversion conversion =
        tnx::test::reference_convert(read_bytes(args[0]));
    write_bytes(args[1], conversion.console);
    write_bytes(args[2], conversion.rows);
    return 0;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "tnx_reference: %s\n", e.what());
    return 1;
  }
}
