// Lets the frontend's node_app.html show many Node targets in one window: the
// processes the program lists and their worker threads. For the top frame at
// document start; it acts only in node_app.html opened with ws=vorpel-hub.
//
// node_app connects to `ws://` + its ws parameter and takes what answers as a
// browser that lists Node targets in the Target domain. Here the page answers
// that socket itself: each target the program gives to vorpelHubTargets(list)
// becomes one, and each of its workers (the NodeWorker domain) another, on the
// target's own WebSocket.
//
// Written for the frontend of chii 1.15.5: node_app's target model, the child
// target manager and the Target and TargetManager of core/sdk; the names used
// here are that version's, and target_hub.test.js checks that they are still
// there. Check them again when the frontend is updated.

// The ws parameter that asks for the hub; the program opens the page with it.
const vorpelHubMarker = 'vorpel-hub';

// The Target domain of a browser whose targets are the listed programs and
// their workers. `openSocket(url)` gives a WebSocket, `toFrontend(text)` hands
// the frontend a message, `nameTarget(targetId, name)` names its target.
function vorpelTargetHub(page) {
  'use strict';
  const {openSocket, toFrontend, later, now, nameTarget} = page;
  // A finished program waits for the debugger to go before it exits.
  const kExitMs = 200;
  // The program's list may still hold a target that just ended.
  const kRelistMs = 2000;
  // Ids of the hub's own commands, far above the frontend's.
  let lastOwnId = 2 ** 30;
  let lastSession = 0;
  let discovering = false;
  const targets = new Map();
  const sessions = new Map();
  // The program's id: how many targets it has had, and the latest.
  const listed = new Map();
  const emit = (method, params) => toFrontend(JSON.stringify({method, params}));
  const announce = (target) => {
    target.announced = true;
    emit('Target.targetCreated', {targetInfo: info(target, false)});
  };
  const info = (target, attached) => ({targetId: target.targetId, type: 'node', title: target.name,
                                      url: target.name, attached, canAccessOpener: false});

  const make = (fields) => {
    const target = {session: null, socket: null, open: false, queue: [], own: new Set(),
                    contexts: new Set(), hadContext: false, workers: new Map(), gone: false,
                    announced: false, endedAt: 0, ...fields};
    targets.set(target.targetId, target);
    if (discovering) announce(target);
    return target;
  };
  // A worker's messages go through its parent's session.
  const send = (target, text) => {
    if (target.parent) {
      command(target.parent, 'NodeWorker.sendMessageToWorker', {sessionId: target.workerSession,
                                                                 message: text});
    } else if (target.open) {
      target.socket.send(text);
    } else {
      target.queue.push(text);
    }
  };
  // Its answer is the hub's: the frontend never sees it.
  const command = (target, method, params) => {
    const id = ++lastOwnId;
    target.own.add(id);
    send(target, JSON.stringify({id, method, params}));
  };
  const enableWorkers = (target) => command(target, 'NodeWorker.enable', {waitForDebuggerOnStart: true});

  const end = (target) => {
    if (target.gone) return;
    target.gone = true;
    target.endedAt = now();
    for (const worker of target.workers.values()) end(worker);
    if (target.socket) {
      const {socket} = target;
      socket.onopen = socket.onmessage = socket.onerror = socket.onclose = null;
      socket.close();
    }
    if (target.parent) target.parent.workers.delete(target.workerSession);
    targets.delete(target.targetId);
    if (target.session) {
      sessions.delete(target.session);
      emit('Target.detachedFromTarget', {sessionId: target.session, targetId: target.targetId});
    }
    if (target.announced) emit('Target.targetDestroyed', {targetId: target.targetId});
  };

  const connect = (target) => {
    try {
      target.socket = openSocket(target.ws);
    } catch (_) {
      return end(target);
    }
    const {socket} = target;
    socket.onopen = () => {
      target.open = true;
      enableWorkers(target);
      for (const text of target.queue.splice(0)) socket.send(text);
    };
    socket.onmessage = (event) => receive(target, String(event.data));
    socket.onerror = socket.onclose = () => end(target);
  };

  // A message from a target. Only those that may concern the hub are parsed
  // here: parsing a heap snapshot's chunks twice would double the page's work.
  const receive = (target, text) => {
    let message = null;
    if (text.length < 256 || /"(NodeWorker\.|Runtime\.executionContext)/.test(text) ||
        (target.holdsBreak && text.includes('"Break on start"'))) {
      try {
        message = JSON.parse(text);
      } catch (_) {}
    }
    if (message && target.own.delete(message.id)) return;
    const method = message ? message.method : undefined;
    if (typeof method === 'string' && method.startsWith('NodeWorker.')) {
      return worker(target, method, message.params || {});
    }
    // A worker held for the window stops on its first line once let go, as
    // under --inspect-brk; a run under the window only waits, so it goes on,
    // unless a breakpoint of the user's is there.
    if (target.holdsBreak && method === 'Debugger.paused') {
      target.holdsBreak = false;
      const {reason, hitBreakpoints = []} = message.params || {};
      if (reason === 'Break on start' && !hitBreakpoints.length) {
        return command(target, 'Debugger.resume', {});
      }
    }
    // The Console's context menu and the Threads list name a context by
    // its own name, which Node makes from its binary's path for every
    // process alike: the target's name tells them apart.
    if (method === 'Runtime.executionContextCreated' && message.params && message.params.context) {
      message.params.context.name = target.name;
      text = JSON.stringify(message);
    }
    if (target.session) {
      emit('Target.receivedMessageFromTarget', {sessionId: target.session, message: text});
    }
    if (!target.parent && method) countContexts(target, method, message.params || {});
  };

  // Node keeps a finished program alive while a session is attached; once its
  // last context goes the socket is closed, so that it can exit.
  const countContexts = (target, method, params) => {
    const {contexts} = target;
    if (method === 'Runtime.executionContextCreated' && params.context) {
      contexts.add(params.context.id);
      target.hadContext = true;
    } else if (method === 'Runtime.executionContextsCleared') {
      contexts.clear();
    } else if (method === 'Runtime.executionContextDestroyed') {
      contexts.delete(params.executionContextId);
      if (target.hadContext && !contexts.size) {
        later(() => contexts.size || end(target), kExitMs);
      }
    }
  };

  const worker = (parent, method, params) => {
    const known = parent.workers.get(params.sessionId);
    if (method === 'NodeWorker.receivedMessageFromWorker') {
      if (known) receive(known, String(params.message));
    } else if (method === 'NodeWorker.detachedFromWorker') {
      if (known) end(known);
    } else if (method === 'NodeWorker.attachedToWorker') {
      const root = parent.root || parent;
      const {workerId = '', title = '', url = ''} = params.workerInfo || {};
      const targetId = `${root.targetId}/worker-${workerId}`;
      // Node 20 tells the process of every worker, a worker's own too; a
      // worker told of twice is let go the second time.
      if (targets.has(targetId)) {
        return command(parent, 'NodeWorker.detach', {sessionId: params.sessionId});
      }
      // Node's title starts with "[worker N]", which the name says already.
      const shown = String(title).replace(/^\[worker \d+\]\s*/, '') ||
                    String(url).slice(String(url).lastIndexOf('/') + 1);
      const child = make({targetId, name: `${shown} (worker ${workerId} of ${root.name})`, parent,
                          root, workerSession: params.sessionId, holdsBreak: true});
      parent.workers.set(params.sessionId, child);
      enableWorkers(child);
    }
  };

  const fromFrontend = (text) => {
    const {id, method, params = {}, sessionId} = JSON.parse(text);
    const answer = (result) => toFrontend(JSON.stringify({id, result}));
    const fail = (message) => toFrontend(JSON.stringify({id, error: {code: -32602, message}}));
    // Only the child target manager's targets are flattened, and it makes none.
    if (sessionId) return toFrontend(JSON.stringify({id, sessionId, result: {}}));
    const session = sessions.get(params.sessionId);
    switch (method) {
      case 'Target.setDiscoverTargets':
        if (params.discover && !discovering) {
          discovering = true;
          for (const target of targets.values()) announce(target);
        }
        return answer({});
      case 'Target.getTargetInfo':
        return answer({targetInfo: {targetId: vorpelHubMarker, type: 'browser', title: '', url: '',
                                    attached: true, canAccessOpener: false}});
      case 'Target.attachToTarget': {
        const target = targets.get(params.targetId);
        if (!target || target.session) return fail('No target to attach to: ' + params.targetId);
        target.session = `vorpel-${++lastSession}`;
        sessions.set(target.session, target);
        emit('Target.attachedToTarget', {sessionId: target.session, targetInfo: info(target, true),
                                         waitingForDebugger: false});
        answer({sessionId: target.session});
        nameTarget(target.targetId, target.name);
        if (!target.parent) connect(target);
        return;
      }
      case 'Target.sendMessageToTarget':
        if (!session) return fail('No session with given id');
        send(session, String(params.message));
        return answer({});
      case 'Target.detachFromTarget':
        if (session && session.parent) {
          command(session.parent, 'NodeWorker.detach', {sessionId: session.workerSession});
        }
        if (session) end(session);
        return answer({});
      default:
        return answer({});
    }
  };

  // The whole live list, every time: {id, name, ws} each.
  const setTargets = (list) => {
    const ids = new Set();
    for (const {id, name = id, ws} of list) {
      ids.add(id);
      const entry = listed.get(id) || {count: 0, target: null};
      listed.set(id, entry);
      let {target} = entry;
      if (target && !target.gone && target.ws !== ws) end(target);
      if (target && !target.gone) {
        target.name = name;
        continue;
      }
      if (target && target.ws === ws && now() - target.endedAt < kRelistMs) continue;
      // A new id, so that the frontend attaches again.
      entry.count++;
      target = make({targetId: entry.count > 1 ? `${id}#${entry.count}` : id, name, ws});
      entry.target = target;
    }
    for (const [id, entry] of listed) {
      if (!ids.has(id) && entry.target) end(entry.target);
      if (!ids.has(id)) entry.target = null;
    }
    // The frontend makes its target after the attach; it is named again here.
    for (const target of targets.values()) {
      if (target.session) nameTarget(target.targetId, target.name);
    }
  };

  return {fromFrontend, setTargets};
}

