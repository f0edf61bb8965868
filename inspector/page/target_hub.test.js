// node --test: the target hub's Target domain over fake sockets, and its place in the page.
'use strict';
const test = require('node:test');
const assert = require('node:assert');
const fs = require('node:fs');
const path = require('node:path');

const source = fs.readFileSync(path.join(__dirname, 'target_hub.js'), 'utf8');
const load = () =>
  new Function(`${source}\nreturn {vorpelTargetHub, vorpelHubInstall};`)();

// What the frontend got, in short: events by their last word and ids, answers by their id.
const brief = ({id, method, params: p, result, sessionId: s}) => (method ? {
  'Target.targetCreated': () => `created ${p.targetInfo.targetId}: ${p.targetInfo.title}`,
  'Target.attachedToTarget': () => `attached ${p.targetInfo.targetId} ${p.sessionId}`,
  'Target.detachedFromTarget': () => `detached ${p.sessionId}`,
  'Target.targetDestroyed': () => `destroyed ${p.targetId}`,
  'Target.receivedMessageFromTarget': () => `${p.sessionId} ${p.message}`,
}[method]() : `answer ${id} ${s ? s + ' ' : ''}${result ? JSON.stringify(result) : 'error'}`);
// What a socket was sent, 'hub' for the hub's own ids, with what it carries to a worker.
const sentBrief = ({id, method, params: p = {}}) => `${id > 2 ** 30 ? 'hub' : id} ${method}` +
  (p.message ? ` ${p.sessionId}: ${sentBrief(JSON.parse(p.message))}` :
   p.sessionId ? ` ${p.sessionId}` : '');

const hubWith = () => {
  const h = {sockets: [], got: [], timers: [], names: [], clock: 0, lastId: 0};
  const openSocket = (url) => {
    const socket = {url, sent: [], all: [], closed: false, close: () => { socket.closed = true; }};
    socket.send = (text) => socket.sent.push(JSON.parse(text)) && socket.all.push(JSON.parse(text));
    return h.sockets[h.sockets.push(socket) - 1];
  };
  h.hub = load().vorpelTargetHub({openSocket, toFrontend: (text) => h.got.push(JSON.parse(text)),
                                  later: (callback) => h.timers.push(callback), now: () => h.clock,
                                  nameTarget: (id, name) => h.names.push(`${id}=${name}`)});
  h.call = (method, params) => h.hub.fromFrontend(JSON.stringify({id: ++h.lastId, method, params}));
  h.from = (socket, message) => h.sockets[socket].onmessage({data: JSON.stringify(message)});
  h.fromWorker = (sessionId, message) => h.from(0, {
    method: 'NodeWorker.receivedMessageFromWorker', params: {sessionId, message: JSON.stringify(message)}});
  // Each step: [name, what happens, what the frontend gets, what socket 0 is sent].
  h.run = (steps) => {
    for (const [name, act, got, sent] of steps) {
      act();
      assert.deepStrictEqual(h.got.splice(0).map(brief), got, name);
      if (sent) assert.deepStrictEqual(h.sockets[0].sent.splice(0).map(sentBrief), sent, name);
    }
  };
  return h;
};
const a = {id: 'a', name: 'server.js [1]', ws: 'ws://127.0.0.1:9230/a'};
const b = {id: 'b', name: 'b.js [2]', ws: 'ws://127.0.0.1:9230/b'};
const send = (sessionId) => ['Target.sendMessageToTarget',
                              {sessionId, message: '{"id":1,"method":"Runtime.enable"}'}];
const worker = (sessionId, workerId, title, url) => ({method: 'NodeWorker.attachedToWorker',
  params: {sessionId, workerInfo: {workerId, type: 'worker', title, url}, waitingForDebugger: true}});
// A hub with `a` attached and its socket open.
const attached = () => {
  const h = hubWith();
  h.hub.setTargets([a]);
  h.call('Target.setDiscoverTargets', {discover: true});
  h.call('Target.attachToTarget', {targetId: 'a', flatten: false});
  h.sockets[0].onopen();
  h.got.length = h.sockets[0].sent.length = 0;
  return h;
};

