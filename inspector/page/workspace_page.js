// The page side of the --workspace host, run in the frontend's own frame
// before its scripts: puts the program's methods on the frontend's
// InspectorFrontendHost and stands in for the browser file system API that
// the Workspace uses.
//
// The program runs this text in one function after a transport, which
// defines post(text) and listen(receive), and after workspace_bindings.js;
// `hostMethods` names the calls the program serves.
//
// Written for the frontend of chii 1.15.5: its host stub, the Workspace's use
// of file system entries, and its core/common and models/persistence modules.
// Check them again when the frontend is updated.

const callbacks = new Map();
let lastId = 0;
const call = (method, params) => new Promise((resolve, reject) => {
  const id = ++lastId;
  callbacks.set(id, {resolve, reject});
  post(JSON.stringify({id, method, params}));
});
const report = (text) => {
  import(new URL('core/common/common.js', location.href).href)
      .then((common) => common.Console.Console.instance().error(text), () => console.error(text));
};
listen((message) => {
  if (message.event === 'vorpelError') return report(message.params[0]);
  if (message.event !== undefined) {
    const api = window.InspectorFrontendAPI;
    if (api && typeof api[message.event] === 'function') api[message.event](...message.params);
    return;
  }
  const pending = callbacks.get(message.id);
  callbacks.delete(message.id);
  if (pending) message.error ? pending.reject(message.error) : pending.resolve(message.result);
});

const failWith = (callback) => (error) => {
  if (callback) callback(Object.assign(new Error(error.message), {name: error.name}));
};
const encode = (bytes) => {
  let text = '';
  for (let i = 0; i < bytes.length; i += 32768) {
    text += String.fromCharCode.apply(null, bytes.subarray(i, i + 32768));
  }
  return btoa(text);
};
const decode = (base64) => Uint8Array.from(atob(base64), (c) => c.charCodeAt(0));

// The parts of the browser's file system entries the Workspace uses; the
// program checks every path against the folders the user gave.
class Entry {
  constructor(root, fullPath, isDirectory) {
    Object.assign(this, {root, fullPath, isDirectory, isFile: !isDirectory});
    this.name = fullPath.slice(fullPath.lastIndexOf('/') + 1);
  }
  get path() { return this.root + this.fullPath; }
  child(path) {
    const joined = path.startsWith('/') ? path : this.fullPath + '/' + path;
    const names = joined.split('/').filter(Boolean);
    return names.length ? '/' + names.join('/') : '';
  }
  open(path, folder, options, ok, error) {
    const fullPath = this.child(path);
    const create = Boolean(options && options.create);
    const exclusive = Boolean(options && options.exclusive);
    call('file.open', [this.root + fullPath, folder, create, exclusive])
        .then(() => ok && ok(new Entry(this.root, fullPath, folder)), failWith(error));
  }
  getFile(path, options, ok, error) { this.open(path, false, options, ok, error); }
  getDirectory(path, options, ok, error) { this.open(path, true, options, ok, error); }
  createReader() {
    let read = false;
    return {readEntries: (ok, error) => {
      if (read) return ok([]);
      read = true;
      call('file.entries', [this.path]).then(
          (list) => ok(list.map((e) => new Entry(this.root, this.fullPath + '/' + e.name, e.folder))),
          failWith(error));
    }};
  }
  getMetadata(ok, error) {
    call('file.status', [this.path]).then(
        (s) => ok({modificationTime: new Date(s.modified), size: s.size}), failWith(error));
  }
  file(ok, error) {
    call('file.read', [this.path]).then((data) => ok(new Blob([decode(data)])), failWith(error));
  }
  createWriter(ok) {
    const entry = this;
    ok({
      onwriteend: null,
      onerror: null,
      write(blob) {
        blob.arrayBuffer()
            .then((buffer) => call('file.write', [entry.path, encode(new Uint8Array(buffer))]))
            .then(() => this.onwriteend && this.onwriteend(), (e) => this.onerror && this.onerror(e));
      },
      // The write replaced the whole file already.
      truncate() { setTimeout(() => this.onwriteend && this.onwriteend(), 0); },
    });
  }
  remove(ok, error) { call('file.remove', [this.path]).then(() => ok && ok(), failWith(error)); }
  removeRecursively(ok, error) {
    failWith(error)({name: 'NoModificationAllowedError', message: 'folders are not removed'});
  }
  getParent(ok) {
    ok(new Entry(this.root, this.fullPath.slice(0, this.fullPath.lastIndexOf('/')), true));
  }
  moveTo(parent, name, ok, error) {
    const fullPath = parent.fullPath + '/' + name;
    call('file.rename', [this.path, parent.root + fullPath])
        .then(() => ok && ok(new Entry(this.root, fullPath, this.isDirectory)), failWith(error));
  }
}

const overrides = {
  isolatedFileSystem: (name) => ({name, root: new Entry(name, '', true)}),
  upgradeDraggedFileSystemPermissions: () => {},
};
// Only calls that take a callback wait for an answer.
for (const name of hostMethods) {
  overrides[name] = (...args) => {
    if (typeof args[args.length - 1] !== 'function') {
      return post(JSON.stringify({id: 0, method: name, params: args}));
    }
    const callback = args.pop();
    call(name, args).then(callback, () => callback({statusCode: 500}));
  };
}
// The stub is made while the frontend's modules load; its persistence
// module is among them, so asking for it then adds no module of its own.
let bindings;
const tieOnlySameTexts = () => {
  bindings = bindings || import(new URL('models/persistence/persistence.js', location.href).href)
      .then(vorpelWorkspaceBindings, (error) => report('workspace: ' + error));
};
// The frontend keeps the host that exists when it starts and fills in what it
// lacks from its own stub; taking the stub as it is assigned and putting the
// program's methods on it keeps every other method as the stub has it.
let host;
Object.defineProperty(window, 'InspectorFrontendHost', {
  configurable: true,
  get: () => host,
  set: (stub) => {
    host = Object.assign(stub, overrides);
    tieOnlySameTexts();
  },
});
