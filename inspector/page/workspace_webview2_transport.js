// How the workspace page script talks to the program on WebView2: web
// messages both ways.
const post = (text) => window.chrome.webview.postMessage(text);
const listen = (receive) => window.chrome.webview.addEventListener('message', (e) => receive(e.data));
