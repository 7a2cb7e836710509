// The plan of a batch: each file's row file, and the files refused.
#include "program/batch_plan.hpp"

#include <algorithm>
#include <cstdint>
#include <utility>
#include <vector>

#include "platform/file_names.hpp"
#include "program/compression.hpp"
#include "program/output_file.hpp"

namespace tnx {
namespace {

// What tells two row files apart: the folder that the row file's name
// lands in once its symbolic links are followed, by identity however it is
// spelled, and the name in it. Two names that lead to one file through a
// link have the same key.
struct OutputKey {
  std::string folder;
  std::string name;
  // The name with its links followed.
  std::string target;

  bool operator==(const OutputKey& other) const {
    return folder == other.folder && name == other.name;
  }
};

// The identity of the last folder looked at: the files of a batch mostly
// come folder by folder, and a map of every folder would grow with the
// batch.
class FolderIds {
 public:
  explicit FolderIds(FileSystem& fs) : fs_(fs) {}

  const std::string& id(const std::string& folder) {
    if (folder != spelling_ || id_.empty()) {
      spelling_ = folder;
      FileInfo found;
      id_ = fs_.inspect(folder.c_str(), found).ok()
                ? std::to_string(found.id.device) + ":" +
                      std::to_string(found.id.inode)
                : "?" + folder;
    }
    return id_;
  }

 private:
  FileSystem& fs_;
  std::string spelling_;
  std::string id_;
};

OutputKey output_key(FileSystem& fs, const std::string& output,
                     FolderIds& folders) {
  OutputKey key;
  if (!fs.resolve_links(output.c_str(), key.target).ok()) key.target = output;
  const std::size_t start = folder_length(key.target);
  key.name = key.target.substr(start);
  fold_name_case(key.name);
  key.folder = folders.id(start == 0 ? "." : key.target.substr(0, start));
  return key;
}

// 64-bit FNV-1a over the key's two parts.
std::uint64_t key_hash(const OutputKey& key) {
  std::uint64_t hash = 0xcbf29ce484222325u;
  const auto mix = [&hash](std::string_view text) {
    for (const char c : text) {
      hash ^= static_cast<unsigned char>(c);
      hash *= 0x100000001b3u;
    }
    hash ^= 0xff;  // keeps "a" + "bc" apart from "ab" + "c"
    hash *= 0x100000001b3u;
  };
  mix(key.folder);
  mix(key.name);
  return hash;
}

// A row file (tag 2i) or an input (tag 2i + 1) of file i, by the hash of
// its key.
using HashedKey = std::pair<std::uint64_t, std::size_t>;

// The key of what the tag names.
OutputKey tagged_key(FileSystem& fs, const BatchPlan& plan, std::size_t tag,
                     FolderIds& folders) {
  const std::size_t i = tag / 2;
  return output_key(fs,
                    tag % 2 == 0 ? row_file_name((*plan.names)[i],
                                                 plan.output_dir, plan.packing)
                                 : std::string((*plan.names)[i]),
                    folders);
}

bool is_device(FileSystem& fs, const OutputKey& key) {
  FileInfo found;
  return fs.inspect(key.target.c_str(), found).ok() &&
         found.id.kind == FileKind::device;
}

// The refusals among names whose keys share one hash, in tag order: a row
// file that is another file's input refuses its file; otherwise a row file
// that an earlier file writes too refuses the later file, unless it is the
// later file's own input (its conversion refuses it as such).
void refuse_among(FileSystem& fs, BatchPlan& plan, FolderIds& folders,
                  const HashedKey* first, const HashedKey* last) {
  std::vector<std::pair<std::size_t, OutputKey>> keys;
  for (const HashedKey* k = first; k != last; ++k) {
    keys.emplace_back(k->second, tagged_key(fs, plan, k->second, folders));
  }
  for (const auto& [tag, key] : keys) {
    if (tag % 2 != 0) continue;
    const std::size_t i = tag / 2;
    std::size_t earlier = i;
    bool input = false;
    bool own_input = false;
    for (const auto& [other, other_key] : keys) {
      if (other == tag || !(other_key == key)) continue;
      const bool is_input = other % 2 != 0;
      own_input |= is_input && other / 2 == i;
      input |= is_input && other / 2 != i;
      if (!is_input) earlier = std::min(earlier, other / 2);
    }
    if (!input && (own_input || earlier == i)) continue;
    if (is_device(fs, key)) continue;
    plan.refused.emplace(i, input ? ROW_FILE_IS_INPUT : earlier);
  }
}

// Whether `output` is the file standard output was sent to.
bool is_standard_output(FileSystem& fs, const std::string& output,
                        const FileId& standard_output) {
  FileInfo found;
  return fs.inspect(output.c_str(), found).ok() &&
         found.id.kind != FileKind::device &&
         found.id.same_file(standard_output);
}

// Finds the files refused (see plan_batch()) by key: a hash of each key of
// a row file or an input, sorted, then the full keys of the names whose
// hashes meet.
void find_refused(FileSystem& fs, BatchPlan& plan) {
  const NameList& names = *plan.names;
  FolderIds folders(fs);
  FileInfo standard_output;
  // Only a file or a pipe that standard output was sent to can also be a
  // row file, as the single run decides it.
  const bool check_standard_output =
      fs.identify(STDOUT_FD, standard_output).ok() &&
      (standard_output.id.kind == FileKind::regular ||
       standard_output.id.kind == FileKind::other);
  std::vector<HashedKey> hashes;
  hashes.reserve(2 * names.size());
  for (std::size_t i = 0; i < names.size(); ++i) {
    const std::string output =
        row_file_name(names[i], plan.output_dir, plan.packing);
    hashes.emplace_back(key_hash(output_key(fs, output, folders)), 2 * i);
    if (check_standard_output && !plan.rows_on_standard_output) {
      plan.rows_on_standard_output =
          is_standard_output(fs, output, standard_output.id);
    }
  }
  // The inputs in a pass of their own: one folder after another again.
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (names[i] == "-") continue;  // standard input has no name
    const OutputKey key = output_key(fs, std::string(names[i]), folders);
    hashes.emplace_back(key_hash(key), 2 * i + 1);
  }
  std::sort(hashes.begin(), hashes.end());
  for (std::size_t run = 0; run < hashes.size();) {
    std::size_t end = run + 1;
    while (end < hashes.size() && hashes[end].first == hashes[run].first) {
      ++end;
    }
    if (end - run > 1) {
      refuse_among(fs, plan, folders, &hashes[run], hashes.data() + end);
    }
    run = end;
  }
}

}  // namespace