test('the listed targets are announced, attached on their own sockets, and ended', () => {
  const h = hubWith();
  h.run([
    ['listed before discovery', () => h.hub.setTargets([a, b]), []],
    ['discovered', () => h.call('Target.setDiscoverTargets', {discover: true}),
     ['created a: server.js [1]', 'created b: b.js [2]', 'answer 1 {}']],
    ['once', () => h.call('Target.setDiscoverTargets', {discover: true}), ['answer 2 {}']],
    ['attached', () => h.call('Target.attachToTarget', {targetId: 'a', flatten: false}),
     ['attached a vorpel-1', 'answer 3 {"sessionId":"vorpel-1"}']],
    ['its messages wait for the socket', () => h.call(...send('vorpel-1')), ['answer 4 {}'], []],
    ['which is asked for workers first', () => h.sockets[0].onopen(), [],
     ['hub NodeWorker.enable', '1 Runtime.enable']],
    ['an answer', () => h.from(0, {id: 1, result: {}}), ['vorpel-1 {"id":1,"result":{}}']],
    ['the hub\'s own', () => h.from(0, {id: h.sockets[0].all[0].id, result: {}}), []],
    ['attached twice', () => h.call('Target.attachToTarget', {targetId: 'a'}), ['answer 5 error']],
    ['flattened', () => h.hub.fromFrontend('{"id":99,"sessionId":"s","method":"x"}'), ['answer 99 s {}']],
    ['the same list', () => h.hub.setTargets([a, b]), []],
    ['unlisted', () => h.hub.setTargets([b]), ['detached vorpel-1', 'destroyed a']],
    ['listed again', () => h.hub.setTargets([a, b]), ['created a#2: server.js [1]']],
    ['its socket closes', () => {
      h.call('Target.attachToTarget', {targetId: 'a#2'});
      h.sockets[1].onclose();
    }, ['attached a#2 vorpel-2', 'answer 6 {"sessionId":"vorpel-2"}', 'detached vorpel-2', 'destroyed a#2']],
    ['listed at once, held back', () => h.hub.setTargets([a, b]), []],
    ['a while later', () => { h.clock = 2000; h.hub.setTargets([a, b]); },
     ['created a#3: server.js [1]']],
    ['at a new address', () => h.hub.setTargets([a, {...b, ws: 'ws://x/c'}]),
     ['destroyed b', 'created b#2: b.js [2]']],
  ]);
  assert.deepStrictEqual(h.sockets.map((socket) => [socket.url, socket.closed]),
                         [[a.ws, true], [a.ws, true]]);
  // At the attach, and with every list while attached.
  assert.deepStrictEqual(h.names, ['a=server.js [1]', 'a=server.js [1]', 'a#2=server.js [1]']);
});

test('a finished process is let go once its last context goes', () => {
  const created = (id) => ({method: 'Runtime.executionContextCreated', params: {context: {id}}});
  const destroyed = (id) => ({method: 'Runtime.executionContextDestroyed',
                              params: {executionContextId: id}});
  const cases = [
    ['its one context', [created(1), destroyed(1)], true],
    ['a vm context', [created(1), created(2), destroyed(2)], false],
    ['before it had any', [destroyed(1)], false],
    ['and a new one came', [created(1), destroyed(1), created(2)], false],
    ['after a clear', [created(1), {method: 'Runtime.executionContextsCleared'}, destroyed(2)], true],
    ['a worker\'s', [worker('1', '1', '', 'w.js')], false, [created(1), destroyed(1)]],
  ];
  for (const [name, messages, closes, fromWorker = []] of cases) {
    const h = attached();
    for (const message of messages) h.from(0, message);
    for (const message of fromWorker) h.fromWorker('1', message);
    const forwarded = h.got.splice(0).map(brief);
    for (const callback of h.timers) callback();
    assert.strictEqual(h.sockets[0].closed, closes, name);
    // The event is the frontend's before the end.
    if (closes) assert.match(forwarded.pop(), /executionContextDestroyed/, name);
    assert.deepStrictEqual(h.got.map(brief), closes ? ['detached vorpel-1', 'destroyed a'] : [], name);
  }
});

