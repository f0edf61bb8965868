// Keeps the frontend's editor styles loading; for every frame at document
// start.
//
// WebKitGTK 2.50 (seen with 2.50.6) refuses ":host-context(...)" in
// insertRule, which the editor styles of the frontend of chii 1.15.5 use; a
// placeholder rule keeps the sheet's indices in step. It can go once WebKit
// takes ":host-context(...)".

(() => {
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
})();
