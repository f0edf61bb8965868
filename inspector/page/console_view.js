// Keeps the Console's work and memory from growing with the messages it holds,
// so a window can stay attached to a busy program all day; for every frame at
// document start, acting in the frontend's own page only.
//
// Written for the frontend of chii 1.15.5 (panels/console and the linkifier of
// ui/legacy/components/utils): the names of the fields and methods used here
// are that version's, and console_view.test.js checks that they are still
// there. Check them again when the frontend is updated.

// The console view filters every message again 100 ms after any message's
// source link resolves, since a text filter may match the link's text. With a
// steady stream a link resolves every 100 ms, so the whole list was filtered
// over and over: at 200 messages a second the window fell 14 to 80 s behind
// within 4 minutes, further the longer it ran. When nothing such a pass reads
// has changed (the levels, the sidebar, the context, keyed filters) and no
// text filter or search could see a link's text, the pass is skipped. Every
// change of the filter still filters everything again.
function vorpelConsolePace(ConsoleView) {
  'use strict';
  const view = ConsoleView.prototype;
  const onFilterChanged = view.onFilterChanged;
  if (typeof onFilterChanged !== 'function') return;
  const applied = new WeakMap();
  view.onFilterChanged = function () {
    const now = vorpelConsolePace.stateOf(this);
    const last = applied.get(this);
    if (now && last && now.text === last.text && now.context === last.context &&
        now.selected === last.selected) {
      return undefined;
    }
    applied.set(this, now);
    return onFilterChanged.call(this);
  };
}

// What a filtering pass depends on, or null when it may depend on the
// messages' text (or the view is not what this was written for).
vorpelConsolePace.stateOf = (view) => {
  try {
    if (view.searchRegex) return null;
    const filter = view.filter.currentFilter;
    const selected = view.sidebar ? view.sidebar.selectedTreeElement || null : null;
    const sidebarFilter =
        selected && typeof selected.filter === 'function' ? selected.filter() : null;
    const parsed = [...filter.parsedFilters, ...(sidebarFilter ? sidebarFilter.parsedFilters : [])];
    if (parsed.some((entry) => !entry.key && (entry.text || entry.regex))) return null;
    return {
      text: JSON.stringify([Boolean(view.isSidebarOpen), view.filter.messageLevelFiltersSetting.get(),
                            parsed]),
      context: filter.executionContext || null,
      selected,
    };
  } catch (_) {
    return null;
  }
};

