// The script every Node process of a --run preloads (announce_preload.js).
#pragma once

extern const char kAnnouncePreloadScript[];