test('workers are targets of their own, through their parent\'s socket', () => {
  const h = attached();
  const through = (inner) => `hub NodeWorker.sendMessageToWorker ${inner}`;
  h.run([
    ['a worker', () => h.from(0, worker('1', '1', '[worker 1] alpha', 'file:///app/a.js')),
     ['created a/worker-1: alpha (worker 1 of server.js [1])'], [through('1: hub NodeWorker.enable')]],
    ['attached and sent to', () => {
      h.call('Target.attachToTarget', {targetId: 'a/worker-1'});
      h.call(...send('vorpel-2'));
    }, ['attached a/worker-1 vorpel-2', 'answer 3 {"sessionId":"vorpel-2"}', 'answer 4 {}'],
     [through('1: 1 Runtime.enable')]],
    ['its answer', () => h.fromWorker('1', {id: 1, result: {}}), ['vorpel-2 {"id":1,"result":{}}']],
    ['the hub\'s answers, also inside the worker\'s', () => h.sockets[0].all.forEach(({id, params}) => {
      if (id > 2 ** 30) h.from(0, {id, result: {}});
      const inner = params && params.message ? JSON.parse(params.message) : {};
      if (inner.id > 2 ** 30) h.fromWorker('1', {id: inner.id, error: {code: -32601}});
    }), []],
    ['its own worker', () => h.fromWorker('1', worker('1', '2', '[worker 2]', 'file:///app/w.js')),
     ['created a/worker-2: w.js (worker 2 of server.js [1])'],
     [through('1: ' + through('1: hub NodeWorker.enable'))]],
    ['told of it again by the process', () => h.from(0, worker('3', '2', '[worker 2]', 'w.js')), [],
     ['hub NodeWorker.detach 3']],
    ['detached by the frontend', () => {
      h.call('Target.attachToTarget', {targetId: 'a/worker-2'});
      h.call('Target.detachFromTarget', {sessionId: 'vorpel-3'});
    }, ['attached a/worker-2 vorpel-3', 'answer 5 {"sessionId":"vorpel-3"}', 'detached vorpel-3',
        'destroyed a/worker-2', 'answer 6 {}'], [through('1: hub NodeWorker.detach 1')]],
    ['one that ends', () => h.from(0, {method: 'NodeWorker.detachedFromWorker', params: {sessionId: '1'}}),
     ['detached vorpel-2', 'destroyed a/worker-1']],
    ['with its process', () => {
      h.from(0, worker('4', '4', '', 'file:///app/b.js'));
      h.hub.setTargets([]);
    }, ['created a/worker-4: b.js (worker 4 of server.js [1])', 'destroyed a/worker-4',
        'detached vorpel-1', 'destroyed a']],
  ]);
});

test('a context is named after its target, which Node names by its binary', () => {
  const h = attached();
  h.from(0, {method: 'Runtime.executionContextCreated',
             params: {context: {id: 1, name: '/usr/bin/node[1]', auxData: {isDefault: true}}}});
  const {params} = JSON.parse(h.got[0].params.message);
  assert.strictEqual(params.context.name, 'server.js [1]');
  assert.deepStrictEqual(params.context.auxData, {isDefault: true});
});

test('a worker let go runs on past its first line, unless a breakpoint holds it there', () => {
  const paused = (reason, hitBreakpoints) => ({method: 'Debugger.paused',
    params: {callFrames: [], reason, hitBreakpoints}});
  const through = (inner) => `hub NodeWorker.sendMessageToWorker 1: ${inner}`;
  const cases = [
    ['break on start', [paused('Break on start', [])], [], [through('hub Debugger.resume')]],
    ['a breakpoint of the user\'s there', [paused('Break on start', ['1:0:0:file:///w.js'])],
     ['paused'], []],
    ['only the first pause', [paused('other', []), paused('Break on start', [])],
     ['paused', 'paused'], []],
  ];
  for (const [name, pauses, shown, sent] of cases) {
    const h = attached();
    h.from(0, worker('1', '1', '[worker 1] w', 'file:///w.js'));
    h.call('Target.attachToTarget', {targetId: 'a/worker-1'});
    h.got.length = h.sockets[0].sent.length = 0;
    for (const pause of pauses) h.fromWorker('1', pause);
    assert.deepStrictEqual(h.got.map((m) => JSON.parse(m.params.message).method.slice(9)), shown, name);
    assert.deepStrictEqual(h.sockets[0].sent.map(sentBrief), sent, name);
  }
});

// The page as far as the hub touches it, and the frontend's sdk module.
const pageAt = (href, stores = {}) => {
  class RealSocket {}
  RealSocket.OPEN = 1;
  class HTMLImageElement {}
  Object.defineProperty(HTMLImageElement.prototype, 'src',
                        {configurable: true, set(url) { this.loaded = url; }});
  const page = {patched: [], named: {}, RealSocket};
  const stored = new Map(stores[href] || []);
  const localStorage = {getItem: (key) => stored.has(key) ? stored.get(key) : null,
                        setItem: (key, value) => stored.set(key, value)};
  page.window = {location: new URL(href), WebSocket: RealSocket, HTMLImageElement, localStorage};
  page.stored = stored;
  page.ChildTargetManager = class {
    constructor(type) { this.target = () => ({type: () => type}); }
    attachedToTarget({targetInfo}) { page.patched.push(`${this.target().type()} ${targetInfo.type}`); }
  };
  const targetById = (id) => ({setName: (name) => { page.named[id] = name; }});
  page.TargetManager = class {
    constructor(root) { this.root = root; }
    rootTarget() { return this.root; }
    setScopeTarget(target) { this.scope = target; }
    static instance() { return Object.assign(new page.TargetManager(null), {targetById}); }
  };
  const SDK = {ChildTargetManager: page, Target: {Type: {Browser: 'browser', Node: 'node'}},
               TargetManager: page};
  page.ConsoleView = class {
    constructor() { this.cleared = []; }
    modelRemoved(model) { this.cleared.push(model.target().type()); }
  };
  const Console = {ConsoleView: page};
  load().vorpelHubInstall(page.window, async (module) =>
    ({'core/sdk/sdk.js': SDK, 'panels/console/console.js': Console})[module]);
  return page;
};

