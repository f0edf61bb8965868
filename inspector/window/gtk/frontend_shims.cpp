#include "gtk/frontend_shims.h"

#include "page_scripts.h"

namespace {

void add_script(WebKitUserContentManager* content, const char* source,
                WebKitUserContentInjectedFrames frames = WEBKIT_USER_CONTENT_INJECT_ALL_FRAMES) {
  WebKitUserScript* script = webkit_user_script_new(
      source, frames, WEBKIT_USER_SCRIPT_INJECT_AT_DOCUMENT_START, nullptr, nullptr);
  webkit_user_content_manager_add_script(content, script);
  webkit_user_script_unref(script);
}

}  // namespace

void add_frontend_shims(WebKitUserContentManager* content) {
  add_script(content, kInsertRuleShim);
  add_script(content, kEditorFrameShim);
  add_script(content, kShadowSelectionShim);
  add_script(content, kIdleWorkerScript);
  add_script(content, kSharedStylesScript);
  add_script(content, kConsoleViewScript);
}

void add_target_hub(WebKitUserContentManager* content) {
  add_script(content, kTargetHubScript, WEBKIT_USER_CONTENT_INJECT_TOP_FRAME);
}
