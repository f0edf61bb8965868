// The page scripts compiled in from this folder's .js files.
#pragma once

// Defines vorpelWorkspaceBindings(persistenceModule), which lets the frontend
// tie a running script only to a workspace file whose text it shows.
extern const char kWorkspaceBindingsScript[];

// The --workspace host's page side, run in one function after a transport
// (which defines post and listen) and kWorkspaceBindingsScript; it needs
// `hostMethods` defined before it, the WebKit transport also `handlerName` and
// `receiveName`.
extern const char kWorkspacePageScript[];
extern const char kWorkspaceWebKitTransport[];
extern const char kWorkspaceWebView2Transport[];

// The GTK window's shims, for every frame at document start, in this order.
// insertRule takes the frontend's editor styles, which WebKit refuses.
extern const char kInsertRuleShim[];
// The code editor stays within the window after a large script is opened.
extern const char kEditorFrameShim[];
// Shadow roots answer getSelection(), as the frontend expects.
extern const char kShadowSelectionShim[];
// The frontend's formatter worker is ended while it is idle.
extern const char kIdleWorkerScript[];
// Shadow roots share one parsed sheet per style text.
extern const char kSharedStylesScript[];
// The Console keeps pace with a busy program, and lets go of the elements of
// messages long off screen.
extern const char kConsoleViewScript[];

// node_app.html opened with ws=vorpel-hub shows every Node target the program
// gives to window.vorpelHubTargets(list), and their workers; for the top frame
// at document start.
extern const char kTargetHubScript[];
