// The argument vector turned into the settings of one run.
#include "program/command_line.hpp"

#include <charconv>
#include <cstring>
#include <string_view>

#include "program/compression.hpp"
#include "program/encoding_io.hpp"

namespace tnx {
namespace {

RunConfig usage_error(std::string problem) {
  RunConfig config;
  config.action = Action::usage_error;
  config.problem = std::move(problem);
  return config;
}

// A job count from 1 to MAX_JOBS, or 0 when `text` is none.
int parse_jobs(std::string_view text) {
  int jobs = 0;
  const auto [end, error] =
      std::from_chars(text.data(), text.data() + text.size(), jobs);
  const bool whole = error == std::errc() && end == text.data() + text.size();
  return whole && jobs >= 1 && jobs <= MAX_JOBS ? jobs : 0;
}

// The value of option `name` (short `letter`) at argv[i]: attached
// ("-j4", "--jobs=4") or the next argument, which `i` then moves past.
// Returns false when the argument is not this option.
bool option_value(int argc, const char* const* argv, int& i,
                  std::string_view name, char letter, std::string& value,
                  bool& missing) {
  const std::string_view arg = argv[i];
  const char short_form[] = {'-', letter};
  const std::string_view short_name(short_form, 2);
  std::string_view attached;
  if (arg == name || arg == short_name) {
    if (i + 1 >= argc) {
      missing = true;
      return true;
    }
    value = argv[++i];
    return true;
  }
  if (arg.size() > name.size() && arg.substr(0, name.size()) == name &&
      arg[name.size()] == '=') {
    attached = arg.substr(name.size() + 1);
  } else if (arg.size() > 2 && arg.substr(0, 2) == short_name) {
    attached = arg.substr(2);
  } else {
    return false;
  }
  value = attached;
  return true;
}

// The suffix of row files packed in the format named `name` ("gz", "zst"),
// or empty when this build does not write it.
std::string_view packing_suffix(std::string_view name) {
  for (const Compression format : {Compression::gzip, Compression::zstd}) {
    const std::string_view suffix = compression_suffix(format);
    if (name == suffix.substr(1) && can_encode(format)) return suffix;
  }
  return {};
}

// A batch's options may stand anywhere among the files, up to a "--" after
// which every argument is a file, as with most command-line tools.
RunConfig parse_batch(int argc, const char* const* argv) {
  RunConfig config;
  config.action = Action::batch;
  BatchConfig& batch = config.batch;
  std::size_t bytes = 0;
  for (int i = 2; i < argc; ++i) bytes += std::strlen(argv[i]) + 1;
  batch.files.reserve(static_cast<std::size_t>(argc), bytes);
  bool options_end = false;
  for (int i = 2; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (!options_end && arg == "--") {
      options_end = true;
      continue;
    }
    if (options_end || arg.size() < 2 || arg[0] != '-') {
      if (arg == "-") {
        return usage_error(
            "standard input (-) cannot be a file of a batch; a file named - "
            "is ./-");
      }
      batch.files.add(arg);
      continue;
    }
    std::string value;
    bool missing = false;
    if (arg == "-q" || arg == "--quiet") {
      batch.quiet = true;
    } else if (arg == "--report") {
      batch.report = true;
    } else if (option_value(argc, argv, i, "--jobs", 'j', value, missing)) {
      if (missing) {
        return usage_error("option " + std::string(arg) + " needs a number");
      }
      batch.jobs = parse_jobs(value);
      if (batch.jobs == 0) {
        return usage_error("the number of jobs must be from 1 to " +
                           std::to_string(MAX_JOBS) + ", not '" + value + "'");
      }
    } else if (option_value(argc, argv, i, "--output-dir", 'o', value,
                            missing)) {
      if (missing || value.empty()) {
        return usage_error("option " + std::string(arg) + " needs a folder");
      }
      batch.output_dir = value;
    } else if (option_value(argc, argv, i, "--compress", 'z', value, missing)) {
      batch.packing = packing_suffix(value);
      if (missing || batch.packing.empty()) {
        return usage_error("option " + std::string(arg) +
                           " needs a format: gz or zst");
      }
    } else {
      return usage_error("unknown option '" + std::string(arg) +
                         "' (a file whose name starts with - goes after --)");
    }
  }
  if (batch.files.empty()) return usage_error("no files to convert");
  return config;
}

}  // namespace

RunConfig parse_command_line(int argc, const char* const* argv) {
  RunConfig config;
  if (argc >= 2 && std::strcmp(argv[1], "--batch") == 0) {
    return parse_batch(argc, argv);
  }
  if (argc > 2) {
    config.input = argv[1];
    config.output = argv[2];
    // Only where no name can be: after the two names.
    for (int i = 3; i < argc; ++i) {
      if (std::strcmp(argv[i], "--report") == 0) config.report = true;
    }
    return config;
  }
  if (argc == 2) {
    const char* arg = argv[1];
    if (std::strcmp(arg, "--help") == 0 || std::strcmp(arg, "-h") == 0) {
      config.action = Action::help;
      return config;
    }
    if (std::strcmp(arg, "--version") == 0) {
      config.action = Action::version;
      return config;
    }
  }
  // Any other single argument is ignored, as it always was: scripts that
  // pass one name still convert the fallback files.
  config.show_usage = true;
  return config;
}

}  // namespace tnx