// Puts the hub in the page: the frontend's socket to ws://vorpel-hub is the
// hub, and window.vorpelHubTargets(list) gives it the program's targets.
function vorpelHubInstall(window, importModule) {
  'use strict';
  const {location} = window;
  if (!/(^|\/)node_app\.html$/.test(location.pathname) ||
      new URLSearchParams(location.search).get('ws') !== vorpelHubMarker) {
    return;
  }
  // The program reads nothing from the network but its targets: the
  // Connection panel's logo is on nodejs.org. The page itself may be served
  // over http (WebView2), and its own images are.
  const fromPage = (value) => {
    try {
      const url = new URL(String(value), location.href);
      return !/^https?:$/.test(url.protocol) || url.origin === location.origin;
    } catch (_) {
      return true;
    }
  };
  const image = window.HTMLImageElement ?
      Object.getOwnPropertyDescriptor(window.HTMLImageElement.prototype, 'src') : undefined;
  if (image && image.set) {
    Object.defineProperty(window.HTMLImageElement.prototype, 'src', {...image, set(value) {
      if (fromPage(value)) image.set.call(this, value);
    }});
  }

  // A first run would open on the Connection panel, whose addresses the hub
  // does not use ("No connections specified" while processes run): the
  // Console instead, until the user picks a panel.
  try {
    const storage = window.localStorage;
    if (storage && storage.getItem('panel-selectedTab') === null) {
      storage.setItem('panel-selectedTab', '"console"');
    }
  } catch (_) {}

  // The child target manager would make every Node target a second time, as
  // a browser target on a flattened session; node_app's model makes them.
  const sdk = importModule('core/sdk/sdk.js').then((SDK) => {
    const manager = SDK.ChildTargetManager.ChildTargetManager.prototype;
    const attachedToTarget = manager.attachedToTarget;
    manager.attachedToTarget = function (event) {
      if (event.targetInfo.type === 'node' && this.target().type() === SDK.Target.Type.Browser) {
        return Promise.resolve();
      }
      return attachedToTarget.call(this, event);
    };
    // The frontend shows one target's subtree at a time, the one chosen in
    // the Console's context menu, and each new Node target takes that place:
    // with many processes the Console and Sources showed only the newest
    // and nothing of the rest. Scoped to the browser target, every target is
    // in view, interleaved as in a terminal; the context menu still picks
    // where the Console evaluates, and "Selected context only" filters.
    const targets = SDK.TargetManager.TargetManager.prototype;
    const setScopeTarget = targets.setScopeTarget;
    targets.setScopeTarget = function (target) {
      return setScopeTarget.call(this, this.rootTarget() || target);
    };
    // The Console empties itself when an outermost target goes, as for a
    // page that navigates. Here every process and worker is outermost, so
    // the first that ended took every other's messages with it; the window
    // keeps what a finished program said.
    importModule('panels/console/console.js').then((Console) => {
      const view = Console.ConsoleView.ConsoleView.prototype;
      const modelRemoved = view.modelRemoved;
      view.modelRemoved = function (model) {
        if (model.target().type() === SDK.Target.Type.Node) return;
        return modelRemoved.call(this, model);
      };
    }).catch(() => {});
    return SDK;
  }).catch(() => null);
  const nameTarget = (targetId, name) => {
    sdk.then((SDK) => {
      const target = SDK && SDK.TargetManager.TargetManager.instance().targetById(targetId);
      if (target) target.setName(name);
    }).catch(() => {});
  };

  const RealWebSocket = window.WebSocket;
  let frontend = null;
  const hub = vorpelTargetHub({
    openSocket: (url) => new RealWebSocket(url),
    // As a socket would, a message comes after the call that caused it.
    toFrontend: (text) => Promise.resolve().then(() => {
      if (frontend && frontend.onmessage) frontend.onmessage({data: text});
    }),
    later: (callback, ms) => setTimeout(callback, ms),
    now: () => Date.now(),
    nameTarget,
  });
  class HubSocket {
    constructor(url) {
      Object.assign(this, {url, readyState: 0, onopen: null, onmessage: null, onerror: null,
                           onclose: null});
      // Opened once the child target manager is patched.
      sdk.then(() => {
        if (this.readyState !== 0) return;
        this.readyState = 1;
        frontend = this;
        if (this.onopen) this.onopen({type: 'open'});
      });
    }
    send(text) {
      if (this.readyState === 1) hub.fromFrontend(String(text));
    }
    close() {
      this.readyState = 3;
      if (frontend === this) frontend = null;
    }
  }
  window.WebSocket = class WebSocket extends RealWebSocket {
    constructor(url, protocols) {
      if (String(url).replace(/\/+$/, '') === `ws://${vorpelHubMarker}`) return new HubSocket(url);
      super(url, protocols);
    }
  };
  window.vorpelHubTargets = (list) => {
    if (Array.isArray(list)) hub.setTargets(list.filter((entry) => entry && entry.id && entry.ws));
  };
}

(() => {
  if (typeof window === 'undefined' || window.top !== window) return;
  vorpelHubInstall(window, (path) => import(new URL(path, location.href).href));
})();
