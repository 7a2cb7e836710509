#include "per_file_inputs.hpp"

#include <elf.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <system_error>
#include <utility>

#include "per_file_timing.hpp"

namespace per_file {

namespace fs = std::filesystem;

namespace {

std::string row_file(const std::string& input) {
  return input.substr(0, input.size() - 4) + ".ntp";
}

}  // namespace

void generate(const Settings& settings, long lines, unsigned long seed,
              const std::string& path, int columns) {
  std::vector<std::string> args = {settings.tools + "/datagen", "standard",
                                   std::to_string(lines), std::to_string(seed)};
  if (columns > 0) args.push_back(std::to_string(columns));
  Command(std::move(args), path, true).run();
}

std::uintmax_t file_size(const std::string& path) {
  std::error_code error;
  const std::uintmax_t size = fs::file_size(path, error);
  if (error) fail("cannot stat " + path + ": " + error.message());
  return size;
}

std::string compare_files(const std::string& a, const std::string& b) {
  std::ifstream in_a(a, std::ios::binary);
  std::ifstream in_b(b, std::ios::binary);
  if (!in_a || !in_b) return "cannot read both files";
  std::vector<char> block_a(1 << 20);
  std::vector<char> block_b(1 << 20);
  std::uintmax_t offset = 0;
  for (;;) {
    in_a.read(block_a.data(), static_cast<std::streamsize>(block_a.size()));
    in_b.read(block_b.data(), static_cast<std::streamsize>(block_b.size()));
    const auto got_a = static_cast<std::size_t>(in_a.gcount());
    const auto got_b = static_cast<std::size_t>(in_b.gcount());
    const std::size_t common = std::min(got_a, got_b);
    const auto mismatch = std::mismatch(
        block_a.begin(), block_a.begin() + static_cast<std::ptrdiff_t>(common),
        block_b.begin());
    if (mismatch.first !=
        block_a.begin() + static_cast<std::ptrdiff_t>(common)) {
      return "first difference at byte " +
             std::to_string(offset + static_cast<std::uintmax_t>(
                                         mismatch.first - block_a.begin()));
    }
    if (got_a != got_b) {
      return "sizes differ: " + std::to_string(file_size(a)) + " and " +
             std::to_string(file_size(b)) + " bytes";
    }
    if (got_a == 0) return "";
    offset += got_a;
  }
}

std::uint64_t file_hash(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) fail("cannot read " + path);
  std::vector<char> block(1 << 16);
  std::uint64_t hash = 0xcbf29ce484222325u;
  for (;;) {
    in.read(block.data(), static_cast<std::streamsize>(block.size()));
    const auto got = static_cast<std::size_t>(in.gcount());
    if (got == 0) return hash;
    for (std::size_t i = 0; i < got; ++i) {
      hash = (hash ^ static_cast<unsigned char>(block[i])) * 0x100000001b3u;
    }
  }
}

std::string linkage(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  Elf64_Ehdr header{};
  if (!in.read(reinterpret_cast<char*>(&header), sizeof header) ||
      std::memcmp(header.e_ident, ELFMAG, SELFMAG) != 0 ||
      header.e_ident[EI_CLASS] != ELFCLASS64) {
    return "not a 64-bit ELF file";
  }
  for (unsigned i = 0; i < header.e_phnum; ++i) {
    Elf64_Phdr program_header{};
    in.seekg(static_cast<std::streamoff>(
        header.e_phoff + i * std::uint64_t{header.e_phentsize}));
    if (!in.read(reinterpret_cast<char*>(&program_header),
                 sizeof program_header)) {
      break;
    }
    if (program_header.p_type == PT_INTERP) return "dynamically linked";
  }
  return "statically linked";
}

LoopFiles make_loop_files(const Settings& settings) {
  LoopFiles files;
  files.dir = settings.data + "/loop";
  std::error_code ignored;
  fs::remove_all(files.dir, ignored);
  fs::create_directories(files.dir);
  for (int i = 0; i < settings.loop_files; ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "/f%05d.dat", i);
    const std::string path = files.dir + name;
    const long lines =
        LOOP_MIN_LINES + i % (LOOP_MAX_LINES - LOOP_MIN_LINES + 1);
    generate(settings, lines, static_cast<unsigned long>(i) + 1, path);
    files.inputs.push_back(path);
    files.input_bytes += file_size(path);
  }
  return files;
}

void clear_loop_outputs(const LoopFiles& files) {
  std::error_code ignored;
  for (const std::string& input : files.inputs)
    fs::remove(row_file(input), ignored);
  ::sync();
}

std::vector<std::uint64_t> loop_hashes(const LoopFiles& files) {
  std::vector<std::uint64_t> hashes;
  for (const std::string& input : files.inputs) {
    hashes.push_back(file_hash(row_file(input)));
  }
  return hashes;
}

BatchFiles make_batch_files(const Settings& settings) {
  BatchFiles files;
  files.dir = settings.data + "/batch";
  std::error_code ignored;
  fs::remove_all(files.dir, ignored);
  fs::create_directories(files.dir + "/in");
  for (int i = 0; i < settings.batch_files; ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "f%04d", i);
    const std::string path = files.dir + "/in/" + name + ".dat";
    const long lines =
        BATCH_MIN_LINES +
        i * BATCH_LINE_STEP % (BATCH_MAX_LINES - BATCH_MIN_LINES + 1);
    const int columns = 1 + i * BATCH_COLUMN_STEP % BATCH_MAX_COLUMNS;
    generate(settings, lines, static_cast<unsigned long>(i) + 1, path, columns);
    files.inputs.push_back(path);
    files.row_names.push_back(std::string(name) + ".ntp");
    files.input_bytes += file_size(path);
  }
  return files;
}

void fresh_folder(const std::string& path) {
  fs::create_directories(path);
  ::sync();
}

// Two costs of the machine's own come with the benchmark's clean-up, not
// with converting, and this avoids both. Removing the files: on ext4
// without a journal (as on the machines this runs on) a new file's inode
// is searched for past every inode freed in the last minutes, so each
// later file cost more, and more so with each round. Keeping their bytes:
// each run's 57 MB of page cache then lands in memory the virtual machine
// has never touched, and every first touch of such a page is a fault in
// the host. Emptied files give their pages back for the next run and free
// no inode. Everything goes when the comparison is done.
void empty_row_files(const BatchFiles& files, const std::string& out) {
  for (const std::string& name : files.row_names) {
    fs::resize_file(out + "/" + name, 0);
  }
}

std::vector<std::uint64_t> row_hashes(const BatchFiles& files,
                                      const std::string& out) {
  std::vector<std::uint64_t> hashes;
  for (const std::string& name : files.row_names) {
    hashes.push_back(file_hash(out + "/" + name));
  }
  return hashes;
}

}  // namespace per_file
