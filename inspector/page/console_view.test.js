// node --test: the Console's skipped filter passes and its released rows.
'use strict';
const test = require('node:test');
const assert = require('node:assert');
const fs = require('node:fs');
const path = require('node:path');

const source = fs.readFileSync(path.join(__dirname, 'console_view.js'), 'utf8');
const load = () => new Function(`${source}\nreturn {vorpelConsolePace, vorpelConsoleRows};`)();

// The console view's filter state, as the frontend keeps it.
class View {
  constructor() {
    this.passes = 0;
    this.searchRegex = null;
    this.isSidebarOpen = false;
    this.levels = {info: true};
    this.filter = {
      currentFilter: {parsedFilters: [], executionContext: null},
      messageLevelFiltersSetting: {get: () => this.levels},
    };
    this.sidebar = {selectedTreeElement: null};
  }
  onFilterChanged() { this.passes++; }
}

test('a pass that could change nothing is skipped; every change filters again', () => {
  const {vorpelConsolePace} = load();
  vorpelConsolePace(View);
  const group = {filter: () => ({parsedFilters: [{key: 'url', text: 'a.js'}]})};
  // [what happens before the pass, whether it filters]
  const steps = [
    ['the first pass', () => {}, true],
    ['a link resolves', () => {}, false],
    ['another link resolves', () => {}, false],
    ['a level is hidden', (v) => { v.levels = {info: false}; }, true],
    ['the sidebar opens', (v) => { v.isSidebarOpen = true; }, true],
    ['a file is picked in the sidebar', (v) => { v.sidebar.selectedTreeElement = group; }, true],
    ['a link resolves', () => {}, false],
    ['a context is picked', (v) => { v.filter.currentFilter.executionContext = {id: 2}; }, true],
    ['a keyed filter', (v) => { v.filter.currentFilter.parsedFilters = [{key: 'url', text: 'x'}]; },
     true],
    ['a link resolves', () => {}, false],
    ['a text filter', (v) => { v.filter.currentFilter.parsedFilters = [{text: 'tick'}]; }, true],
    ['a link resolves under a text filter', () => {}, true],
    ['a regular expression', (v) => { v.filter.currentFilter.parsedFilters = [{regex: /t/}]; }, true],
    ['a link resolves under it', () => {}, true],
    ['the filter emptied', (v) => { v.filter.currentFilter.parsedFilters = []; }, true],
    ['a search opens', (v) => { v.searchRegex = /tick/; }, true],
    ['a link resolves while searching', () => {}, true],
    ['the search closes', (v) => { v.searchRegex = null; }, true],
    ['a link resolves', () => {}, false],
    ['a view this was not written for', (v) => { v.filter = null; }, true],
    ['and again', () => {}, true],
  ];
  const view = new View();
  for (const [name, change, filters] of steps) {
    const before = view.passes;
    change(view);
    view.onFilterChanged();
    assert.strictEqual(view.passes - before, filters ? 1 : 0, name);
  }
});

// Just enough of the DOM for the rows: children, attributes, shadow roots.
class Element {
  constructor(classes = [], attributes = {}) {
    this.children = [];
    this.parent = null;
    this.shadowRoot = null;
    this.classList = {contains: (name) => classes.includes(name)};
    this.attributes = attributes;
    this.listeners = {};
  }
  append(...children) {
    for (const child of children) {
      child.parent = this;
      this.children.push(child);
    }
    return this;
  }
  get textContent() { return (this.text || '') + this.children.map((c) => c.textContent).join(''); }
  get firstElementChild() { return this.children[0] || null; }
  get nextElementSibling() {
    const siblings = this.parent ? this.parent.children : [];
    return siblings[siblings.indexOf(this) + 1] || null;
  }
  get isConnected() { return this.parent ? this.parent.isConnected : this.connected === true; }
  getAttribute(name) { return this.attributes[name] ?? null; }
  remove() {
    if (this.parent) this.parent.children.splice(this.parent.children.indexOf(this), 1);
    this.parent = null;
  }
  addEventListener(type, listener) { this.listeners[type] = listener; }
}

