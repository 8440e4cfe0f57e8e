// What the page keeps across reloads in the browser's localStorage: the
// editors' text, the expression history and the user's choices. Storage
// may be missing, full or forbidden; the page then simply forgets.

const KEY = 'qorvantel.page';
// Larger environments are not kept: browsers allow a few MB per site.
export const MAX_KEPT = 1 << 20;
const MAX_HISTORY = 100;

export function loadKept() {
  try {
    const kept = JSON.parse(localStorage.getItem(KEY) || '{}');
    return kept && typeof kept === 'object' ? kept : {};
  } catch (error) {
    return {};
  }
}

export function keep(state) {
  const kept = Object.assign({}, state, { history: (state.history || []).slice(-MAX_HISTORY) });
  try {
    localStorage.setItem(KEY, JSON.stringify(kept));
    return true;
  } catch (error) {
    return false;
  }
}

// The expression history: Up walks back, Down forward to the line being
// written.
export class History {
  constructor(lines) {
    this.lines = Array.isArray(lines) ? lines.filter((l) => typeof l === 'string').slice(-MAX_HISTORY) : [];
    this.at = this.lines.length;
    this.draft = '';
  }

  add(line) {
    if (line && this.lines[this.lines.length - 1] !== line) this.lines.push(line);
    if (this.lines.length > MAX_HISTORY) this.lines.shift();
    this.at = this.lines.length;
  }

  // The text one step back (-1) or forward (1), or null at either end.
  walk(step, current) {
    const next = this.at + step;
    if (next < 0 || next > this.lines.length) return null;
    if (this.at === this.lines.length) this.draft = current;
    this.at = next;
    return next === this.lines.length ? this.draft : this.lines[next];
  }
}
