// What the page was given of each workspace file, so that a save can be told
// from a write over something the page never showed: a file changed on disk
// meanwhile, or the running engine's copy of it.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>

// A text, told apart from others by its length and a 64-bit hash.
struct TextPrint {
  uint64_t size = 0;
  uint64_t hash = 0;
  // Whether it ends with a line an engine adds to the text it runs:
  // "//# sourceURL=…" or "//# sourceMappingURL=data:…".
  bool engine_trailer = false;

  static TextPrint of(std::string_view text);
  bool same_text(const TextPrint& other) const { return size == other.size && hash == other.hash; }
};

class PageCopies {
 public:
  // The page was given the file at `path` (a real path); only the first time
  // since it was last written or forgotten counts, as the frontend edits the
  // copy it read first and reads again only to search.
  void given(const std::string& path, const TextPrint& text);
  // The page's own write or new file: the copy it now holds.
  void written(const std::string& path, const TextPrint& text);
  void renamed(const std::string& from, const std::string& to);
  void forget(const std::string& path) { copies_.erase(path); }
  // After the page loads again, or a folder leaves the workspace.
  void forget_under(const std::string& folder, bool ignore_case);
  void forget_all() { copies_.clear(); }

  // Why `text` may not replace the file at `path`, whose bytes on disk are
  // `disk` (nothing when there is no such file); nothing when it may.
  std::optional<std::string> refusal(const std::string& path, const std::optional<TextPrint>& disk,
                                     const TextPrint& text) const;

 private:
  std::map<std::string, TextPrint> copies_;
};
