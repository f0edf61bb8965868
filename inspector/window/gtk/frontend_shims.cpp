#include "gtk/frontend_shims.h"

#include "gtk/idle_worker_script.h"
#include "gtk/shared_styles_script.h"

namespace {

// WebKit refuses ":host-context(...)" in insertRule, which the frontend's
// editor styles use; a placeholder rule keeps the sheet's indices in step.
constexpr const char* kInsertRuleShim = R"js((() => {
  const insertRule = CSSStyleSheet.prototype.insertRule;
  CSSStyleSheet.prototype.insertRule = function (rule, index) {
    try {
      return insertRule.call(this, rule, index);
    } catch (error) {
      if (error && error.name === 'SyntaxError' && String(rule).includes(':host-context(')) {
        return insertRule.call(this, '.vorpel-unsupported-rule {}', index);
      }
      throw error;
    }
  };
})();)js";

// The code editor's frame is "height: 100%" of its element, which the panel
// sizes by flexing. WebKitGTK 2.50 (seen with 2.50.6) resolves that percentage
// on the first layout only: when the editor's content changes size on its
// own, the frame takes the content's height instead. The editor then measures
// itself that tall and adds as much space after the last line, and again: a
// 1 MB script opened in Sources froze the window for 20 s and held 2 GiB, a
// 5 MB one never came back and grew past 9 GiB. Making the element a flex
// column that its frame fills gives the same size without the percentage.
// It can go once WebKit keeps the editor within the window after a large
// script is opened in Sources.
constexpr const char* kEditorFrameShim = R"js((() => {
  const attachShadow = Element.prototype.attachShadow;
  Element.prototype.attachShadow = function (init) {
    const root = attachShadow.call(this, init);
    if (this.localName === 'devtools-text-editor') {
      const style = document.createElement('style');
      style.textContent = ':host { display: flex !important; flex-direction: column; }' +
          ' .cm-editor { flex: 1 1 auto; min-height: 0; }';
      root.appendChild(style);
    }
    return root;
  };
})();)js";

void add_script(WebKitUserContentManager* content, const char* source) {
  WebKitUserScript* script =
      webkit_user_script_new(source, WEBKIT_USER_CONTENT_INJECT_ALL_FRAMES,
                             WEBKIT_USER_SCRIPT_INJECT_AT_DOCUMENT_START, nullptr, nullptr);
  webkit_user_content_manager_add_script(content, script);
  webkit_user_script_unref(script);
}

}  // namespace

void add_frontend_shims(WebKitUserContentManager* content) {
  add_script(content, kInsertRuleShim);
  add_script(content, kEditorFrameShim);
  add_script(content, idle_worker_script());
  add_script(content, shared_styles_script());
}
