// Which running scripts the frontend may tie to a file of the workspace.
//
// Written for the frontend of chii 1.15.5 (its models/persistence module).
// Its automapping ties a script to the workspace file of the same file: URL
// and, for a script the source map gave, checks nothing more. Deno, node's
// type stripping and TypeScript loaders run a .ts file under its own URL, so
// the frontend could tie the engine's text to the user's file and write it
// back over it on a save. Here a script is tied to a file only when what it
// shows is the file's text: the same text (a plain script, or a map's copy of
// the source), or the same text with types blanked out at the same places
// (node's type stripping), which is tied line for line and never copied
// either way. Anything else stays apart: the file shows and saves what is on
// disk. Check this again when the frontend is updated.

// `persistence` is the frontend's models/persistence module.
function vorpelWorkspaceBindings(persistence) {
  'use strict';
  const {Automapping} = persistence.Automapping;
  const {PersistenceImpl} = persistence.Persistence;
  // Network sides tied line for line: their texts differ on purpose.
  const lineForLine = new WeakSet();

  const automapping = Automapping.prototype;
  // As the frontend's own, with the check of the texts put in its place.
  automapping.computeNetworkStatus = function (network) {
    const pending = this.sourceCodeToProcessingPromiseMap.get(network);
    if (pending) return pending;
    if (this.sourceCodeToAutoMappingStatusMap.has(network)) return Promise.resolve();
    if (this.interceptors.some((intercepts) => intercepts(network))) return Promise.resolve();
    if (network.url().startsWith('wasm:')) return Promise.resolve();
    const promise = this.createBinding(network)
        .then(async (status) => {
          if (!status || this.sourceCodeToProcessingPromiseMap.get(network) !== promise) return null;
          const kind = await vorpelWorkspaceBindings.kindOf(status, PersistenceImpl);
          if (this.sourceCodeToProcessingPromiseMap.get(network) !== promise) return null;
          if (kind === null) {
            this.prevalidationFailedForTest(status);
            return null;
          }
          if (kind === 'lines') lineForLine.add(status.network);
          else lineForLine.delete(status.network);
          return status;
        })
        .then(async (status) => {
          if (this.sourceCodeToProcessingPromiseMap.get(network) !== promise) return;
          if (!status) {
            this.onBindingFailedForTest();
            this.sourceCodeToProcessingPromiseMap.delete(network);
            return;
          }
          if (this.sourceCodeToAutoMappingStatusMap.has(status.network) ||
              this.sourceCodeToAutoMappingStatusMap.has(status.fileSystem)) {
            this.sourceCodeToProcessingPromiseMap.delete(network);
            return;
          }
          this.statuses.add(status);
          this.sourceCodeToAutoMappingStatusMap.set(status.network, status);
          this.sourceCodeToAutoMappingStatusMap.set(status.fileSystem, status);
          if (status.exactMatch) {
            const folder = this.projectFoldersIndex.closestParentFolder(status.fileSystem.url());
            if (folder && this.activeFoldersIndex.addFolder(folder)) this.scheduleSweep();
          }
          await this.onStatusAdded.call(null, status);
          this.sourceCodeToProcessingPromiseMap.delete(network);
        });
    this.sourceCodeToProcessingPromiseMap.set(network, promise);
    return promise;
  };

  // A file tied line for line keeps its own text, and the script its own:
  // an edit of the file is saved to disk and never sent to the engine.
  const persistenceImpl = PersistenceImpl.prototype;
  for (const name of ['syncWorkingCopy', 'syncContent']) {
    const sync = persistenceImpl[name];
    persistenceImpl[name] = function (uiSourceCode, ...rest) {
      const binding = this.binding(uiSourceCode);
      if (binding && lineForLine.has(binding.network)) return;
      return sync.call(this, uiSourceCode, ...rest);
    };
  }
}

// 'same' when the script shows the file's text, 'lines' when it shows that
// text with some of it blanked at the same places, null otherwise.
vorpelWorkspaceBindings.kindOf = async (status, PersistenceImpl) => {
  const {network, fileSystem} = status;
  if (!fileSystem.contentType().isTextType()) return 'same';
  if (fileSystem.isDirty() && (network.isDirty() || network.hasCommits())) return null;
  const [file, script] = await Promise.all([fileSystem.requestContent(), network.requestContent()]);
  if (typeof file.content !== 'string' || typeof script.content !== 'string') return null;
  if (file.isEncoded || script.isEncoded) return null;
  const disk = file.content;
  // What the frontend would copy into the file: the script's text as it
  // stands, live edits included.
  const shown = network.content() ?? script.content;
  if (disk.trimEnd() === shown.trimEnd()) return 'same';
  // Node before 12 wraps a module in a function, which the frontend takes off.
  if (disk === PersistenceImpl.rewrapNodeJSContent(fileSystem, disk, shown)) return 'same';
  if (network.contentType().isFromSourceMap() || network.hasCommits()) return null;
  return vorpelWorkspaceBindings.blankedAtSamePlaces(disk, shown) ? 'lines' : null;
};

// Whether `script` is `disk` with characters turned into spaces (or the
// semicolon a stripped type may leave) and nothing moved: every line the same
// length, plus a last "//# sourceURL=" line the engine may add.
vorpelWorkspaceBindings.blankedAtSamePlaces = (disk, script) => {
  // Trailing blanks are dropped on both sides: the file's last lines may be
  // types, blanked in the script.
  script = script.replace(/\n\/\/[#@] sourceURL=[^\n]*\s*$/, '').trimEnd();
  disk = disk.trimEnd();
  if (script.length > disk.length) return false;
  for (let i = 0; i < script.length; ++i) {
    const kept = script[i];
    if (kept === disk[i]) continue;
    if (disk[i] === '\n' || disk[i] === '\r' || (kept !== ' ' && kept !== ';')) return false;
  }
  return true;
};
