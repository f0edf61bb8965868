// The DevTools frontend's files, compiled into the program's read-only data.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

// One embedded file. Every view points into read-only data that lives as long as the program.
struct FrontendAsset {
  std::string_view path;  // relative, "/"-separated, no leading "/"
  std::string_view contents;
  std::array<uint8_t, 32> sha256;
  std::optional<uint64_t> modified_time;  // seconds since 1970-01-01 UTC
  std::optional<uint64_t> created_time;
};

// The constant table of embedded files, sorted by path in unsigned byte order.
class FrontendAssetTable {
 public:
  // The record whose path equals `path` after each backslash is turned into "/"; nothing
  // else is normalised. The copy's contents still view the table's bytes.
  static std::optional<FrontendAsset> lookup(std::string_view path);
};
