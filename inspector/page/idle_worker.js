// Ends the frontend's formatter worker while it is idle; for every frame at
// document start.
//
// WebKitGTK 2.50 (seen with 2.50.6) collects a worker's heap only when the
// worker allocates, never while it is idle. The frontend keeps its formatter
// worker for the whole session, so after pretty-printing a 5 MB script the
// window went on holding 830 MiB, 425 MiB of it that worker's garbage
// (Chromium: 440 MiB, 30 s later). The formatter's tasks carry no state, so
// the worker is ended once it has been idle for a while and started again,
// unseen, for the next task. Other workers (the heap snapshot's) hold what
// they show and are left alone. It can go once an idle worker's heap shrinks
// on its own.
//
// Only a worker that has been given a lot of text since it started is ended.
// A new one answers its first task about 100 ms late, and the frontend's small
// tasks come while debugging: the first pause in each TypeScript module asks
// for its scope tree, 160 ms after 12 s of reading against 35 ms when the
// worker was kept. A fresh worker holds about 13 MiB; garbage runs at about
// 85 bytes a character, so below 256 Ki characters ending it wins little.
//
// Written for the frontend of chii 1.15.5: its formatter worker's script name,
// the greeting it sends once started, its tasks' params.content and parseCSS's
// chunks are that version's. Check them again when the frontend is updated.

(() => {
  const RealWorker = window.Worker;
  if (typeof RealWorker !== 'function') return;
  const kIdleMilliseconds = 10000;
  const kEndAfterCharacters = 256 * 1024;
  const isFormatter = (url) => /\/formatter_worker-entrypoint\.js([?#]|$)/.test(String(url));
  // Every task has one answer, but parseCSS sends chunks before its last one.
  const isPartial = (data) => data !== null && typeof data === 'object' && data.isLastChunk === false;
  // Every task's text is its params.content.
  const textOf = (message) => {
    const content = message !== null && typeof message === 'object' && message.params
                        ? message.params.content : undefined;
    return typeof content === 'string' ? content.length : 0;
  };

  class IdleEndingWorker extends EventTarget {
    onmessage = null;
    onmessageerror = null;
    onerror = null;
    #url;
    #options;
    #worker = null;
    #pending = 0;
    #text = 0;
    #timer = 0;
    #ended = false;

    constructor(url, options) {
      super();
      this.#url = url;
      this.#options = options;
      this.#start(false);
    }

    postMessage(...args) {
      if (this.#ended) return;
      if (!this.#worker) this.#start(true);
      clearTimeout(this.#timer);
      this.#pending++;
      this.#text += textOf(args[0]);
      this.#worker.postMessage(...args);
    }

    terminate() {
      this.#ended = true;
      clearTimeout(this.#timer);
      if (this.#worker) this.#worker.terminate();
      this.#worker = null;
    }

    #start(again) {
      const worker = new RealWorker(this.#url, this.#options);
      this.#text = 0;
      // The frontend waited for the first worker's greeting; a worker started
      // again greets too, and that greeting is no answer to a task.
      let greeting = again;
      worker.onmessage = (event) => {
        if (worker !== this.#worker) return;
        if (greeting) {
          greeting = false;
          if (event.data === 'workerReady') return;
        }
        if (!isPartial(event.data)) this.#answered();
        this.#forward(new MessageEvent('message', {data: event.data, ports: [...event.ports]}),
                      'onmessage');
      };
      worker.onmessageerror = (event) => {
        if (worker !== this.#worker) return;
        this.#answered();
        this.#forward(new MessageEvent('messageerror', {data: event.data}), 'onmessageerror');
      };
      worker.onerror = (event) => {
        if (worker !== this.#worker) return;
        this.#answered();
        const copy = new ErrorEvent('error', {
          message: event.message, filename: event.filename, lineno: event.lineno,
          colno: event.colno, error: event.error, cancelable: true,
        });
        this.#forward(copy, 'onerror');
        if (copy.defaultPrevented) event.preventDefault();
      };
      this.#worker = worker;
    }

    #answered() {
      if (this.#pending > 0) this.#pending--;
      if (this.#pending > 0 || this.#ended || this.#text < kEndAfterCharacters) return;
      clearTimeout(this.#timer);
      this.#timer = setTimeout(() => {
        if (this.#pending > 0 || !this.#worker) return;
        this.#worker.terminate();
        this.#worker = null;
      }, kIdleMilliseconds);
    }

    #forward(event, handlerName) {
      const handler = this[handlerName];
      if (typeof handler === 'function') handler.call(this, event);
      this.dispatchEvent(event);
    }
  }

  window.Worker = new Proxy(RealWorker, {
    construct(target, args, newTarget) {
      return isFormatter(args[0]) ? new IdleEndingWorker(...args)
                                  : Reflect.construct(target, args, newTarget);
    },
  });
})();
