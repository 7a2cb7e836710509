#include "per_file_settings.hpp"

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iterator>

#include "per_file_inputs.hpp"
#include "per_file_timing.hpp"

namespace per_file {
namespace {

namespace fs = std::filesystem;

int number_from(const char* text, const char* what) {
  char* end = nullptr;
  const long value = std::strtol(text, &end, 10);
  if (end == text || *end != '\0' || value < 1 || value > 1000000) {
    fail(std::string(what) + " must be a number from 1 to 1000000, not '" +
         text + "'");
  }
  return static_cast<int>(value);
}

// The smaller figures of BENCH_QUICK=1 or --quick.
void make_quick(Settings& settings) {
  settings.quick = true;
  settings.rounds = QUICK_ROUNDS;
  settings.max_lines = QUICK_MAX_LINES;
  settings.loop_files = QUICK_LOOP_FILES;
  settings.loop_rounds = QUICK_LOOP_ROUNDS;
  settings.batch_rounds = QUICK_BATCH_ROUNDS;
}

// The counts that both an environment variable and an option set.
struct NumberSetting {
  const char* variable;
  const char* option;
  int Settings::*field;
};
constexpr NumberSetting NUMBERS[] = {
    {"BENCH_FILE_ROUNDS", "--rounds", &Settings::rounds},
    {"BENCH_LOOP_FILES", "--loop-files", &Settings::loop_files},
    {"BENCH_LOOP_ROUNDS", "--loop-rounds", &Settings::loop_rounds},
    {"BENCH_BATCH_FILES", "--batch-files", &Settings::batch_files},
    {"BENCH_BATCH_ROUNDS", "--batch-rounds", &Settings::batch_rounds},
};

void read_environment(Settings& settings) {
  for (const NumberSetting& number : NUMBERS) {
    if (const char* v = std::getenv(number.variable)) {
      settings.*number.field = number_from(v, number.variable);
    }
  }
  if (const char* v = std::getenv("BENCH_BATCH")) {
    settings.batch = std::strcmp(v, "0") != 0;
  }
  if (const char* v = std::getenv("BENCH_REPLACE")) {
    settings.replace = std::strcmp(v, "0") != 0;
  }
  if (const char* v = std::getenv("BENCH_BEFORE")) settings.before = v;
}

// The options with a value, after --quick and --batch-only were taken.
void read_options(Settings& settings, int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    const std::string option = argv[i];
    if (option == "--quick" || option == "--batch-only" ||
        option == "--replace-only") {
      continue;
    }
    if (i + 1 == argc) fail("usage: see the top of bench/per_file.cpp");
    const char* value = argv[++i];
    const auto* number = std::find_if(
        std::begin(NUMBERS), std::end(NUMBERS),
        [&option](const NumberSetting& n) { return option == n.option; });
    if (number != std::end(NUMBERS)) {
      settings.*number->field = number_from(value, number->option);
    } else if (option == "--tarnovelix") {
      settings.tarnovelix = value;
    } else if (option == "--before") {
      settings.before = value;
    } else if (option == "--tools") {
      settings.tools = value;
    } else if (option == "--data") {
      settings.data = value;
    } else if (option == "--max-lines") {
      settings.max_lines = number_from(value, "--max-lines");
    } else {
      fail("unknown option " + option + "; see the top of bench/per_file.cpp");
    }
  }
}

// Every program the benchmark runs is there, and the two floors are
// statically linked.
void check_tools(const Settings& settings) {
  for (const std::string& tool :
       {settings.tarnovelix, settings.tools + "/datagen",
        settings.tools + "/baseline", settings.tools + "/floor_file",
        settings.tools + "/start_exit", std::string(SHELL)}) {
    if (::access(tool.c_str(), X_OK) != 0) {
      fail("missing " + tool + " (build the bench preset: make bench-tools)");
    }
  }
  if (!settings.before.empty() &&
      ::access(settings.before.c_str(), X_OK) != 0) {
    fail("missing " + settings.before + " (--before, BENCH_BEFORE)");
  }
  for (const char* tool : {"/floor_file", "/start_exit"}) {
    if (linkage(settings.tools + tool) != "statically linked") {
      fail(settings.tools + tool + " is not statically linked");
    }
  }
}

}  // namespace

Settings read_settings(int argc, char** argv) {
  Settings settings;
  const fs::path self = fs::canonical("/proc/self/exe");
  settings.tools = self.parent_path().string();
  settings.tarnovelix =
      (self.parent_path().parent_path() / "tarnovelix").string();

  const char* quick = std::getenv("BENCH_QUICK");
  bool is_quick = quick != nullptr && std::strcmp(quick, "1") == 0;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--quick") == 0) is_quick = true;
    if (std::strcmp(argv[i], "--batch-only") == 0) settings.batch_only = true;
    if (std::strcmp(argv[i], "--replace-only") == 0) {
      settings.replace_only = true;
    }
  }
  if (is_quick) make_quick(settings);
  read_environment(settings);
  read_options(settings, argc, argv);
  check_tools(settings);
  fs::create_directories(settings.data);
  return settings;
}

}  // namespace per_file
