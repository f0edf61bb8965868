// Lets shadow roots share one parsed sheet per style text; for every frame at
// document start.
//
// The frontend gives each of its widgets' shadow roots its own <style>
// elements with the same core texts (about 59 KB of CSS), and each console
// message with an object in it is such a widget. WebKitGTK 2.50 (seen with
// 2.50.6) parses and indexes each copy anew: a root with those styles held
// 95 KB after it was drawn and cost 0.9 ms, against 3 KB and 0.2 ms with the
// same texts as one shared constructed sheet. So a text-only <style> appended
// to a shadow root becomes a shared sheet at the front of the root's adopted
// sheets, where the cascade had it: a root's <style> sheets come before its
// adopted ones, in the order they were appended. Whatever the frontend later
// sets as adopted sheets follows them. It can go once WebKit shares the parsed
// sheet of identical style texts between shadow roots.
//
// Written for the frontend of chii 1.15.5, which appends its widgets' styles
// to their shadow roots and later assigns their adoptedStyleSheets.

(() => {
  const RootPrototype = window.ShadowRoot && ShadowRoot.prototype;
  const adopted = RootPrototype && Object.getOwnPropertyDescriptor(RootPrototype, 'adoptedStyleSheets');
  if (!adopted || !adopted.get || !adopted.set || typeof CSSStyleSheet !== 'function' ||
      typeof CSSStyleSheet.prototype.replaceSync !== 'function' || typeof HTMLStyleElement !== 'function') {
    return;
  }
  const appendChild = Node.prototype.appendChild;
  // The frontend's own texts are far fewer; past this many, a new text still
  // becomes a sheet, just not a kept one.
  const kKeptTexts = 1000;
  const sheets = new Map();
  // Per root, the sheets that were its <style> elements, in their order.
  const moved = new WeakMap();

  // A constructed sheet ignores @import, so such a text stays a <style>.
  const sheetFor = (text) => {
    let sheet = sheets.get(text);
    if (sheet) return sheet;
    if (/@import/i.test(text)) return null;
    sheet = new CSSStyleSheet();
    sheet.replaceSync(text);
    if (sheets.size < kKeptTexts) sheets.set(text, sheet);
    return sheet;
  };
  // Only a plain style, not yet in any tree: no attributes (media, id, nonce)
  // and one text.
  const movable = (node) => node instanceof HTMLStyleElement && !node.parentNode &&
      node.attributes.length === 0 && node.childNodes.length === 1 &&
      node.firstChild.nodeType === Node.TEXT_NODE;
  const setInOrder = (root, own, value) => {
    adopted.set.call(root, own.concat(Array.from(value).filter((sheet) => !own.includes(sheet))));
  };

  Object.defineProperty(RootPrototype, 'adoptedStyleSheets', {
    configurable: true,
    enumerable: adopted.enumerable,
    get: adopted.get,
    set(value) {
      const own = moved.get(this);
      if (!own) return adopted.set.call(this, value);
      setInOrder(this, own, value);
    },
  });
  RootPrototype.appendChild = function (node) {
    if (!movable(node)) return appendChild.call(this, node);
    let sheet = null;
    try {
      sheet = sheetFor(node.firstChild.data);
    } catch {
      // A text the engine refuses stays a <style>, as the frontend wrote it.
    }
    if (!sheet) return appendChild.call(this, node);
    let own = moved.get(this);
    if (!own) moved.set(this, own = []);
    const frontend = adopted.get.call(this);
    own.push(sheet);
    setInOrder(this, own, frontend);
    return node;
  };
})();
