#include "workspace_search.h"

#include <algorithm>

#include "ascii_case.h"
#include "granted_folders.h"

namespace {

// Each read allocates the size it asks for, and most files in a source tree
// are small: a first read of 4 KiB, then 64 KiB. At 1 MiB a read, 60,000
// small files cost 4 s of zeroing.
constexpr size_t kFirstRead = size_t{4} << 10;
constexpr size_t kLaterRead = size_t{64} << 10;

// The query's ASCII runs, lower-cased. The frontend's case-insensitive
// search (a JavaScript regular expression without the "u" flag) matches an
// ASCII character only with an ASCII character, so a matching file holds every
// run as it is, whatever the other characters fold to.
struct Runs {
  std::vector<std::string> runs;
  size_t longest = 0;
};

Runs ascii_runs(std::string_view query) {
  Runs found;
  std::string run;
  auto keep = [&] {
    if (run.empty()) return;
    found.longest = std::max(found.longest, run.size());
    found.runs.push_back(std::move(run));
    run.clear();
  };
  for (char c : query) {
    if (static_cast<unsigned char>(c) < 0x80) {
      run += ascii_lower(c);
    } else {
      keep();
    }
  }
  keep();
  return found;
}

// Whether the file holds every run; one that cannot be read holds nothing,
// as the frontend could not read it either. Nor does one that turns out to lie
// outside `root`, reached through a folder swapped for a link meanwhile: what
// it holds is not the workspace's to tell.
bool holds_all(FileSystem& files, const std::string& root, const std::string& path,
               const Runs& query) {
  auto reader = files.open_to_read(path);
  if (!reader) return false;
  std::vector<bool> seen(query.runs.size(), false);
  size_t left = query.runs.size();
  // A run may straddle two reads: keep the tail that could begin one.
  std::string window;
  for (size_t read_size = kFirstRead; left > 0; read_size = kLaterRead) {
    auto bytes = reader.value()->read(read_size);
    if (!bytes || bytes.value().empty()) return false;
    std::string& text = bytes.value();
    std::transform(text.begin(), text.end(), text.begin(), ascii_lower);
    window += text;
    for (size_t i = 0; i < query.runs.size(); ++i) {
      if (!seen[i] && window.find(query.runs[i]) != std::string::npos) {
        seen[i] = true;
        --left;
      }
    }
    if (window.size() >= query.longest) window.erase(0, window.size() - (query.longest - 1));
  }
  auto opened = reader.value()->real_path();
  return opened && path_within(root, opened.value(), files.ignores_case());
}

}  // namespace

std::vector<std::string> search_candidates(FileSystem& files, const std::string& folder,
                                           std::string_view query, size_t most) {
  const Runs runs = ascii_runs(query);
  std::vector<std::string> found;
  std::vector<std::string> folders{folder};
  while (!folders.empty() && found.size() < most) {
    const std::string next = folders.back();
    folders.pop_back();
    auto listing = files.list_folder(next);
    // A folder swapped for a link to elsewhere after its parent was listed.
    if (!listing || !path_within(folder, listing.value().real_path, files.ignores_case())) {
      continue;
    }
    for (const FolderEntry& entry : listing.value().entries) {
      if (found.size() >= most) break;
      const std::string child = next + "/" + entry.name;
      if (entry.kind == FileStatus::Kind::kFolder) folders.push_back(child);
      if (entry.kind == FileStatus::Kind::kFile &&
          (runs.runs.empty() || holds_all(files, folder, child, runs))) {
        found.push_back(child);
      }
    }
  }
  return found;
}