// The frontend keeps the elements of every message it has drawn, about 50 KB
// a message with an object in it: at 200 messages a second the window grew
// 10 MiB a second with the Console shown, 0.7 with another panel. A plain
// message that has been off screen for a while gives its elements and its
// links up and is drawn again, from the same data, when it comes back; its
// measured height stays, so the scroll position does not move. Its text is
// kept, so that a search or a text filter reads it without drawing it again
// (it is the text it showed, links included; a link that resolves later shows
// once it is drawn again). A message the user clicked, typed in or opened a
// menu on, one with an expanded object or stack, and the console's other kinds
// (groups, tables, commands and their results) keep their elements; one that
// a search marks keeps them until the search ends.
function vorpelConsoleRows(consoleModule, Linkifier, clock) {
  'use strict';
  clock = clock || Date.now;
  const {ConsoleViewMessage} = consoleModule.ConsoleViewMessage;
  const {ConsoleViewport} = consoleModule.ConsoleViewport;
  const message = ConsoleViewMessage.prototype;
  const kOffScreenMs = 5000;
  const kPassMs = 1000;
  const kPendingMs = 30000;
  // Drawn plain messages, with when each was last seen on screen.
  const drawn = new Map();
  const kept = new WeakSet();
  const plain = (row) => Object.getPrototypeOf(row) === message;

  const toMessageElement = message.toMessageElement;
  message.toMessageElement = function () {
    const fresh = !this.elementInternal;
    const element = toMessageElement.call(this);
    if (fresh && plain(this) && !kept.has(this)) {
      for (const type of ['mousedown', 'keydown', 'contextmenu']) {
        element.addEventListener(type, () => {
          kept.add(this);
          drawn.delete(this);
        }, {capture: true, once: true});
      }
    }
    return element;
  };
  const contentElement = message.contentElement;
  message.contentElement = function () {
    if (!this.contentElementInternal && plain(this) && !kept.has(this)) {
      drawn.set(this, clock());
      vorpelConsoleRows.texts.delete(this);
    }
    return contentElement.call(this);
  };

  // A released message is searched and filtered on its kept text; one that a
  // search matches is drawn, for its marks.
  const keptText = (row) => (row.contentElementInternal ? null : vorpelConsoleRows.texts.get(row));
  const setSearchRegex = message.setSearchRegex;
  message.setSearchRegex = function (regex) {
    const text = keptText(this);
    if (text && regex) {
      regex.lastIndex = 0;
      const found = regex.test(text.all);
      regex.lastIndex = 0;
      if (!found) {
        this.searchRegexInternal = regex;
        this.searchHighlightNodes = [];
        this.searchHighlightNodeChanges = [];
        return;
      }
    }
    setSearchRegex.call(this, regex);
  };
  const matchesFilterText = message.matchesFilterText;
  message.matchesFilterText = function (filter) {
    const text = keptText(this);
    if (!text) return matchesFilterText.call(this, filter);
    return text.all.toLowerCase().includes(filter.toLowerCase());
  };
  const matchesFilterRegex = message.matchesFilterRegex;
  message.matchesFilterRegex = function (regex) {
    const text = keptText(this);
    if (!text) return matchesFilterRegex.call(this, regex);
    regex.lastIndex = 0;
    return (Boolean(text.link) && regex.test(text.link.trim())) ||
           regex.test(text.all.slice(text.link.length));
  };

  let viewport = null;
  let timer = 0;
  const refresh = ConsoleViewport.prototype.refresh;
  ConsoleViewport.prototype.refresh = function (...args) {
    const result = refresh.apply(this, args);
    viewport = this;
    if (!timer && drawn.size) timer = setTimeout(pass, kPassMs);
    return result;
  };

  function pass() {
    timer = 0;
    // A selection refers to the nodes of the messages it spans.
    if (!viewport || viewport.headSelection || viewport.anchorSelection) return;
    const now = clock();
    const shown = new Set(viewport.renderedItems || []);
    const released = new Set();
    const linkifiers = new Set();
    const listed = new Map();
    for (const [row, seen] of drawn) {
      if (shown.has(row) || (row.elementInternal && row.elementInternal.isConnected)) {
        drawn.set(row, now);
        continue;
      }
      if (now - seen < kOffScreenMs) continue;
      if (!listed.has(row.linkifier)) {
        listed.set(row.linkifier, vorpelConsoleRows.listedAnchors(row.linkifier));
      }
      // A link whose location never resolves is let go after a while.
      const anchors = vorpelConsoleRows.releasable(row, Linkifier, listed.get(row.linkifier), now - seen >= kPendingMs);
      if (anchors === 'kept') {
        kept.add(row);
        drawn.delete(row);
      } else if (anchors) {
        vorpelConsoleRows.release(row, anchors, Linkifier);
        for (const [anchor] of anchors) released.add(anchor);
        linkifiers.add(row.linkifier);
        drawn.delete(row);
      }
    }
    for (const linkifier of linkifiers) vorpelConsoleRows.forgetAnchors(released, linkifier);
    if (drawn.size) timer = setTimeout(pass, kPassMs);
  }

  // Takes in the messages the view drew before this was in place.
  return (view) => {
    const rows = view && Array.isArray(view.consoleMessages) ? view.consoleMessages : [];
    for (const row of rows) {
      if (row.contentElementInternal && plain(row) && !kept.has(row)) drawn.set(row, clock());
    }
  };
}

