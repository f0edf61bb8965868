#include "startup_lines.h"

std::string target_line(std::string_view target) {
  return "vorpel_inspector: ws target  = " + std::string(target) + "\n";
}

std::string frontend_line(std::string_view frontend_address) {
  return "vorpel_inspector: devtools   = " + std::string(frontend_address) + "\n";
}

const std::string_view kEmbeddedFrontendLine =
    "vorpel_inspector: (frontend is embedded; override with VORPEL_INSPECTOR_FRONTEND)\n";
