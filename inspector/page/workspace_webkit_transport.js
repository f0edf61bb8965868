// How the workspace page script talks to the program on WebKit: it posts to
// the script message handler the program registered, and the program answers
// by calling a page function. The program names both in `handlerName` and
// `receiveName`, defined before this text.
const post = (text) => window.webkit.messageHandlers[handlerName].postMessage(text);
const listen = (receive) => Object.defineProperty(window, receiveName, {value: receive});
