// Keeps the code editor within the window; for every frame at document start.
//
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
//
// Written for the frontend of chii 1.15.5: its editor is the
// <devtools-text-editor> element with a CodeMirror .cm-editor in its shadow
// root.

(() => {
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
})();