// The frontend's message, viewport and linkifier, as far as the rows use them.
const frontend = () => {
  const infos = new WeakMap();
  const unbound = [];
  class Linkifier {
    static linkInfo(anchor) { return infos.get(anchor) || null; }
    static unbindUILocation(anchor) { unbound.push(anchor); }
  }
  const linkifier = {anchorsByTarget: new Map([['target', []]])};
  const link = (resolved = true) => {
    const anchor = new Element(['devtools-link']);
    const info = {liveLocation: null, disposed: 0};
    if (resolved) info.liveLocation = {dispose: () => info.disposed++};
    infos.set(anchor, info);
    linkifier.anchorsByTarget.get('target').push(anchor);
    return {anchor, info};
  };
  class ConsoleViewMessage {
    constructor(build) {
      this.build = build;
      this.linkifier = linkifier;
      this.elementInternal = null;
      this.contentElementInternal = null;
      this.builds = 0;
      this.repeatCountInternal = 1;
      this.traceExpanded = false;
      this.searchRegexInternal = null;
    }
    toMessageElement() {
      if (!this.elementInternal) {
        this.elementInternal = new Element(['console-message-wrapper']);
        this.elementInternal.append(this.contentElement());
      }
      return this.elementInternal;
    }
    contentElement() {
      if (!this.contentElementInternal) {
        this.builds++;
        this.contentElementInternal = this.build();
      }
      return this.contentElementInternal;
    }
    setSearchRegex(regex) {
      this.searchRegexInternal = regex;
      this.searchHighlightNodes = regex && regex.test(this.contentElement().textContent) ? [1] : [];
    }
    matchesFilterText(text) { return this.contentElement().textContent.includes(text); }
    matchesFilterRegex(regex) { return regex.test(this.contentElement().textContent); }
  }
  class ConsoleGroupViewMessage extends ConsoleViewMessage {}
  class ConsoleViewport {
    constructor() {
      this.renderedItems = [];
      this.anchorSelection = null;
      this.headSelection = null;
      this.screen = Object.assign(new Element(), {connected: true});
    }
    show(rows) {
      for (const row of this.renderedItems) row.elementInternal.remove();
      this.renderedItems = rows;
      for (const row of rows) this.screen.append(row.toMessageElement());
      this.refresh();
    }
    refresh() {}
  }
  const consoleModule = {
    ConsoleViewMessage: {ConsoleViewMessage, ConsoleGroupViewMessage},
    ConsoleViewport: {ConsoleViewport},
  };
  return {consoleModule, Linkifier, linkifier, link, unbound, ConsoleViewMessage,
          ConsoleGroupViewMessage, viewport: new ConsoleViewport()};
};

// Runs the rows' timers by hand, on a clock of its own.
const withTimers = (run) => {
  const realSetTimeout = global.setTimeout;
  let pending = [];
  global.setTimeout = (callback) => pending.push(callback);
  const clock = {now: 0};
  const tick = (ms) => {
    clock.now += ms;
    const due = pending;
    pending = [];
    for (const callback of due) callback();
  };
  try {
    run(clock, tick);
  } finally {
    global.setTimeout = realSetTimeout;
  }
};

test('a message long off screen gives its elements and links up, and is drawn again', () => {
  withTimers((clock, tick) => {
    const f = frontend();
    const {vorpelConsoleRows} = load();
    vorpelConsoleRows(f.consoleModule, f.Linkifier, () => clock.now);
    const links = [];
    const rowOf = (make) => new f.ConsoleViewMessage(make);
    const plain = () => new Element(['console-message']).append(new Element(['text']));
    const linked = () => {
      const made = f.link();
      links.push(made);
      const host = new Element();
      // Links inside a shadow root count too, as in a stack trace.
      host.shadowRoot = new Element().append(made.anchor);
      return new Element(['console-message']).append(host);
    };
    const expanded = () => new Element().append(
        new Element(['parent', 'expanded'], {role: 'treeitem'}));
    const cases = [
      ['a plain message', rowOf(plain), true],
      ['a message with a link', rowOf(linked), true],
      ['a message with an expanded object', rowOf(expanded), false],
      ['a message with its stack shown', Object.assign(rowOf(plain), {traceExpanded: true}), false],
      ['a message a search marks', Object.assign(rowOf(plain), {searchRegexInternal: /a/}), false],
      ['a group', new f.ConsoleGroupViewMessage(plain), false],
    ];
    const clicked = rowOf(plain);
    const onScreen = rowOf(plain);
    const rows = [...cases.map(([, row]) => row), clicked];
    f.viewport.show(rows);
    clicked.elementInternal.listeners.mousedown();
    f.viewport.show([onScreen]);
    tick(1000);
    for (const [name, row] of cases) assert.ok(row.contentElementInternal, `${name}: kept at first`);
    tick(5000);
    tick(1000);
    for (const [name, row, released] of cases) {
      assert.strictEqual(row.contentElementInternal === null, released, name);
      assert.strictEqual(row.elementInternal === null, released, name);
    }
    assert.ok(clicked.contentElementInternal, 'a message the user clicked');
    assert.ok(onScreen.contentElementInternal, 'the message on screen');
    // The link is no longer kept up to date, nor listed.
    assert.strictEqual(links[0].info.disposed, 1);
    assert.strictEqual(links[0].info.liveLocation, null);
    assert.deepStrictEqual(f.unbound, [links[0].anchor]);
    assert.deepStrictEqual(f.linkifier.anchorsByTarget.get('target'), []);
    // Back on screen it is drawn again from the same data, with its repeat count.
    const [, [, again]] = cases;
    again.repeatCountInternal = 3;
    f.viewport.show([again]);
    assert.strictEqual(again.builds, 2);
    assert.strictEqual(again.repeatCountInternal, 3);
    assert.strictEqual(links[1].info.disposed, 0);
    assert.ok(f.linkifier.anchorsByTarget.get('target').includes(links[1].anchor));
  });
});