RowFileParts row_file_parts(std::string_view input, std::string_view output_dir,
                            std::string_view packing) {
  const std::size_t start = folder_length(input);
  std::string_view stem = input.substr(start);
  // A packed scan's row file is named after the text it holds
  // ("run.dat.gz" gives "run.ntp").
  stem.remove_suffix(compression_suffix(stem));
  // The last extension; a leading dot starts a name, not an extension.
  const std::size_t dot = stem.rfind('.');
  if (dot != std::string_view::npos && dot > 0) stem = stem.substr(0, dot);
  if (output_dir.empty()) return {input.substr(0, start), false, stem, packing};
  return {output_dir, folder_length(output_dir) != output_dir.size(), stem,
          packing};
}

std::string row_file_name(std::string_view input, std::string_view output_dir,
                          std::string_view packing) {
  const RowFileParts parts = row_file_parts(input, output_dir, packing);
  std::string name;
  name.reserve(parts.folder.size() + 1 + parts.stem.size() + 4);
  name.append(parts.folder);
  if (parts.separator) name += '/';
  name.append(parts.stem).append(".ntp").append(parts.packing);
  return name;
}

StreamsOnInputs streams_on_inputs(FileSystem& fs, const NameList& names) {
  StreamsOnInputs found;
  FileInfo out;
  FileInfo err;
  // What a terminal, a device or a socket takes cannot change an input.
  const auto may_be_input = [&fs](int fd, FileInfo& info) {
    return fs.identify(fd, info).ok() && (info.id.kind == FileKind::regular ||
                                          info.id.kind == FileKind::other);
  };
  const bool check_out = may_be_input(STDOUT_FD, out);
  const bool check_err = may_be_input(STDERR_FD, err);
  for (std::size_t i = 0; i < names.size() && (check_out || check_err); ++i) {
    FileInfo input;
    if (!fs.inspect(names.c_str(i), input).ok()) continue;
    found.standard_output |=
        check_out && writing_changes_input(out.id, input.id);
    found.standard_error |=
        check_err && writing_changes_input(err.id, input.id);
  }
  return found;
}

std::string refusal_reason(const BatchPlan& plan, std::size_t index) {
  const std::size_t earlier = plan.refused.at(index);
  if (earlier == ROW_FILE_IS_INPUT) return "an input of this batch";
  return "also the row file of " + std::string((*plan.names)[earlier]);
}

BatchPlan plan_batch(FileSystem& fs, const NameList& names,
                     const std::string& output_dir, std::string_view packing) {
  BatchPlan plan;
  plan.names = &names;
  plan.output_dir = output_dir;
  plan.packing = packing;
  find_refused(fs, plan);
  return plan;
}

}  // namespace tnx
