#include "save_file_name.h"

std::string save_file_name(std::string_view suggested) {
  suggested = suggested.substr(0, suggested.find_first_of("?#"));
  if (size_t slash = suggested.find_last_of("/\\:"); slash != std::string_view::npos) {
    suggested.remove_prefix(slash + 1);
  }
  if (suggested.empty() || suggested == "." || suggested == "..") return "download";
  return std::string(suggested);
}
