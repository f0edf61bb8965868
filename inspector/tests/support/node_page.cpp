#include "support/node_page.h"

#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

ProcessResult run_node_page(const std::string& script, const std::string& page) {
  static std::atomic<int> runs{0};
  const fs::path folder =
      fs::temp_directory_path() /
      ("vorpel-node-page-" + std::to_string(::getpid()) + "-" + std::to_string(runs++));
  fs::create_directories(folder);
  std::ofstream(folder / "script.js") << script;
  std::ofstream(folder / "page.js") << page;
  const fs::path node = fs::path(VORPEL_TEST_RUNTIMES_DIR) / ".bin/node";
  ProcessResult run =
      run_process({node.string(), (folder / "page.js").string(), (folder / "script.js").string()});
  fs::remove_all(folder);
  return run;
}
