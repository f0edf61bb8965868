#include "frontend_assets.h"

#include <algorithm>
#include <cstddef>
#include <span>

#include "frontend_assets_test_support.h"

// Generated: the blob symbol and the constant records, kFrontendAssets.
#include "frontend_asset_records.inc"

std::optional<FrontendAsset> FrontendAssetTable::lookup(std::string_view path) {
  // No record is longer, so a longer key cannot match; shorter keys fit a stack buffer.
  if (path.size() > kFrontendAssetLongestPath) return std::nullopt;
  char buffer[kFrontendAssetLongestPath + 1];
  std::replace_copy(path.begin(), path.end(), buffer, '\\', '/');
  const std::string_view key(buffer, path.size());

  // char_traits<char> compares as unsigned char, which is the table's order.
  const FrontendAsset* end = kFrontendAssets + kFrontendAssetCount;
  const FrontendAsset* found = std::lower_bound(
      kFrontendAssets, end, key,
      [](const FrontendAsset& asset, std::string_view k) { return asset.path < k; });
  if (found == end || found->path != key) return std::nullopt;
  return *found;
}

std::span<const FrontendAsset> frontend_asset_records() {
  return kFrontendAssets;
}
