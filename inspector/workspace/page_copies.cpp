#include "page_copies.h"

#include "granted_folders.h"

namespace {

std::string_view last_line(std::string_view text) {
  const size_t end = text.find_last_not_of(" \t\r\n");
  if (end == std::string_view::npos) return {};
  text = text.substr(0, end + 1);
  const size_t start = text.find_last_of('\n');
  return start == std::string_view::npos ? text : text.substr(start + 1);
}

}  // namespace

TextPrint TextPrint::of(std::string_view text) {
  // FNV-1a: a save compares two texts of one file, with no adversary.
  uint64_t hash = 14695981039346656037ull;
  for (unsigned char c : text) hash = (hash ^ c) * 1099511628211ull;
  const std::string_view line = last_line(text);
  const bool trailer = line.starts_with("//# sourceURL=") || line.starts_with("//@ sourceURL=") ||
                       line.starts_with("//# sourceMappingURL=data:");
  return {text.size(), hash, trailer};
}

void PageCopies::given(const std::string& path, const TextPrint& text) {
  copies_.try_emplace(path, text);
}

void PageCopies::written(const std::string& path, const TextPrint& text) {
  copies_.insert_or_assign(path, text);
}

void PageCopies::renamed(const std::string& from, const std::string& to) {
  auto found = copies_.find(from);
  if (found == copies_.end()) return;
  const TextPrint text = found->second;
  copies_.erase(found);
  copies_.insert_or_assign(to, text);
}

void PageCopies::forget_under(const std::string& folder, bool ignore_case) {
  std::erase_if(copies_,
                [&](const auto& entry) { return path_within(folder, entry.first, ignore_case); });
}

std::optional<std::string> PageCopies::refusal(const std::string& path,
                                               const std::optional<TextPrint>& disk,
                                               const TextPrint& text) const {
  // A new file, or one removed meanwhile: nothing on disk is lost.
  if (!disk) return std::nullopt;
  auto copy = copies_.find(path);
  if (copy == copies_.end())
    return "the window never read this file, so it would replace what it has not shown";
  if (!copy->second.same_text(*disk)) {
    return "it changed on disk after the window read it, so the window's copy is not an edit of it";
  }
  if (text.engine_trailer && !copy->second.engine_trailer) {
    return "the text ends with a line the engine adds to what it runs, so it is the engine's copy, "
           "not the file";
  }
  return std::nullopt;
}
