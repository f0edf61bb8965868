// The page scripts compiled in from this folder's .js files.
#pragma once

// Defines vorpelWorkspaceBindings(persistenceModule), which lets the frontend
// tie a running script only to a workspace file whose text it shows.
extern const char kWorkspaceBindingsScript[];