test('the hub is only in node_app.html opened for it, where it answers the frontend', async () => {
  const hub = 'node_app.html?ws=vorpel-hub&experiments=true&v8only=true';
  for (const [href, active] of [[hub, true], [`http://devtools.localhost/${hub}`, true],
                                ['node_app.html?ws=127.0.0.1:9229/abc', false],
                                ['node_app.html?ws=vorpel-hub2', false],
                                ['js_app.html?ws=vorpel-hub', false]]) {
    const {window, RealSocket} = pageAt(new URL(href, 'devtools://devtools/').href);
    assert.strictEqual(window.WebSocket !== RealSocket && typeof window.vorpelHubTargets,
                       active && 'function', href);
  }
  // Only the page's own images load; the page may be served over http.
  const logo = 'https://nodejs.org/static/images/logos/nodejs-new-pantone-black.svg';
  const served = `http://devtools.localhost/${hub}`;
  for (const [page, url, loads] of [[hub, logo, false], [hub, 'Images/a.svg', true],
                                    [served, 'data:,', true], [served, logo, false],
                                    [served, 'http://devtools.localhost/a.svg', true]]) {
    const image = new (pageAt(new URL(page, 'devtools://devtools/').href).window.HTMLImageElement)();
    image.src = url;
    assert.strictEqual(image.loaded === url, loads, url);
  }

  // The first run opens on the Console; a panel the user chose stays.
  for (const [before, after] of [[[], '"console"'], [[['panel-selectedTab', '"sources"']], '"sources"']]) {
    const href = `devtools://devtools/${hub}`;
    assert.strictEqual(pageAt(href, {[href]: before}).stored.get('panel-selectedTab'), after);
  }
  const page = pageAt(`devtools://devtools/${hub}`);
  const {window} = page;
  assert.ok(new window.WebSocket('ws://127.0.0.1:9229/abc') instanceof page.RealSocket);
  assert.strictEqual(window.WebSocket.OPEN, 1);
  const socket = new window.WebSocket('ws://vorpel-hub');
  const got = [];
  socket.onmessage = (event) => got.push(brief(JSON.parse(event.data)));
  await new Promise((resolve) => { socket.onopen = resolve; });
  // Open once the child target manager leaves Node targets to node_app.
  for (const [type, of] of [['browser', 'node'], ['browser', 'page'], ['node', 'node']]) {
    new page.ChildTargetManager(type).attachedToTarget({targetInfo: {type: of}});
  }
  assert.deepStrictEqual(page.patched, ['browser page', 'node node']);
  // A finished process's messages stay; other targets go as before.
  await new Promise(setImmediate);
  const view = new page.ConsoleView();
  for (const type of ['node', 'browser']) view.modelRemoved({target: () => ({type: () => type})});
  assert.deepStrictEqual(view.cleared, ['browser']);
  // Every target in view: the scope stays on the browser target.
  for (const [root, chosen, scope] of [['main', 'app.js [1]', 'main'], [null, 'page', 'page']]) {
    const manager = new page.TargetManager(root);
    manager.setScopeTarget(chosen);
    assert.strictEqual(manager.scope, scope);
  }
  window.vorpelHubTargets([a, null, {id: 'no address'}]);
  socket.send('{"id":1,"method":"Target.setDiscoverTargets","params":{"discover":true}}');
  socket.send('{"id":2,"method":"Target.attachToTarget","params":{"targetId":"a"}}');
  await new Promise(setImmediate);
  assert.deepStrictEqual(got, ['created a: server.js [1]', 'answer 1 {}', 'attached a vorpel-1',
                               'answer 2 {"sessionId":"vorpel-1"}']);
  assert.deepStrictEqual(page.named, {a: 'server.js [1]'});
});

