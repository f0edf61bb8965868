// The shared-styles script under node, with stand-in shadow roots and sheets:
// the cascade order the frontend built stays, and nothing but plain styles moves.
#include "page_scripts.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "support/node_page.h"

namespace {

constexpr const char* kPage = R"js(
globalThis.window = globalThis;
class Node {
  constructor() { this.parentNode = null; this.childNodes = []; }
  get firstChild() { return this.childNodes[0] || null; }
  appendChild(node) { node.parentNode = this; this.childNodes.push(node); return node; }
}
Node.TEXT_NODE = 3;
class Text extends Node { constructor(data) { super(); this.nodeType = 3; this.data = data; } }
class Element extends Node {
  constructor(name) { super(); this.nodeType = 1; this.localName = name; this.attributes = []; }
  set textContent(text) { this.childNodes = [new Text(text)]; }
}
class HTMLStyleElement extends Element { constructor() { super('style'); } }
class ShadowRoot extends Node {}
const store = new WeakMap();
Object.defineProperty(ShadowRoot.prototype, 'adoptedStyleSheets', {
  configurable: true, enumerable: true,
  get() { return [...(store.get(this) || [])]; },
  set(value) { store.set(this, [...value]); },
});
let parsed = 0;
class CSSStyleSheet {
  replaceSync(text) { if (text === 'unparsable') throw new Error('refused'); parsed++; this.text = text; }
}
Object.assign(globalThis, {Node, HTMLStyleElement, ShadowRoot, CSSStyleSheet});
require(process.argv[2]);

const notes = {};
const note = (name, value) => { notes[name] = value; };
const style = (text, id) => {
  const element = new HTMLStyleElement();
  element.textContent = text;
  if (id) element.attributes.push({name: 'id', value: id});
  return element;
};
const sheet = (text) => Object.assign(new CSSStyleSheet(), {text});
const texts = (root) => root.adoptedStyleSheets.map((s) => s.text);
const children = (root) => root.childNodes.map((n) =>
  n.localName + (n.firstChild && n.firstChild.nodeType === 3 ? ':' + n.firstChild.data : ''));

// Two widgets with the core styles, as the frontend makes them.
const a = new ShadowRoot();
const b = new ShadowRoot();
const core = style('core-1');
note('returnsTheNode', a.appendChild(core) === core);
for (const root of [b]) root.appendChild(style('core-1'));
for (const root of [a, b]) root.appendChild(style('core-2'));
note('shared', a.adoptedStyleSheets.every((s, i) => s === b.adoptedStyleSheets[i]));
note('parsed', parsed);
note('styleChildren', children(a));

// What the frontend then does with the root's adopted sheets.
a.adoptedStyleSheets = [sheet('file')];
note('assigned', texts(a));
a.adoptedStyleSheets = a.adoptedStyleSheets.concat([sheet('registered')]);
note('concatenated', texts(a));
a.adoptedStyleSheets = [sheet('editor'), ...a.adoptedStyleSheets];
note('prepended', texts(a));
a.appendChild(style('later'));
note('laterStyle', texts(a));
a.adoptedStyleSheets = [];
note('cleared', texts(a));

// What stays an element.
const c = new ShadowRoot();
const inElement = new Element('div');
inElement.appendChild(style('core-1'));
c.appendChild(inElement);
c.appendChild(style('named', 'shortcut'));
c.appendChild(style('@import url(more.css); b {}'));
c.appendChild(style('unparsable'));
const placed = style('core-1');
new Element('span').appendChild(placed);
c.appendChild(placed);
note('kept', children(c).concat(children(inElement)));
note('keptAdopted', texts(c));
c.adoptedStyleSheets = [sheet('file')];
note('untouchedRoot', texts(c));

// Many texts: each still becomes a sheet, in order.
const d = new ShadowRoot();
for (let i = 0; i < 1200; i++) d.appendChild(style('text-' + i));
note('many', [d.childNodes.length, d.adoptedStyleSheets.length, texts(d)[1199]]);
console.log(JSON.stringify(notes));
)js";

TEST(SharedStylesScriptTest, PlainStylesOfShadowRootsBecomeSharedSheetsInCascadeOrder) {
  ProcessResult run = run_node_page(kSharedStylesScript, kPage);
  ASSERT_EQ(run.exit_status, 0) << run.err;
  const nlohmann::json notes = nlohmann::json::parse(run.out, nullptr, false);
  ASSERT_FALSE(notes.is_discarded()) << run.out;

  EXPECT_EQ(notes["returnsTheNode"], true);
  EXPECT_EQ(notes["shared"], true);
  EXPECT_EQ(notes["parsed"], 2);  // once per text, not per root
  EXPECT_EQ(notes["styleChildren"], nlohmann::json::array());

  // The root's own styles stay first, as <style> sheets are before adopted ones.
  using List = std::vector<std::string>;
  EXPECT_EQ(notes["assigned"], (List{"core-1", "core-2", "file"}));
  EXPECT_EQ(notes["concatenated"], (List{"core-1", "core-2", "file", "registered"}));
  EXPECT_EQ(notes["prepended"], (List{"core-1", "core-2", "editor", "file", "registered"}));
  EXPECT_EQ(notes["laterStyle"],
            (List{"core-1", "core-2", "later", "editor", "file", "registered"}));
  EXPECT_EQ(notes["cleared"], (List{"core-1", "core-2", "later"}));

  EXPECT_EQ(notes["kept"], (List{"div", "style:named", "style:@import url(more.css); b {}",
                                 "style:unparsable", "style:core-1", "style:core-1"}));
  EXPECT_EQ(notes["keptAdopted"], List{});
  EXPECT_EQ(notes["untouchedRoot"], List{"file"});
  EXPECT_EQ(notes["many"], nlohmann::json::parse(R"([0, 1200, "text-1199"])"));
}

}  // namespace