// The text each released message showed.
vorpelConsoleRows.texts = new WeakMap();

// The anchors a linkifier keeps up to date, of every target.
vorpelConsoleRows.listedAnchors = (linkifier) => {
  const listed = new Set();
  if (linkifier && linkifier.anchorsByTarget) {
    for (const anchors of linkifier.anchorsByTarget.values()) {
      for (const anchor of anchors) listed.add(anchor);
    }
  }
  return listed;
};

// The message's listed links as [anchor, info] when it may give its elements
// up; 'kept' when it never will; null when not yet, while a listed link's
// location is still being resolved (unless `late`).
vorpelConsoleRows.releasable = (row, Linkifier, listed, late) => {
  if (row.traceExpanded) return 'kept';
  if (row.searchRegexInternal) return null;
  const content = row.contentElementInternal;
  if (!content) return [];
  const anchors = [];
  let expanded = false;
  const walk = (root) => {
    for (let node = root.firstElementChild; node; node = node.nextElementSibling) {
      if (node.getAttribute('role') === 'treeitem' && node.classList.contains('expanded')) {
        expanded = true;
      }
      if (listed.has(node)) anchors.push([node, Linkifier.linkInfo(node)]);
      if (node.shadowRoot) walk(node.shadowRoot);
      walk(node);
    }
  };
  walk(content);
  if (expanded) return 'kept';
  if (!late && anchors.some(([, info]) => !info || !info.liveLocation)) return null;
  return anchors;
};

// Lets go of a message's elements and of its links' live locations, which
// would otherwise keep the elements alive and up to date.
vorpelConsoleRows.release = (row, anchors, Linkifier) => {
  for (const [anchor, info] of anchors) {
    if (info && info.liveLocation) {
      info.liveLocation.dispose();
      info.liveLocation = null;
    }
    Linkifier.unbindUILocation(anchor);
  }
  const content = row.contentElementInternal;
  if (content) {
    const textOf = (node) => (node.deepTextContent ? node.deepTextContent() : node.textContent);
    const link = row.anchorElement ? textOf(row.anchorElement) : '';
    vorpelConsoleRows.texts.set(row, {all: textOf(content), link});
  }
  if (row.elementInternal) row.elementInternal.remove();
  for (const name of ['elementInternal', 'consoleRowWrapper', 'messageIcon', 'anchorElement',
                      'contentElementInternal', 'nestingLevelMarkers', 'timestampElement',
                      'similarGroupMarker', 'repeatCountElement', 'expandTrace']) {
    row[name] = null;
  }
  row.selectableChildren = [];
  row.searchHighlightNodes = [];
  row.searchHighlightNodeChanges = [];
};

vorpelConsoleRows.forgetAnchors = (released, linkifier) => {
  for (const [target, anchors] of linkifier.anchorsByTarget) {
    linkifier.anchorsByTarget.set(target, anchors.filter((anchor) => !released.has(anchor)));
  }
};

(() => {
  if (typeof window === 'undefined' || window.top !== window) return;
  if (!/_app\.html$/.test(location.pathname)) return;
  // Once the frontend has made its console view, whose module is then
  // loaded: importing it at load took the attach 120 ms longer (12 launches).
  window.addEventListener('load', () => {
    const look = setInterval(() => {
      if (!document.querySelector('.console-view')) return;
      clearInterval(look);
      const module = (path) => import(new URL(path, location.href).href);
      Promise.all([module('panels/console/console.js'), module('ui/legacy/components/utils/utils.js')])
          .then(([consoleModule, utils]) => {
            const {ConsoleView} = consoleModule.ConsoleView;
            vorpelConsolePace(ConsoleView);
            vorpelConsoleRows(consoleModule, utils.Linkifier.Linkifier)(ConsoleView.instance());
          }, () => {});
    }, 1000);
  }, {once: true});
})();
