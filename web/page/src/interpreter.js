// The interpreter in its worker: requests, and Stop, which ends the
// worker and starts a fresh one. A request of a stopped or crashed worker
// ends with { stopped: true } or { crashed: message }.
export class Interpreter {
  constructor({ onVersion, onWords, onFatal }) {
    this.onVersion = onVersion;
    this.onWords = onWords;
    this.onFatal = onFatal;
    this.nextId = 1;
    this.pending = new Map();
    this.start();
  }

  start() {
    this.pending.clear();
    // The first worker may have been started by the page's head.
    const early = self.QORVANTEL_WORKER ? self.QORVANTEL_EARLY : [];
    try {
      this.worker = self.QORVANTEL_WORKER || new Worker('worker.js');
      self.QORVANTEL_WORKER = null;
    } catch (error) {
      this.onFatal('This browser does not run the interpreter from a local folder. Serve the folder instead, ' +
                   'for example with "python3 -m http.server" in it, and open http://127.0.0.1:8000/.');
      this.ready = new Promise(() => {});
      return;
    }
    this.ready = new Promise((resolve) => {
      this.worker.onmessage = (event) => {
        const data = event.data;
        if (data.ready) {
          this.onVersion(data.version);
          if (this.onWords) this.onWords(data.words || []);
          resolve();
        } else if (data.failed) {
          this.onFatal('The interpreter did not start: ' + data.failed);
        } else if (this.pending.has(data.id)) {
          const done = this.pending.get(data.id);
          this.pending.delete(data.id);
          done(data);
        }
      };
      for (const event of early) this.worker.onmessage(event);
    });
    this.worker.onerror = (event) => {
      event.preventDefault();
      if (!this.pending.size)
        this.onFatal('The interpreter did not start here. Serve the folder (python3 -m http.server) and open it over http.');
      this.finishAll({ crashed: event.message || 'the worker failed' });
    };
  }

  finishAll(reply) {
    const waiting = [...this.pending.values()];
    this.pending.clear();
    for (const done of waiting) done(reply);
  }

  request(message) {
    return this.ready.then(() => new Promise((resolve) => {
      const id = this.nextId++;
      this.pending.set(id, resolve);
      this.worker.postMessage(Object.assign({ id }, message));
    }));
  }

  // Ends the worker (and every request in it) and starts a new one.
  restart() {
    this.worker.terminate();
    this.finishAll({ stopped: true });
    this.start();
  }

  get busy() { return this.pending.size > 0; }
}
