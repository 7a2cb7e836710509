#include "run.hpp"

#include <string>

#include "header.hpp"
#include "line_reader.hpp"
#include "record.hpp"
#include "row_writer.hpp"

#ifndef TNX_VERSION
#define TNX_VERSION "0.0.0"
#endif

namespace tnx {
namespace {

constexpr const char* USAGE_LINE = "\nsyntax: tarnovelix fname_in fname_out\n";

constexpr const char* VERSION_TEXT =
    "tarnovelix " TNX_VERSION "\n"
    "Copyright (c) 2026 The tarnovelix authors; released under the MIT "
    "licence.\n";

constexpr const char* HELP_TEXT =
    "\n"
    "Converts a file of numeric records into a row file: one row per value,\n"
    "\"label coordinate events value\". The first three lines are the header\n"
    "(\"points\" and \"events\" lines give each column's coordinate and "
    "events\n"
    "number), the fourth is skipped, and every later line is a label followed\n"
    "by up to 100 values. Without both names, test.dat is converted into\n"
    "test.ntp.\n"
    "\n"
    "  -h, --help     show this text\n"
    "      --version  show the version\n"
    "\n"
    "Exit status: 0 on success, 1 when a file cannot be opened, read or "
    "written.\n";

// Console text collected and written to standard output in one go. Its
// failures are not the run's: the row file is what the run is for.
class Console {
 public:
  explicit Console(FileSystem& fs) : fs_(fs) {}
  Console(const Console&) = delete;
  Console& operator=(const Console&) = delete;
  ~Console() { flush(); }

  std::string& text() { return text_; }

  void print(const char* message) { text_ += message; }

  void print(const char* prefix, const char* name, const char* suffix = "\n") {
    text_ += prefix;
    text_ += name;
    text_ += suffix;
  }

  void flush() {
    if (!text_.empty())
      (void)write_all(fs_, STDOUT_FD, text_.data(), text_.size());
    text_.clear();
  }

