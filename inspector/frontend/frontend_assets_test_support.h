// Every record of the embedded table, for tests that check invariants over all of them.
#pragma once

#include <span>

#include "frontend_assets.h"

std::span<const FrontendAsset> frontend_asset_records();
