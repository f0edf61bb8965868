#include "win32/web_view_failures.h"

#include <cstdio>

#include "win32/com.h"

namespace {

constexpr const char* kWebViewStopped = "the webview stopped (its browser process exited)";

std::string exit_code_text(int code) {
  // Windows exit codes past the small ones are status values, read in hex.
  if (code >= 0 && code <= 0xFFFF) return std::to_string(code);
  char number[16];
  std::snprintf(number, sizeof number, "0x%08X", static_cast<unsigned>(code));
  return number;
}

const char* failure_reason_text(COREWEBVIEW2_PROCESS_FAILED_REASON reason) {
  switch (reason) {
    case COREWEBVIEW2_PROCESS_FAILED_REASON_UNRESPONSIVE:
      return "unresponsive";
    case COREWEBVIEW2_PROCESS_FAILED_REASON_TERMINATED:
      return "terminated";
    case COREWEBVIEW2_PROCESS_FAILED_REASON_CRASHED:
      return "crashed";
    case COREWEBVIEW2_PROCESS_FAILED_REASON_LAUNCH_FAILED:
      return "failed to start";
    case COREWEBVIEW2_PROCESS_FAILED_REASON_OUT_OF_MEMORY:
      return "out of memory";
    case COREWEBVIEW2_PROCESS_FAILED_REASON_PROFILE_DELETED:
      return "profile deleted";
    default:
      return "unexpected";
  }
}

}  // namespace

std::string process_failure_details(COREWEBVIEW2_PROCESS_FAILED_REASON reason, int exit_code) {
  return std::string(" (reason: ") + failure_reason_text(reason) + ", exit code " +
         exit_code_text(exit_code) + ")";
}

ErrorChain browser_process_failure(ICoreWebView2ProcessFailedEventArgs* args) {
  std::string cause = "WebView2 browser process failure";
  ComRef<ICoreWebView2ProcessFailedEventArgs2> details;
  COREWEBVIEW2_PROCESS_FAILED_REASON reason;
  int exit_code;
  if (SUCCEEDED(args->QueryInterface(IID_ICoreWebView2ProcessFailedEventArgs2,
                                     reinterpret_cast<void**>(details.put()))) &&
      SUCCEEDED(details->get_Reason(&reason)) && SUCCEEDED(details->get_ExitCode(&exit_code))) {
    cause += process_failure_details(reason, exit_code);
  }
  return ErrorChain::from_message(cause).with_context(kWebViewStopped);
}