test('a link still resolving, or a selection, holds a release back', () => {
  withTimers((clock, tick) => {
    const f = frontend();
    const {vorpelConsoleRows} = load();
    vorpelConsoleRows(f.consoleModule, f.Linkifier, () => clock.now);
    const pending = f.link(false);
    const row = new f.ConsoleViewMessage(() => new Element().append(pending.anchor));
    const plain = new f.ConsoleViewMessage(() => new Element());
    f.viewport.show([row, plain]);
    f.viewport.show([]);
    f.viewport.headSelection = {item: 0};
    f.viewport.refresh();
    tick(10000);
    assert.ok(plain.contentElementInternal, 'kept while text is selected');
    f.viewport.headSelection = null;
    f.viewport.refresh();
    tick(1000);
    assert.strictEqual(plain.contentElementInternal, null);
    assert.ok(row.contentElementInternal, 'kept while its link resolves');
    // A link that never resolves is let go after a while.
    for (let waited = 0; waited < 30000; waited += 1000) tick(1000);
    assert.strictEqual(row.contentElementInternal, null);
    assert.deepStrictEqual(f.linkifier.anchorsByTarget.get('target'), []);
  });
});

test('a released message is searched and filtered on the text it showed', () => {
  withTimers((clock, tick) => {
    const f = frontend();
    const {vorpelConsoleRows} = load();
    vorpelConsoleRows(f.consoleModule, f.Linkifier, () => clock.now);
    const text = (words) => () => new Element().append(Object.assign(new Element(), {text: words}));
    const rows = [new f.ConsoleViewMessage(text('tick 1')), new f.ConsoleViewMessage(text('tock 2'))];
    f.viewport.show(rows);
    f.viewport.show([]);
    tick(6000);
    tick(1000);
    assert.ok(rows.every((row) => row.contentElementInternal === null));
    assert.deepStrictEqual(rows.map((row) => row.matchesFilterText('tick')), [true, false]);
    assert.deepStrictEqual(rows.map((row) => row.matchesFilterRegex(/o/g)), [false, true]);
    assert.deepStrictEqual(rows.map((row) => row.builds), [1, 1], 'not drawn to be filtered');
    // A search draws only the messages it matches, and none is let go under it.
    for (const row of rows) row.setSearchRegex(/tick/g);
    assert.deepStrictEqual(rows.map((row) => row.builds), [2, 1]);
    assert.deepStrictEqual(rows.map((row) => row.searchHighlightNodes.length), [1, 0]);
    f.viewport.refresh();
    tick(10000);
    assert.ok(rows[0].contentElementInternal, 'a marked message keeps its elements');
    for (const row of rows) row.setSearchRegex(null);
    f.viewport.refresh();
    tick(1000);
    assert.strictEqual(rows[0].contentElementInternal, null, 'and gives them up after the search');
  });
});

test('messages drawn before the script came are taken in', () => {
  withTimers((clock, tick) => {
    const f = frontend();
    const {vorpelConsoleRows} = load();
    const early = new f.ConsoleViewMessage(() => new Element());
    const never = new f.ConsoleViewMessage(() => new Element());
    f.viewport.show([early]);
    const adopt = vorpelConsoleRows(f.consoleModule, f.Linkifier, () => clock.now);
    adopt({consoleMessages: [early, never]});
    f.viewport.show([]);
    tick(6000);
    tick(1000);
    assert.strictEqual(early.contentElementInternal, null);
    assert.strictEqual(never.builds, 0, 'one never drawn is not drawn now');
  });
});

