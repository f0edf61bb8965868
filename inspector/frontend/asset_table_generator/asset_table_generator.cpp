// Build-time host tool: turns a directory of frontend files into the embedded asset table.
//
// usage: asset_table_generator --input DIR --output-dir DIR --object-format elf|coff
//
// Writes two files into the output directory:
//   frontend_asset_blob.S        all contents, pulled in by .incbin, in read-only data
//   frontend_asset_records.inc   the constant records, sorted by path in unsigned byte order
#include <openssl/evp.h>
#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#ifdef __linux__
#include <fcntl.h>
#endif

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kBlobSymbol = "vorpel_frontend_blob";

struct Options {
  fs::path input;
  fs::path output_dir;
  std::string object_format;
};

struct Entry {
  std::string path;  // relative, "/"-separated
  fs::path source;   // absolute
  uint64_t offset = 0;
  uint64_t size = 0;
  std::array<unsigned char, 32> sha256{};
  std::optional<uint64_t> modified_time;
  std::optional<uint64_t> created_time;
};

void fail(const std::string& message) {
  std::fprintf(stderr, "asset_table_generator: %s\n", message.c_str());
}

std::optional<Options> parse_options(int argc, char** argv) {
  Options options;
  for (int i = 1; i < argc; ++i) {
    std::string_view arg = argv[i];
    if (i + 1 >= argc) {
      fail("missing value for " + std::string(arg));
      return std::nullopt;
    }
    std::string_view value = argv[++i];
    if (arg == "--input") {
      options.input = value;
    } else if (arg == "--output-dir") {
      options.output_dir = value;
    } else if (arg == "--object-format") {
      options.object_format = value;
    } else {
      fail("unknown argument " + std::string(arg));
      return std::nullopt;
    }
  }
  if (options.input.empty() || options.output_dir.empty() ||
      (options.object_format != "elf" && options.object_format != "coff")) {
    fail("usage: asset_table_generator --input DIR --output-dir DIR --object-format elf|coff");
    return std::nullopt;
  }
  return options;
}

bool read_file(const fs::path& path, std::string& out) {
  FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return false;
  out.clear();
  char buffer[1 << 16];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0) out.append(buffer, n);
  bool ok = std::ferror(file) == 0;
  std::fclose(file);
  return ok;
}

bool sha256(std::string_view bytes, std::array<unsigned char, 32>& digest) {
  unsigned int length = 0;
  return EVP_Digest(bytes.data(), bytes.size(), digest.data(), &length, EVP_sha256(), nullptr) ==
             1 &&
         length == digest.size();
}

std::optional<uint64_t> non_negative(int64_t seconds) {
  if (seconds < 0) return std::nullopt;
  return static_cast<uint64_t>(seconds);
}

// Modification time always; creation time only where the file system reports one.
bool read_times(const fs::path& path, Entry& entry) {
#ifdef __linux__
  struct statx info;
  if (statx(AT_FDCWD, path.c_str(), 0, STATX_MTIME | STATX_BTIME, &info) == 0) {
    if (info.stx_mask & STATX_MTIME) entry.modified_time = non_negative(info.stx_mtime.tv_sec);
    if (info.stx_mask & STATX_BTIME) entry.created_time = non_negative(info.stx_btime.tv_sec);
    return true;
  }
#endif
  struct stat info_fallback;
  if (stat(path.c_str(), &info_fallback) != 0) return false;
  entry.modified_time = non_negative(info_fallback.st_mtime);
  return true;
}

bool byte_less(const std::string& a, const std::string& b) {
  size_t n = std::min(a.size(), b.size());
  int c = n == 0 ? 0 : std::memcmp(a.data(), b.data(), n);
  return c != 0 ? c < 0 : a.size() < b.size();
}

// Octal escapes for everything but plain printable ASCII; valid in both C++ and gas strings.
std::string string_literal(std::string_view text) {
  std::string out = "\"";
  for (unsigned char c : text) {
    if (c >= 0x20 && c < 0x7f && c != '"' && c != '\\') {
      out += static_cast<char>(c);
    } else {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\%03o", c);
      out += escape;
    }
  }
  out += '"';
  return out;
}

std::string optional_literal(const std::optional<uint64_t>& value) {
  return value ? std::to_string(*value) + "u" : std::string("std::nullopt");
}

// Always rewritten: a changed file of the same size leaves the text as it was, yet its
// bytes must be assembled again.
bool write_text(const fs::path& path, const std::string& text) {
  FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return false;
  bool ok = std::fwrite(text.data(), 1, text.size(), file) == text.size();
  ok = std::fclose(file) == 0 && ok;
  return ok;
}

