// node --test: shadow roots answer getSelection() only where the engine has none.
'use strict';
const test = require('node:test');
const assert = require('node:assert');
const fs = require('node:fs');
const path = require('node:path');
const vm = require('node:vm');

const source = fs.readFileSync(path.join(__dirname, 'shadow_selection_shim.js'), 'utf8');

test('a shadow root gives its document\'s selection, unless it has its own', () => {
  const documentSelection = {type: 'Range'};
  const ownSelection = {type: 'Caret'};
  const cases = [
    ['WebKit: no getSelection', null, documentSelection],
    ['Chromium: its own', function () { return ownSelection; }, ownSelection],
  ];
  for (const [name, own, expected] of cases) {
    class ShadowRoot {
      constructor() { this.ownerDocument = {getSelection: () => documentSelection}; }
    }
    if (own) ShadowRoot.prototype.getSelection = own;
    vm.runInNewContext(source, {ShadowRoot, Object});
    assert.strictEqual(new ShadowRoot().getSelection(), expected, name);
    // What the frontend's own check of the method sees.
    assert.ok('getSelection' in ShadowRoot.prototype, name);
  }
  // Without shadow roots at all the script does nothing.
  assert.doesNotThrow(() => vm.runInNewContext(source, {Object}));
});
