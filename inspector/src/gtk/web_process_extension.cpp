// Loaded by WebKit into each web process of the window.
//
// The web process sets up EGL at start-up (WebKit requires a display even
// when the view never composites with GL), which loads the GL driver and,
// with Mesa, LLVM: over 100 MiB of read-only code and tables, of which start-up
// touches about 35 MiB, never to run again in a view without GL. Those pages
// stay mapped for the whole session unless released: -17.7 MiB of the
// launch's PSS under Xvfb (which maps LLVM too and shares the rest), -35 MiB
// of the web process's resident memory.
#include <link.h>
#include <sys/mman.h>
#include <unistd.h>
#include <webkit2/webkit-web-extension.h>

#include <cstdint>
#include <cstring>

namespace {

bool is_gl_driver_stack(const char* path) {
  return std::strstr(path, "/libLLVM") != nullptr || std::strstr(path, "_dri.so") != nullptr;
}

int release_read_only_segments(dl_phdr_info* object, size_t, void*) {
  if (object->dlpi_name == nullptr || !is_gl_driver_stack(object->dlpi_name)) return 0;
  const auto page = static_cast<uintptr_t>(sysconf(_SC_PAGESIZE));
  for (ElfW(Half) i = 0; i < object->dlpi_phnum; ++i) {
    const ElfW(Phdr)& segment = object->dlpi_phdr[i];
    // A writable segment holds relocated data, which exists only in memory.
    // A read-only one was never written: released pages come back from the
    // file if they are touched again.
    if (segment.p_type != PT_LOAD || (segment.p_flags & PF_W) != 0) continue;
    const uintptr_t start = object->dlpi_addr + segment.p_vaddr;
    // Whole pages only: an edge page may be shared with a writable segment.
    const uintptr_t begin = (start + page - 1) & ~(page - 1);
    const uintptr_t end = (start + segment.p_filesz) & ~(page - 1);
    if (end > begin) madvise(reinterpret_cast<void*>(begin), end - begin, MADV_DONTNEED);
  }
  return 0;
}

void on_document_loaded(WebKitWebPage* page, gpointer) {
  g_signal_handlers_disconnect_by_func(page, reinterpret_cast<gpointer>(on_document_loaded),
                                       nullptr);
  // Off the main thread, which is busy with the page's scripts by now.
  g_thread_unref(g_thread_new(
      "vorpel-release",
      [](gpointer) -> gpointer {
        dl_iterate_phdr(release_read_only_segments, nullptr);
        return nullptr;
      },
      nullptr));
}

void on_page_created(WebKitWebExtension*, WebKitWebPage* page, gpointer) {
  // EGL is set up by the time the page's document has loaded.
  g_signal_connect(page, "document-loaded", G_CALLBACK(on_document_loaded), nullptr);
}

}  // namespace

extern "C" G_MODULE_EXPORT void webkit_web_extension_initialize(WebKitWebExtension* extension) {
  g_signal_connect(extension, "page-created", G_CALLBACK(on_page_created), nullptr);
}