std::optional<std::vector<Entry>> collect(const fs::path& root) {
  std::vector<Entry> entries;
  std::error_code ec;
  fs::recursive_directory_iterator it(root, ec), end;
  if (ec) {
    fail("cannot read frontend directory " + root.string() + ": " + ec.message());
    return std::nullopt;
  }
  for (; it != end; it.increment(ec)) {
    if (ec) break;
    const fs::directory_entry& item = *it;
    if (!item.is_regular_file(ec)) {
      if (ec) break;
      continue;
    }
    Entry entry;
    entry.source = item.path();
    entry.path = item.path().lexically_relative(root).generic_string();
    entries.push_back(std::move(entry));
  }
  if (ec) {
    fail("cannot walk frontend directory " + root.string() + ": " + ec.message());
    return std::nullopt;
  }
  std::sort(entries.begin(), entries.end(),
            [](const Entry& a, const Entry& b) { return byte_less(a.path, b.path); });
  std::string contents;
  uint64_t offset = 0;
  for (Entry& entry : entries) {
    if (!read_file(entry.source, contents)) {
      fail("cannot read " + entry.source.string());
      return std::nullopt;
    }
    if (!sha256(contents, entry.sha256)) {
      fail("cannot hash " + entry.source.string());
      return std::nullopt;
    }
    if (!read_times(entry.source, entry)) {
      fail("cannot read the times of " + entry.source.string());
      return std::nullopt;
    }
    entry.offset = offset;
    entry.size = contents.size();
    offset += entry.size;
  }
  return entries;
}

std::string blob_source(const std::vector<Entry>& entries, bool elf) {
  std::string s = "/* Generated by asset_table_generator. */\n";
  s += elf ? "\t.section .rodata\n" : "\t.section .rdata,\"dr\"\n";
  s += "\t.globl " + std::string(kBlobSymbol) + "\n";
  if (elf) s += "\t.type " + std::string(kBlobSymbol) + ", @object\n";
  s += "\t.balign 16\n";
  s += std::string(kBlobSymbol) + ":\n";
  for (const Entry& entry : entries)
    s += "\t.incbin " + string_literal(entry.source.string()) + "\n";
  // One terminating byte keeps the symbol non-empty even for an all-empty file set.
  s += "\t.byte 0\n";
  if (elf) {
    s += "\t.size " + std::string(kBlobSymbol) + ", . - " + std::string(kBlobSymbol) + "\n";
    s += "\t.section .note.GNU-stack,\"\",@progbits\n";
  }
  return s;
}

std::string hex_byte(unsigned char b) {
  char text[8];
  std::snprintf(text, sizeof text, "0x%02x", b);
  return text;
}

std::string records_source(const std::vector<Entry>& entries) {
  uint64_t total = entries.empty() ? 0 : entries.back().offset + entries.back().size;
  size_t longest = 0;
  for (const Entry& entry : entries) longest = std::max(longest, entry.path.size());

  std::string s = "// Generated by asset_table_generator.\n";
  s += "extern \"C\" const char " + std::string(kBlobSymbol) + "[" + std::to_string(total + 1) +
       "];\n\n";
  s += "inline constexpr std::size_t kFrontendAssetCount = " + std::to_string(entries.size()) +
       ";\n";
  s += "inline constexpr std::size_t kFrontendAssetLongestPath = " + std::to_string(longest) +
       ";\n\n";
  s += "constinit const FrontendAsset kFrontendAssets[kFrontendAssetCount] = {\n";
  for (const Entry& entry : entries) {
    s += "    {" + string_literal(entry.path) + ",\n     std::string_view(" +
         std::string(kBlobSymbol) + " + " + std::to_string(entry.offset) + ", " +
         std::to_string(entry.size) + "),\n     {";
    for (size_t i = 0; i < entry.sha256.size(); ++i) {
      s += hex_byte(entry.sha256[i]);
      if (i + 1 < entry.sha256.size()) s += ",";
    }
    s += "},\n     " + optional_literal(entry.modified_time) + ", " +
         optional_literal(entry.created_time) + "},\n";
  }
  s += "};\n";
  return s;
}

}  // namespace

int main(int argc, char** argv) {
  std::optional<Options> options = parse_options(argc, argv);
  if (!options) return 2;

  std::error_code ec;
  fs::path root = fs::absolute(options->input, ec);
  if (ec || !fs::is_directory(root, ec)) {
    fail("frontend directory " + options->input.string() +
         " is missing; run scripts/setup.sh (npm ci in inspector/frontend)");
    return 1;
  }
  root = root.lexically_normal();
  if (!fs::is_regular_file(root / "js_app.html", ec)) {
    fail("frontend directory " + root.string() + " has no js_app.html at its top");
    return 1;
  }

  std::optional<std::vector<Entry>> entries = collect(root);
  if (!entries) return 1;

  fs::create_directories(options->output_dir, ec);
  if (ec) {
    fail("cannot create " + options->output_dir.string() + ": " + ec.message());
    return 1;
  }
  bool elf = options->object_format == "elf";
  if (!write_text(options->output_dir / "frontend_asset_blob.S", blob_source(*entries, elf)) ||
      !write_text(options->output_dir / "frontend_asset_records.inc", records_source(*entries))) {
    fail("cannot write the generated sources into " + options->output_dir.string());
    return 1;
  }
  return 0;
}