 private:
  FileSystem& fs_;
  std::string text_;
};

struct OpenFiles {
  int input = -1;
  int output = -1;
};

RunStatus open_input(const RunConfig& config, FileSystem& fs, Console& console,
                     OpenFiles& files, FileId& input_id) {
  const IoResult in = fs.open_input(config.input);
  if (in.ok()) {
    files.input = static_cast<int>(in.value);
    // A directory opens for reading on POSIX systems, but holds no lines.
    if (fs.identify(files.input, input_id).ok() &&
        input_id.kind != FileKind::directory) {
      return RunStatus::ok;
    }
    (void)fs.close(files.input);
    files.input = -1;
  }
  console.print("\nCould not open input file: ", config.input);
  return RunStatus::input_not_opened;
}

// Opens the output without truncating it, so a name that leads back to the
// input (./name, a link) is caught before a single byte of it is lost.
RunStatus open_output(const RunConfig& config, FileSystem& fs, Console& console,
                      OpenFiles& files, const FileId& input_id,
                      FileId& output_id) {
  const IoResult out = fs.open_output(config.output);
  if (!out.ok()) {
    console.print("\nCould not open output file: ", config.output);
    return RunStatus::output_not_opened;
  }
  files.output = static_cast<int>(out.value);
  bool usable = fs.identify(files.output, output_id).ok();
  if (usable && output_id.device == input_id.device &&
      output_id.inode == input_id.inode) {
    console.print("\nCould not open output file: ", config.output,
                  " (same file as the input)\n");
    return RunStatus::output_not_opened;
  }
  // Devices and pipes have nothing to truncate, and neither has an empty
  // file. Truncating a file that is already empty is not free: ext4 then
  // flushes the whole file on close, a third of a large run's time.
  if (usable && output_id.kind == FileKind::regular && output_id.size > 0) {
    usable = fs.truncate(files.output).ok();
  }
  if (!usable) {
    console.print("\nCould not open output file: ", config.output);
    return RunStatus::output_not_opened;
  }
  return RunStatus::ok;
}

// The first HEADER_LINES lines go to the header pass whatever they hold; the
// line after them is dropped. Returns false when the input failed.
bool run_header_pass(LineReader& reader, ColumnTables& tables,
                     Console& console) {
  Line line;
  for (int count = 0; count <= HEADER_LINES; ++count) {
    const ReadStatus status = reader.next(line);
    if (status != ReadStatus::line) return status == ReadStatus::end;
    if (count < HEADER_LINES) handle_header_line(line, tables, console.text());
  }
  return true;
}

// An upper bound of the row file's size: each value takes at least a digit
// and a blank of the input, and its row copies its digits and adds the
// label field, the column text and the row end. Sizes the row buffer, so a
// small file does not take the memory of a large one.
std::uint64_t row_bytes_bound(std::uint64_t input_bytes,
                              const ColumnTexts& columns) {
  const std::uint64_t values = input_bytes / 2 + 1;
  const std::uint64_t per_row = columns.max_row_bytes() - MAX_VALUE_TEXT;
  return values * per_row + input_bytes;
}

RunStatus convert(const RunConfig& config, FileSystem& fs, Console& console,
                  OpenFiles& files, std::size_t block_size) {
  FileId input_id;
  RunStatus status = open_input(config, fs, console, files, input_id);
  if (status != RunStatus::ok) return status;
  FileId output_id;
  status = open_output(config, fs, console, files, input_id, output_id);
  if (status != RunStatus::ok) return status;

  // A regular input is read in one block when it fits one.
  const bool sized = input_id.kind == FileKind::regular;
  if (sized && input_id.size < block_size) {
    block_size = static_cast<std::size_t>(input_id.size) + 1;
  }
  LineReader reader(fs, files.input, block_size);
  ColumnTables tables;
  bool read_ok = run_header_pass(reader, tables, console);
  console.flush();

  const ColumnTexts columns(tables);
  // Rows bound for a regular file are written by a thread of their own once
  // they outgrow one buffer: the writes into the page cache cost about as
  // much as the formatting. Writes to devices such as /dev/null cost next
  // to nothing, and there a second thread only gets in the way. Only the
  // system's calls may come from two threads at once; a FileSystem put in
  // its place (tests) gets every call from this thread, in order.
  const Writing writing =
      &fs == &system_file_system() && output_id.kind == FileKind::regular
          ? Writing::in_background
          : Writing::in_this_thread;
  RowWriter rows(fs, files.output, OUTPUT_BUFFER_SIZE, writing,
                 sized ? row_bytes_bound(input_id.size, columns)
                       : UNKNOWN_SIZE);
  if (read_ok) {
    Line line;
    ReadStatus next = ReadStatus::line;
    while (!rows.failed() && (next = reader.next(line)) == ReadStatus::line) {
      convert_data_line(line, columns, rows);
    }
    read_ok = next != ReadStatus::error;
  }
  (void)fs.close(files.input);
  files.input = -1;
  // Rows converted before a read error are kept, like all others.
  bool write_ok = rows.flush();
  write_ok = fs.close(files.output).ok() && write_ok;
  files.output = -1;
  if (!write_ok) {
    console.print("\nCould not write output file: ", config.output);
    return RunStatus::write_failed;
  }
  if (!read_ok) {
    console.print("\nCould not read input file: ", config.input);
    return RunStatus::read_failed;
  }
  return RunStatus::ok;
}

}  // namespace

RunStatus run(const RunConfig& config, FileSystem& fs, std::size_t block_size) {
  Console console(fs);
  if (config.action == Action::help) {
    console.print(USAGE_LINE);
    console.print(HELP_TEXT);
    return RunStatus::ok;
  }
  if (config.action == Action::version) {
    console.print(VERSION_TEXT);
    return RunStatus::ok;
  }
  if (config.show_usage) console.print(USAGE_LINE);
  OpenFiles files;
  const RunStatus status = convert(config, fs, console, files, block_size);
  if (files.input >= 0) (void)fs.close(files.input);
  if (files.output >= 0) (void)fs.close(files.output);
  return status;
}

int exit_code(RunStatus status) { return status == RunStatus::ok ? 0 : 1; }

}  // namespace tnx
