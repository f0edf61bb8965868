// node --test: the workspace page script's transports, and what its file
// system entries and host calls ask the program and make of its answers.
'use strict';
const test = require('node:test');
const assert = require('node:assert');
const fs = require('node:fs');
const path = require('node:path');
const vm = require('node:vm');

const read = (name) => fs.readFileSync(path.join(__dirname, name), 'utf8');
// The page's values as this realm's, to compare.
const plain = (value) => JSON.parse(JSON.stringify(value));

test('each transport carries texts to the program and its messages to the page', () => {
  const cases = [
    ['workspace_webkit_transport.js', (posted) => ({
      window: {webkit: {messageHandlers: {handler: {postMessage: (text) => posted.push(text)}}}},
      handlerName: 'handler', receiveName: 'receive',
    }), (window, message) => window.receive(message)],
    ['workspace_webview2_transport.js', (posted) => {
      const listeners = [];
      const webview = {
        postMessage: (text) => posted.push(text),
        addEventListener: (type, listener) => listeners.push([type, listener]),
      };
      return {window: {chrome: {webview}}, listeners};
    }, (window, message, context) => {
      for (const [type, listener] of context.listeners) {
        if (type === 'message') listener({data: message});
      }
    }],
  ];
  for (const [file, makeContext, deliver] of cases) {
    const posted = [];
    const received = [];
    const context = vm.createContext({...makeContext(posted), record: (message) => received.push(message)});
    vm.runInContext(read(file) + '\npost("text"); listen(record);', context);
    deliver(context.window, {id: 1, result: true}, context);
    assert.deepStrictEqual(posted, ['text'], file);
    assert.deepStrictEqual(received, [{id: 1, result: true}], file);
  }
});

// The page script with the frontend's stub assigned and a program that answers
// each call through `answers[method](params)`: {result} or {error}.
const page = (answers = {}) => {
  const posted = [];
  const errors = [];
  const window = {};
  let receive;
  const context = vm.createContext({
    window, location: {href: 'devtools://localhost/js_app.html'}, URL, Blob, atob, btoa, setTimeout,
    console: {error: (text) => errors.push(String(text))},
    hostMethods: ['loadNetworkResource', 'bringToFront'],
    vorpelWorkspaceBindings: () => {},
    listen: (function_) => { receive = function_; },
    post: (text) => {
      const message = JSON.parse(text);
      posted.push(message);
      const answer = answers[message.method];
      if (message.id && answer) setImmediate(() => receive({id: message.id, ...answer(message.params)}));
    },
  });
  vm.runInContext(read('workspace_page.js'), context);
  window.InspectorFrontendHost = {platform: () => 'linux'};
  const host = window.InspectorFrontendHost;
  return {posted, errors, window, host, root: host.isolatedFileSystem('/w', '').root,
          receive: (message) => receive(message)};
};
// An entry's call with callbacks, as a promise of what it gave either way.
const promised = (call) => new Promise((ok) => call(ok, (error) => ok({error: error.name})));
const calls = (posted) => plain(posted.map((message) => [message.method, message.params]));
const opened = () => ({result: true});