// The names the script relies on are the pinned frontend's: a newer one fails here.
test('the pinned frontend has what the hub relies on', (t) => {
  const frontendDir = path.join(__dirname, '..', 'frontend', 'node_modules', 'chii', 'public',
                                'front_end');
  const nodeFile = path.join(frontendDir, 'entrypoints', 'node_app', 'node_app.js');
  if (!fs.existsSync(nodeFile)) return t.skip('the frontend is not installed');
  const nodeApp = fs.readFileSync(nodeFile, 'utf8');
  const sdk = fs.readFileSync(path.join(frontendDir, 'core', 'sdk', 'sdk.js'), 'utf8');
  const expected = [
    [nodeApp, /targetCreated\(\{targetInfo:e\}\)\{"node"!==e\.type\|\|e\.attached\|\|this\.#n\.invoke_attachToTarget\(\{targetId:e\.targetId,flatten:!1\}\)\}/],
    [nodeApp, /nodejsS:"Node\.js: \{PH1\}"/],
    [nodeApp, /attachedToTarget\(\{sessionId:e,targetInfo:t\}\)\{const n=x\(T\.nodejsS,\{PH1:t\.url\}\),o=new S\(this\.#n,e\);.*this\.#e\.createTarget\(t\.targetId,n,a\.Target\.Type\.Node,this\.#t,void 0,void 0,o\);.*invoke_runIfWaitingForDebugger\(\)\}/],
    [nodeApp, /detachedFromTarget\(\{sessionId:e\}\)\{const t=this\.#o\.get\(e\);t&&t\.dispose\(.*receivedMessageFromTarget\(\{sessionId:e,message:t\}\).*sendRawMessage\(e\)\{this\.#n\.invoke_sendMessageToTarget\(\{message:e,sessionId:this\.#r\}\)\}/],
    [nodeApp, /createChild\("img","node-panel-logo"\)\.src="https:\/\/nodejs\.org\/static\/images\/logos\//],
    // The main connection: a WebSocket to ws:// and the ws parameter.
    [sdk, /this\.#ho=new WebSocket\(e\),this\.#ho\.onerror=.*this\.#ho\.onmessage=e=>\{this\.onMessage&&this\.onMessage\.call\(null,e\.data\)\}.*if\(t\|\|n\)\{return new \w+\(t\?`ws:\/\/\$\{t\}`:/],
    [sdk, /class Cs extends c\{.*async attachedToTarget\(\{sessionId:t,targetInfo:n,waitingForDebugger:r\}\)\{if\(this\.#To===n\.targetId\)return;.*ChildTargetManager:Cs,/],
    [sdk, /class c extends e\.ObjectWrapper\.ObjectWrapper\{#e;constructor\(e\)\{super\(\),this\.#e=e\}target\(\)\{return this\.#e\}/],
    [sdk, /e\.Browser="browser".*Object\.freeze\(\{__proto__:null,Target:Ge,get Type\(\)\{return je\}/],
    [sdk, /class Ge extends .*setName\(e\)\{this\.#p!==e&&\(this\.#p=e,this\.#xe\.onNameChange\(this\)\)\}/],
    [sdk, /static instance\(\{forceNew:e\}=\{forceNew:!1\}\)\{return Qe&&!e\|\|\(Qe=new \$e\),Qe\}.*targetById\(e\)\{return this\.targets\(\)\.find\(\(t=>t\.id\(\)===e\)\)\|\|null\}.*Object\.freeze\(\{__proto__:null,TargetManager:\$e,/],
    [sdk, /Ts as ChildTargetManager,.*Ke as Target,Je as TargetManager/],
    // Each new outermost target became the scope; the root target is the first.
    [sdk, /return l!==l\.outermostTarget\(\)\|\|.*\|\|this\.setScopeTarget\(l\),l\}/],
    [sdk, /rootTarget\(\)\{return this\.#Be\.size\?this\.#Be\.values\(\)\.next\(\)\.value:null\}/],
    [sdk, /e\.Node="node"/],
    // The Console empties when an outermost target's model goes.
    [fs.readFileSync(path.join(frontendDir, 'panels', 'console', 'console.js'), 'utf8'),
     /modelRemoved\(t\)\{e\.Settings\.Settings\.instance\(\)\.moduleSetting\("preserveConsoleLog"\)\.get\(\)\|\|t\.target\(\)\.outermostTarget\(\)!==t\.target\(\)\|\|this\.consoleCleared\(\)\}.*ConsoleView:Oe/],
  ];
  for (const [text, pattern] of expected) assert.match(text, pattern);
});
