#include "gtk/web_process_tuning.h"

namespace {

// JavaScriptCore keeps its default tiers. Turning the DFG tier off (with a
// later baseline JIT) saved about 15 MiB at start-up, but the frontend's heavy
// work then never got optimised code: in A/B runs a 300k-object heap snapshot
// took 1.8x the wall time and 1.3x the CPU, a 50,000-message console burst
// 1.45x; DFG kept with late thresholds was still 1.6x on the snapshot.

// Without a GPU, GTK's GL probe at display open loads Mesa's software driver
// and LLVM in every process that opens the display, for nothing: the web view
// never composites with GL (hardware acceleration is "never").
constexpr EnvironmentSetting kGtkWithoutGl = {"GDK_GL", "disable"};

// WebKit sets up EGL in the window process when the view is created, for a
// DMA-BUF renderer this program never uses; with no vendor library it finds no
// display, loads no driver, and quietly takes the shared-memory path. Only
// while the view is created: the web process needs EGL. With GDK_GL above:
// -20 MiB and -50 ms in the window process.
constexpr EnvironmentSetting kWindowWithoutEgl = {"__EGL_VENDOR_LIBRARY_FILENAMES",
                                                  "/nonexistent/vorpel_inspector-no-egl.json"};

// Mesa keeps a shader cache in ~/.cache even for software rendering; the
// program keeps files only in its data folder.
constexpr EnvironmentSetting kNoShaderCache = {"MESA_SHADER_CACHE_DISABLE", "true"};

}  // namespace

WebProcessTuning web_process_tuning(const std::function<bool(std::string_view)>& is_set,
                                    bool has_render_node) {
  WebProcessTuning tuning;
  if (!is_set(kNoShaderCache.name)) tuning.kept.push_back(kNoShaderCache);
  // A user who chose anything about GL or EGL gets the whole stack as WebKit
  // and GTK would set it up.
  if (has_render_node || is_set(kGtkWithoutGl.name) || is_set(kWindowWithoutEgl.name)) {
    return tuning;
  }
  tuning.kept.push_back(kGtkWithoutGl);
  tuning.window_only.push_back(kWindowWithoutEgl);
  return tuning;
}