test('the entries ask the program with whole paths and take its answers', async () => {
  const pathOf = (entry) => [entry.fullPath, entry.isDirectory];
  const cases = [
    ['a file by its path from the root', {'file.open': () => ({result: true})},
     (root, ok, fail) => root.getFile('/a/b.ts', undefined, (e) => ok(pathOf(e)), fail),
     [['file.open', ['/w/a/b.ts', false, false, false]]], ['/a/b.ts', false]],
    ['a folder made anew', {'file.open': () => ({result: true})},
     (root, ok, fail) => root.getDirectory('d/', {create: true, exclusive: true}, (e) => ok(pathOf(e)), fail),
     [['file.open', ['/w/d', true, true, true]]], ['/d', true]],
    ['a file the program refuses', {'file.open': () => ({error: {name: 'NotFoundError', message: 'no'}})},
     (root, ok, fail) => root.getFile('x', {}, ok, fail),
     [['file.open', ['/w/x', false, false, false]]], {error: 'NotFoundError'}],
    ['a folder read once', {'file.entries': () => ({result: [{name: 'a.ts', folder: false}, {name: 's', folder: true}]})},
     (root, ok, fail) => {
       const reader = root.createReader();
       reader.readEntries((first) => reader.readEntries((second) => ok([first.map(pathOf), second]), fail), fail);
     },
     [['file.entries', ['/w']]], [[['/a.ts', false], ['/s', true]], []]],
    ['the root\'s times and size', {'file.status': () => ({result: {modified: 1000, size: 3}})},
     (root, ok, fail) => root.getMetadata((m) => ok([m.modificationTime.getTime(), m.size]), fail),
     [['file.status', ['/w']]], [1000, 3]],
    ['a file moved to a folder', {'file.open': () => ({result: true}), 'file.rename': () => ({result: true})},
     (root, ok, fail) => root.getFile('a.ts', {}, (file) => root.getDirectory('s', {}, (folder) =>
       file.moveTo(folder, 'b.ts', (moved) => ok(pathOf(moved)), fail), fail), fail),
     [['file.open', ['/w/a.ts', false, false, false]], ['file.open', ['/w/s', true, false, false]],
      ['file.rename', ['/w/a.ts', '/w/s/b.ts']]], ['/s/b.ts', false]],
    ['a file removed', {'file.open': opened, 'file.remove': () => ({result: true})},
     (root, ok, fail) => root.getFile('s/a.ts', {}, (file) => file.remove(() => ok('removed'), fail), fail),
     [['file.open', ['/w/s/a.ts', false, false, false]], ['file.remove', ['/w/s/a.ts']]], 'removed'],
    ['a folder is never removed whole', {},
     (root, ok, fail) => root.removeRecursively(ok, fail), [], {error: 'NoModificationAllowedError'}],
    ['a file\'s parent, asking nothing more', {'file.open': opened},
     (root, ok, fail) => root.getFile('s/a.ts', {}, (file) => file.getParent((p) => ok(pathOf(p))), fail),
     [['file.open', ['/w/s/a.ts', false, false, false]]], ['/s', true]],
  ];
  for (const [name, answers, act, expectedCalls, expected] of cases) {
    const {root, posted} = page(answers);
    const result = await promised((ok, fail) => act(root, ok, fail));
    assert.deepStrictEqual(plain(result), expected, name);
    assert.deepStrictEqual(calls(posted), expectedCalls, name);
  }
});

test('a write sends the file\'s bytes whole and tells when it is done', async () => {
  const bytes = Uint8Array.from({length: 70000}, (_, i) => (i * 7) % 256);
  const {root, posted} = page({'file.open': opened, 'file.write': () => ({result: true})});
  const entry = await new Promise((ok) => root.getFile('a.bin', {}, ok));
  const writer = await new Promise((ok) => entry.createWriter(ok));
  await new Promise((ok, fail) => {
    writer.onwriteend = ok;
    writer.onerror = fail;
    writer.write(new Blob([bytes]));
  });
  const [method, [file, base64]] = calls(posted)[1];
  assert.deepStrictEqual([method, file], ['file.write', '/w/a.bin']);
  assert.deepStrictEqual(new Uint8Array(Buffer.from(base64, 'base64')), bytes);
  // The write replaced the file; a truncate after it only ends.
  await new Promise((ok) => { writer.onwriteend = ok; writer.truncate(0); });
  assert.strictEqual(posted.length, 2);

  const refused = page({'file.open': opened, 'file.write': () => ({error: {name: 'E', message: 'changed'}})});
  const other = await new Promise((ok) => refused.root.getFile('a', {}, ok));
  const failing = await new Promise((ok) => other.createWriter(ok));
  const error = await new Promise((ok) => {
    failing.onerror = ok;
    failing.write(new Blob(['x']));
  });
  assert.strictEqual(error.name, 'E');
});

test('the host\'s calls and the program\'s events reach the other side', async () => {
  const {host, posted, errors, window, receive} = page({loadNetworkResource: () => ({error: {name: 'E'}})});
  // The stub keeps what the program does not serve.
  assert.strictEqual(host.platform(), 'linux');
  host.bringToFront();
  const loaded = await new Promise((ok) => host.loadNetworkResource('file:///w/a.map', '', 1, ok));
  assert.deepStrictEqual(plain(loaded), {statusCode: 500});
  assert.deepStrictEqual(plain(posted.map((m) => [m.id, m.method])),
                         [[0, 'bringToFront'], [1, 'loadNetworkResource']]);

  const events = [];
  window.InspectorFrontendAPI = {indexingDone: (...args) => events.push(args)};
  receive({event: 'indexingDone', params: [4, '/w']});
  receive({event: 'notAFrontendMethod', params: []});
  receive({event: 'vorpelError', params: ['the save was refused']});
  assert.deepStrictEqual(plain(events), [[4, '/w']]);
  // Without the frontend's Console module the report goes to the page's console.
  await new Promise((ok) => setTimeout(ok, 20));
  assert.ok(errors.includes('the save was refused'), errors.join('\n'));
});
