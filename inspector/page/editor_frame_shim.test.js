// node --test: the editor frame shim styles only the code editor's shadow root.
'use strict';
const test = require('node:test');
const assert = require('node:assert');
const fs = require('node:fs');
const path = require('node:path');
const vm = require('node:vm');

const shim = fs.readFileSync(path.join(__dirname, 'editor_frame_shim.js'), 'utf8');

test('a style goes only into devtools-text-editor shadow roots', () => {
  class Element {
    constructor(localName) { this.localName = localName; }
    attachShadow(init) { return {init, children: [], appendChild(node) { this.children.push(node); }}; }
  }
  const document = {createElement: (localName) => ({localName, textContent: ''})};
  vm.runInNewContext(shim, {Element, document});

  const cases = [
    ['devtools-text-editor', {mode: 'open'}, 1],
    ['devtools-text-editor', {mode: 'closed', delegatesFocus: true}, 1],
    ['devtools-text-prompt', {mode: 'open'}, 0],
    ['div', {mode: 'open'}, 0],
  ];
  for (const [name, init, styles] of cases) {
    const root = new Element(name).attachShadow(init);
    assert.strictEqual(root.init, init, name);
    assert.strictEqual(root.children.length, styles, name);
    for (const style of root.children) {
      assert.strictEqual(style.localName, 'style');
      // The element is a flex column, and the editor's frame fills it.
      assert.match(style.textContent, /:host \{ display: flex !important; flex-direction: column; \}/);
      assert.match(style.textContent, /\.cm-editor \{ flex: 1 1 auto; min-height: 0; \}/);
    }
  }
});
