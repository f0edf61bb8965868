// The start-up lines as a user reads them, written out by hand so that a
// change to the program's wording fails the tests.
#pragma once

#include <string>

inline constexpr const char* kThirdLine =
    "vorpel_inspector: (frontend is embedded; override with VORPEL_INSPECTOR_FRONTEND)\n";

// The address of the embedded frontend for a target.
inline std::string default_frontend(const std::string& target) {
  return "http://devtools.localhost/js_app.html?ws=" + target + "&experiments=true&v8only=true";
}

// The "ws target" and "devtools" lines, also printed again on a switch.
inline std::string target_lines(const std::string& target) {
  return "vorpel_inspector: ws target  = " + target +
         "\nvorpel_inspector: devtools   = " + default_frontend(target) + "\n";
}

inline std::string three_lines(const std::string& target, const std::string& frontend) {
  return "vorpel_inspector: ws target  = " + target +
         "\nvorpel_inspector: devtools   = " + frontend + "\n" + kThirdLine;
}

inline std::string three_lines(const std::string& target) {
  return three_lines(target, default_frontend(target));
}