// The names the script reads are the pinned frontend's: a newer one fails here.
test('the pinned frontend has what the script patches', (t) => {
  const frontendDir = path.join(__dirname, '..', 'frontend', 'node_modules', 'chii', 'public',
                                'front_end');
  const consoleFile = path.join(frontendDir, 'panels', 'console', 'console.js');
  if (!fs.existsSync(consoleFile)) return t.skip('the frontend is not installed');
  const consoleJs = fs.readFileSync(consoleFile, 'utf8');
  const utils = fs.readFileSync(
      path.join(frontendDir, 'ui', 'legacy', 'components', 'utils', 'utils.js'), 'utf8');
  const expected = [
    // A resolved link filters everything again, through the method patched.
    [consoleJs, /addEventListener\("liveLocationUpdated",\(\(\)=>\w+\.schedule\(\(async\(\)=>this\.onFilterChanged\(\)\)\)\)\)/],
    [consoleJs, /onFilterChanged\(\)\{if\(this\.filter\.currentFilter\.levelsMask=this\.isSidebarOpen\?/],
    [consoleJs, /this\.currentFilter\.executionContext=.*this\.currentFilter\.parsedFilters=/],
    [consoleJs, /\.levelsMask=this\.messageLevelFiltersSetting\.get\(\)/],
    [consoleJs, /this\.searchRegex=/],
    [consoleJs, /this\.sidebar\.addEventListener\("FilterSelected"/],
    [consoleJs, /selectionChanged\(e\)\{this\.selectedTreeElement=e\.data/],
    [consoleJs, /class \w+\{message;linkifier;repeatCountInternal;.*elementInternal;consoleRowWrapper=null;.*messageIcon;traceExpanded;expandTrace;anchorElement;contentElementInternal;nestingLevelMarkers;searchHighlightNodes;searchHighlightNodeChanges;.*timestampElement;.*similarGroupMarker;.*repeatCountElement;/],
    [consoleJs, /toMessageElement\(\)\{return this\.elementInternal\|\|\(this\.elementInternal=document\.createElement\("div"\)/],
    [consoleJs, /contentElement\(\)\{if\(this\.contentElementInternal\)return this\.contentElementInternal;/],
    [consoleJs, /this\.repeatCountInternal>1&&this\.showRepeatCountElement\(\)/],
    [consoleJs, /setSearchRegex\(e\)\{.*this\.searchRegexInternal=e,this\.searchHighlightNodes=\[\],this\.searchHighlightNodeChanges=\[\],!this\.searchRegexInternal\)return;const t=this\.contentElement\(\)\.deepTextContent\(\)/],
    [consoleJs, /searchCount\(\)\{return this\.searchHighlightNodes\.length\}/],
    [consoleJs, /matchesFilterRegex\(e\)\{e\.lastIndex=0;const t=this\.contentElement\(\),s=this\.anchorElement\?this\.anchorElement\.deepTextContent\(\):"";return Boolean\(s\)&&e\.test\(s\.trim\(\)\)\|\|e\.test\(t\.deepTextContent\(\)\.slice\(s\.length\)\)\}/],
    [consoleJs, /matchesFilterText\(e\)\{return this\.contentElement\(\)\.deepTextContent\(\)\.toLowerCase\(\)\.includes\(e\.toLowerCase\(\)\)\}/],
    [consoleJs, /class \w+\{element;.*renderedItems;anchorSelection;headSelection;/],
    [consoleJs, /refresh\(\)\{this\.observer\.disconnect\(\),this\.innerRefresh\(\)/],
    [consoleJs, /ConsoleViewMessage:\w+,ConsoleGroupViewMessage:/],
    [consoleJs, /ConsoleViewport:\w+\}/],
    [consoleJs, /this\.element\.classList\.add\("console-view"\)/],
    [consoleJs, /this\.consoleMessages=\[\]/],
    [utils, /class \w+ extends e\.ObjectWrapper\.ObjectWrapper\{maxLength;anchorsByTarget;/],
    [utils, /static linkInfo\(e\)\{/],
    [utils, /static unbindUILocation\(e\)\{/],
    [utils, /\.then\(\(e=>\{e&&\(h\.liveLocation=e\)\}\)\)/],
  ];
  for (const [text, pattern] of expected) assert.match(text, pattern);
});
