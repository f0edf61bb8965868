// node --test: which scripts the patched automapping ties to workspace files.
'use strict';
const test = require('node:test');
const assert = require('node:assert');
const fs = require('node:fs');
const path = require('node:path');

const load = () => new Function(
    fs.readFileSync(path.join(__dirname, 'workspace_bindings.js'), 'utf8') +
    '\nreturn vorpelWorkspaceBindings;')();
const bindings = load();

// The TypeScript of the tests and node 26's type-stripped text of it.
const typescript = 'interface P {\n  x: number;\n}\nfunction f(p: P): number {\n  return p.x;\n}\n';
const blank = (text) => ' '.repeat(text.length);
const stripped = [blank('interface P {'), blank('  x: number;'), blank('}'),
  'function f(p' + blank(': P') + ')' + blank(': number') + ' {', '  return p.x;', '}', '', '',
  '//# sourceURL=file:///w/app.ts'].join('\n');
const transpiled = 'function f(p) {\n  return p.x;\n}\n//# sourceMappingURL=data:application/json;base64,e30=';

test('a stripped text keeps every place of the file', () => {
  const cases = [
    ['node type stripping', typescript, stripped, true],
    ['the same text', typescript, typescript, true],
    ['a semicolon left by a stripped type', 'a\ntype T = 1\n', 'a\n;' + blank('type T = '), true],
    ['transpiled and moved', typescript, transpiled, false],
    ['a line joined', 'a\nb\n', 'a b\n', false],
    ['a character changed', 'let a = 1;', 'let b = 1;', false],
    ['types blanked at the end', 'a;\ntype T = 1;\ntype U = 2;\n', 'a;\n' + blank('type T = 1;\n'), true],
    ['moved to the end', 'let a = 1;', ' let a = 1;', false],
    ['a sourceURL that is not the last line', 'a\nb', 'a\n//# sourceURL=x\nb', false],
  ];
  for (const [name, disk, script, expected] of cases) {
    assert.strictEqual(bindings.blankedAtSamePlaces(disk, script), expected, name);
  }
});

const code = (text, {sourceMap = false, commits = false, dirty = false, encoded = false} = {}) => ({
  contentType: () => ({isTextType: () => true, isFromSourceMap: () => sourceMap}),
  requestContent: async () => ({content: text, isEncoded: encoded}),
  content: () => text,
  hasCommits: () => commits,
  isDirty: () => dirty,
  url: () => 'file:///w/app.ts',
});
// The frontend's own rewrap for files: it takes off node's old module wrapper.
const prefix = '(function (exports, require, module, __filename, __dirname) { ';
const suffix = '\n});';
const PersistenceImpl = {
  rewrapNodeJSContent: (fileSystem, disk, shown) =>
      shown.startsWith(prefix) && shown.endsWith(suffix) ?
      shown.slice(prefix.length, shown.length - suffix.length) : shown,
};

test('only a script that shows the file is tied to it', async () => {
  const cases = [
    ['a plain script', code(typescript), code(typescript), 'same'],
    ['a map\'s copy of the source', code(typescript, {sourceMap: true}), code(typescript), 'same'],
    ['node\'s module wrapper', code(prefix + 'a' + suffix), code('a'), 'same'],
    ['node type stripping', code(stripped), code(typescript), 'lines'],
    ['Deno\'s transpiled script', code(transpiled), code(typescript), null],
    ['a map\'s stale copy', code('old', {sourceMap: true}), code(typescript), null],
    ['a stripped text edited live', code(stripped, {commits: true}), code(typescript), null],
    ['both sides edited', code(typescript, {dirty: true}), code(typescript, {dirty: true}), null],
    ['encoded bytes', code('a', {encoded: true}), code('a'), null],
  ];
  for (const [name, network, fileSystem, expected] of cases) {
    assert.strictEqual(await bindings.kindOf({network, fileSystem}, PersistenceImpl), expected, name);
  }
});

// The parts of the frontend's Automapping and PersistenceImpl the patch uses.
const fakePersistence = () => {
  class Automapping {
    constructor(statusFor) {
      Object.assign(this, {
        sourceCodeToProcessingPromiseMap: new Map(),
        sourceCodeToAutoMappingStatusMap: new Map(),
        statuses: new Set(),
        interceptors: [],
        added: [],
        projectFoldersIndex: {closestParentFolder: () => ''},
        activeFoldersIndex: {addFolder: () => false},
      });
      this.onStatusAdded = (status) => this.added.push(status);
      this.createBinding = async (network) => statusFor(network);
    }
    prevalidationFailedForTest() {}
    onBindingFailedForTest() {}
    scheduleSweep() {}
  }
  class Persistence {
    constructor() {
      this.synced = [];
      this.bindings = new Map();
    }
    binding(uiSourceCode) { return this.bindings.get(uiSourceCode) || null; }
    syncWorkingCopy(uiSourceCode) { this.synced.push(uiSourceCode); }
    syncContent(uiSourceCode) { this.synced.push(uiSourceCode); }
    static rewrapNodeJSContent(fileSystem, disk, shown) { return shown; }
  }
  return {Automapping: {Automapping}, Persistence: {PersistenceImpl: Persistence}};
};

test('the patched automapping ties, and texts tied line for line are never copied', async () => {
  const persistence = fakePersistence();
  load()(persistence);
  const cases = [
    ['Deno\'s transpiled script', code(transpiled), code(typescript), false, true],
    ['a map\'s copy of the source', code(typescript, {sourceMap: true}), code(typescript), true, true],
    ['node type stripping', code(stripped), code(typescript), true, false],
  ];
  for (const [name, network, fileSystem, tied, copied] of cases) {
    const status = {network, fileSystem, exactMatch: false};
    const automapping = new persistence.Automapping.Automapping(() => status);
    await automapping.computeNetworkStatus(network);
    assert.deepStrictEqual(automapping.added, tied ? [status] : [], name);
    const impl = new persistence.Persistence.PersistenceImpl();
    if (tied) impl.bindings.set(network, status).set(fileSystem, status);
    impl.syncWorkingCopy(fileSystem);
    impl.syncContent(network, 'text', false);
    assert.strictEqual(impl.synced.length, copied ? 2 : 0, name);
  }
});
