// node --test: the insertRule shim stands in only for the rules WebKit refuses.
'use strict';
const test = require('node:test');
const assert = require('node:assert');
const fs = require('node:fs');
const path = require('node:path');
const vm = require('node:vm');

// A sheet that refuses rules as WebKit does, or with the error a case gives.
const sheetRefusing = (refuse) => {
  class CSSStyleSheet {
    constructor() { this.rules = []; }
    insertRule(rule, index = 0) {
      const error = refuse(rule);
      if (error) throw Object.assign(new Error(rule), {name: error});
      this.rules.splice(index, 0, rule);
      return index;
    }
  }
  vm.runInNewContext(fs.readFileSync(path.join(__dirname, 'insert_rule_shim.js'), 'utf8'),
                     {CSSStyleSheet, String});
  return new CSSStyleSheet();
};

test('only a refused :host-context( rule becomes the placeholder', () => {
  // The error a sheet throws for rules with `text` in them.
  const refusing = (text, error) => (rule) => (rule.includes(text) ? error : null);
  const webkit = (rule) => (/:host-context\(|\{\{/.test(rule) ? 'SyntaxError' : null);
  const placeholder = '.vorpel-unsupported-rule {}';
  const hostContext = ':host-context(.dark) .cm-line { color: red; }';
  const cases = [
    ['a rule WebKit takes', webkit, 'a { color: red; }', 'a { color: red; }'],
    ['a :host-context( rule', webkit, hostContext, placeholder],
    ['another refused rule', webkit, 'a {{ }', 'SyntaxError'],
    ['a :host-context( rule past the end', refusing('(', 'IndexSizeError'), hostContext, 'IndexSizeError'],
    ['a :host-context( rule taken', () => null, hostContext, hostContext],
  ];
  for (const [name, refuse, rule, expected] of cases) {
    const sheet = sheetRefusing(refuse);
    sheet.rules = ['first', 'last'];
    let result;
    try {
      result = sheet.insertRule(rule, 1);
    } catch (error) {
      assert.strictEqual(error.name, expected, name);
      assert.deepStrictEqual(sheet.rules, ['first', 'last'], name);
      continue;
    }
    // The sheet's indices stay in step with the frontend's count of rules.
    assert.strictEqual(result, 1, name);
    assert.deepStrictEqual(sheet.rules, ['first', expected, 'last'], name);
  }
});
