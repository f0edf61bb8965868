// Preloaded (NODE_OPTIONS=--require) into every Node process of a --run: it
// opens the inspector on a free loopback port, tells the window where it
// listens, and waits until the window has attached, so that breakpoints the
// window keeps bind before the program's first line runs.
//
// The window's endpoint and the run's secret come in the environment, which
// every child inherits, so the processes a process starts announce
// themselves too. Nothing waits for a window that is gone: the FIFO is
// opened without waiting for a reader, and a failed announcement leaves the
// process running without an inspector of ours.
'use strict';
(() => {
  const endpoint = process.env.VORPEL_ANNOUNCE;
  const secret = process.env.VORPEL_ANNOUNCE_SECRET;
  if (!endpoint || !secret) return;
  // Worker threads reach the window through their process's inspector.
  let threads = null;
  try {
    threads = require('worker_threads');
  } catch (error) {
    threads = null;
  }
  if (threads && !threads.isMainThread) return;
  // A package manager's own process is neither shown nor held: the processes
  // it starts are what the user runs.
  const script = process.argv[1] || '';
  const name = script.split(/[\\/]/).pop().toLowerCase();
  if (/^(npm|npx|npm-cli|npx-cli|yarn|yarnpkg|yarn-[\d.]+|pnpm|pnpx|corepack)(\.c?js)?$/.test(name)) {
    return;
  }
  const inspector = require('inspector');
  let opened = false;
  if (!inspector.url()) {
    try {
      inspector.open(0, '127.0.0.1', false);
      opened = true;
    } catch (error) {
      return;
    }
  }
  const ws = inspector.url();
  if (!ws) return;
  const fields = {secret, pid: process.pid, ws, script};
  // The window takes a line of up to 4096 bytes.
  if (Buffer.byteLength(JSON.stringify(fields)) > 4000) fields.script = name.slice(0, 200);
  const line = JSON.stringify(fields) + '\n';

  const fs = require('fs');
  const nonBlocking = fs.constants.O_NONBLOCK || 0;
  let written = false;
  // A named pipe busy with another process's line is tried again a moment later.
  for (let attempt = 0; attempt < 40 && !written; ++attempt) {
    try {
      const fd = fs.openSync(endpoint, fs.constants.O_WRONLY | nonBlocking);
      try {
        fs.writeSync(fd, line);
        written = true;
      } finally {
        fs.closeSync(fd);
      }
    } catch (error) {
      if (error.code !== 'EBUSY' && error.code !== 'EAGAIN') break;
      Atomics.wait(new Int32Array(new SharedArrayBuffer(4)), 0, 0, 25);
    }
  }
  if (!written) {
    if (opened) inspector.close();
    return;
  }
  inspector.waitForDebugger();
})();
