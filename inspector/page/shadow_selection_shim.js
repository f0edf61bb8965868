// Gives shadow roots the getSelection() that the frontend asks them for; for
// every frame at document start.
//
// The frontend reads the selection inside a widget through its shadow root's
// getSelection(), which Chromium has and WebKitGTK 2.50 (seen with 2.50.6)
// lacks, so the call threw. Every click in an object's tree in the Console
// asks first whether text is selected there, so an object could be opened
// with the keyboard but not with the mouse. The frontend of chii 1.15.5 falls
// back to the document's selection only in chii's own page; this does the same
// for every page. It can go once WebKit's shadow roots have getSelection().

(() => {
  if (typeof ShadowRoot !== 'function' || 'getSelection' in ShadowRoot.prototype) return;
  Object.defineProperty(ShadowRoot.prototype, 'getSelection', {
    configurable: true,
    writable: true,
    value() {
      return this.ownerDocument.getSelection();
    },
  });
})();
