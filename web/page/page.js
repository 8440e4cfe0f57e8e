// The page: the environment editor, the expression line with its history,
// the result as a table or as console text, and the operator tree. All
// evaluation happens in worker.js.
'use strict';

const TEXT_LIMIT = 1 << 20;  // bytes of console text shown
const ROW_LIMIT = 1000;      // rows shown in the table

const $ = (id) => document.getElementById(id);
const editor = $('editor'), expression = $('expression');

// ---- the worker --------------------------------------------------------

let worker = null, ready = null, nextId = 1;
const pending = new Map();
let loadedText = null;  // the environment text the worker holds

function startWorker() {
  pending.clear();
  loadedText = null;
  try {
    worker = new Worker('worker.js');
  } catch (error) {
    showFatal('This browser does not run the interpreter from a local folder. Serve the folder instead, ' +
              'for example with "python3 -m http.server" in it, and open http://127.0.0.1:8000/.');
    return;
  }
  ready = new Promise((resolve) => {
    worker.onmessage = (event) => {
      const data = event.data;
      if (data.ready) {
        $('version').textContent = 'qorvantel ' + data.version + ' (WebAssembly)';
        resolve();
      } else if (data.failed) {
        showFatal('The interpreter did not start: ' + data.failed);
      } else if (pending.has(data.id)) {
        const done = pending.get(data.id);
        pending.delete(data.id);
        done(data);
      }
    };
  });
  worker.onerror = (event) => {
    event.preventDefault();
    if (!pending.size)
      showFatal('The interpreter did not start here. Serve the folder (python3 -m http.server) and open it over http.');
    for (const done of pending.values()) done({ crashed: event.message || 'the worker failed' });
    pending.clear();
  };
}

function showFatal(message) {
  $('version').textContent = 'interpreter not running';
  setStatus($('query-status'), message, 'bad');
}

function request(message) {
  return ready.then(() => new Promise((resolve) => {
    const id = nextId++;
    pending.set(id, resolve);
    worker.postMessage(Object.assign({ id }, message));
  }));
}

// While a request runs the page says so and offers Stop, which ends the
// worker and starts a fresh one with the same environment.
// Requests of a stopped worker end without touching the count of the new one.
let busy = 0, generation = 0;
function working(promise, what) {
  const mine = generation;
  busy++;
  setStatus($('query-status'), what, 'working');
  $('stop').hidden = false;
  return promise.finally(() => {
    if (mine === generation && --busy === 0) $('stop').hidden = true;
  });
}

$('stop').addEventListener('click', () => {
  worker.terminate();
  generation++;
  busy = 0;
  for (const done of pending.values()) done({ stopped: true });
  $('stop').hidden = true;
  startWorker();
  setStatus($('query-status'), 'Stopped. The interpreter was restarted.', '');
  loadEnvironment();
});

// A crashed worker is replaced, and the environment loaded again.
function recover(reply) {
  if (reply.crashed) {
    worker.terminate();
    generation++;
    busy = 0;
    $('stop').hidden = true;
    for (const done of pending.values()) done({ stopped: true });
    startWorker();
    loadEnvironment(true);
    return 'The interpreter failed (' + reply.crashed + ') and was restarted.';
  }
  return null;
}

// ---- positions in messages ---------------------------------------------

// The place an error reports, from the reply's fields: { line, column } in
// bytes, { end: true }, or null when the error names no place.
function reportedPlace(reply) {
  if (typeof reply.error_line !== 'number') return null;
  if (reply.error_at_end) return { end: true };
  return { line: reply.error_line, column: reply.error_column };
}

// Columns count bytes; the text holds characters.
function characterOffset(lineText, byteColumn) {
  const bytes = new TextEncoder().encode(lineText);
  return new TextDecoder().decode(bytes.subarray(0, Math.max(0, byteColumn - 1))).length;
}

function escapeHtml(text) {
  return text.replace(/[&<>"]/g, (c) => ({ '&': '&amp;', '<': '&lt;', '>': '&gt;', '"': '&quot;' }[c]));
}

// Marks one character of text (or its end) in an overlay showing the same text.
function markOverlay(overlay, text, offset) {
  if (offset === null) { overlay.innerHTML = ''; return; }
  const marked = text.slice(offset, offset + 1);
  overlay.innerHTML = escapeHtml(text.slice(0, offset)) + '<mark>' +
      (marked && marked !== '\n' ? escapeHtml(marked) : ' ') + '</mark>' + escapeHtml(text.slice(offset + 1));
}

function offsetOf(text, place) {
  if (!place) return null;
  if (place.end) return text.replace(/\s+$/, '').length;
  const lines = text.split('\n');
  let offset = 0;
  for (let i = 0; i < place.line - 1 && i < lines.length; ++i) offset += lines[i].length + 1;
  return offset + characterOffset(lines[place.line - 1] || '', place.column);
}

// ---- the environment ---------------------------------------------------

function setStatus(element, message, kind) {
  element.textContent = message;
  element.className = 'status' + (kind ? ' ' + kind : '');
}

function loadEnvironment(quiet) {
  const text = editor.value;
  loadedText = text;
  const status = $('environment-status');
  if (!quiet) setStatus(status, 'Loading…', 'working');
  return working(request({ op: 'load', text }), 'Loading the environment…').then((reply) => {
    if (reply.stopped) return;
    const failure = recover(reply);
    if (failure) { setStatus(status, failure, 'bad'); return; }
    setStatus($('query-status'), '', '');
    showSchemas(reply.relations);
    if (reply.message) {
      setStatus(status, reply.message.trim(), 'bad');
      markOverlay($('editor-marks'), text, offsetOf(text, reportedPlace(reply.place)));
      syncEditorMarks();
    } else {
      const n = reply.relations.length;
      setStatus(status, n + (n === 1 ? ' relation' : ' relations') + ' loaded.', '');
      $('editor-marks').innerHTML = '';
    }
  });
}

function showSchemas(relations) {
  const box = $('schemas');
  box.replaceChildren();
  for (const relation of relations) {
    const item = document.createElement('div');
    item.className = 'schema';
    const rows = document.createElement('span');
    rows.className = 'rows';
    rows.textContent = rowsText(relation.rows);
    item.append(rows, relation.schema);
    box.append(item);
  }
}

function syncEditorMarks() {
  const marks = $('editor-marks');
  marks.scrollTop = editor.scrollTop;
  marks.scrollLeft = editor.scrollLeft;
}
editor.addEventListener('scroll', syncEditorMarks);
editor.addEventListener('input', () => { $('editor-marks').innerHTML = ''; });
editor.addEventListener('keydown', (event) => {
  if (event.key === 'Enter' && (event.ctrlKey || event.metaKey)) { event.preventDefault(); loadEnvironment(); }
});
$('load').addEventListener('click', () => loadEnvironment());

const examples = self.QORVANTEL_EXAMPLES || [];
for (const [index, example] of examples.entries()) {
  const option = document.createElement('option');
  option.value = String(index);
  option.textContent = example.name;
  $('example').append(option);
}
function chooseExample(index) {
  const example = examples[index];
  if (!example) return;
  editor.value = example.environment;
  if (example.queries.length && !expression.value) expression.value = example.queries[0];
  loadEnvironment();
}
$('example').addEventListener('change', (event) => chooseExample(Number(event.target.value)));

$('file').addEventListener('change', (event) => {
  const file = event.target.files[0];
  if (!file) return;
  file.text().then((text) => { editor.value = text; loadEnvironment(); });
  event.target.value = '';
});

// ---- the expression line -----------------------------------------------

const history = [];
let historyAt = 0;

expression.addEventListener('keydown', (event) => {
  if (event.key === 'ArrowUp' && historyAt > 0) {
    expression.value = history[--historyAt];
  } else if (event.key === 'ArrowDown' && historyAt < history.length) {
    expression.value = ++historyAt === history.length ? '' : history[historyAt];
  } else {
    return;
  }
  event.preventDefault();
  $('expression-mark').innerHTML = '';
});
expression.addEventListener('input', () => { $('expression-mark').innerHTML = ''; });
expression.addEventListener('scroll', () => { $('expression-mark').scrollLeft = expression.scrollLeft; });

$('query-form').addEventListener('submit', (event) => {
  event.preventDefault();
  const line = expression.value;
  if (line && history[history.length - 1] !== line) history.push(line);
  historyAt = history.length;
  run(line, true);
});

// Runs a line; with drawTree the operator tree is redrawn, otherwise (a
// node was clicked) only the result changes.
function run(line, drawTree) {
  const before = editor.value === loadedText ? Promise.resolve() : loadEnvironment();
  return before.then(() => working(request({ op: 'run', line, textLimit: TEXT_LIMIT, rowLimit: ROW_LIMIT }),
                                   'Working…')).then((reply) => {
    if (reply.stopped) return;
    const failure = recover(reply);
    if (failure) {
      $('error').hidden = false;
      $('error').textContent = failure;
      return;
    }
    setStatus($('query-status'), '', '');
    showReply(reply.reply, line, drawTree);
  });
}

function rowsText(n) { return n + (n === 1 ? ' row' : ' rows'); }

function showReply(reply, line, drawTree) {
  const error = $('error');
  if (reply.error) {
    error.hidden = false;
    error.textContent = reply.error;
    if (drawTree) markOverlay($('expression-mark'), line, offsetOf(line, reportedPlace(reply)));
  } else {
    error.hidden = true;
    $('expression-mark').innerHTML = '';
  }
  showTable(reply.result);
  let text = reply.text;
  if (reply.text_bytes > TEXT_LIMIT)
    text += '\n… ' + (reply.text_bytes - TEXT_LIMIT) + ' more bytes not shown';
  $('text').textContent = text;
  if (!reply.result && !line) $('show-text').checked = true;  // the whole environment
  showTextOrTable();
  if (drawTree) drawOperatorTree(reply.tree || null);
}

function showTable(result) {
  const box = $('table-box');
  box.replaceChildren();
  if (!result) { $('count').textContent = ''; return; }
  const shown = result.rows.length;
  $('count').textContent = rowsText(result.count) + (shown < result.count ? ' (the first ' + shown + ' shown)' : '');
  const table = document.createElement('table');
  const caption = table.createCaption();
  caption.textContent = result.schema;
  const head = table.createTHead().insertRow();
  const numeric = result.columns.map((c) => c.type === 'int');
  for (const column of result.columns) {
    const th = document.createElement('th');
    th.scope = 'col';
    const type = document.createElement('span');
    type.className = 'type';
    type.textContent = column.type;
    th.append(column.name, type);
    head.append(th);
  }
  const body = table.createTBody();
  for (const row of result.rows) {
    const tr = body.insertRow();
    row.forEach((cell, i) => {
      const td = tr.insertCell();
      td.textContent = cell;
      if (numeric[i]) td.className = 'number';
    });
  }
  box.append(table);
}

function showTextOrTable() {
  const asText = $('show-text').checked;
  $('text').hidden = !asText;
  $('table-box').hidden = asText;
}
$('show-text').addEventListener('change', showTextOrTable);

// ---- the operator tree -------------------------------------------------

const SVG = 'http://www.w3.org/2000/svg';
const CHAR = 7.9, NODE_H = 62, GAP_X = 18, GAP_Y = 42, PAD = 12, MAX_CHARS = 46;

function svg(name, attributes, parent) {
  const element = document.createElementNS(SVG, name);
  for (const [key, value] of Object.entries(attributes)) element.setAttribute(key, value);
  if (parent) parent.append(element);
  return element;
}

function clip(text) { return text.length > MAX_CHARS ? text.slice(0, MAX_CHARS - 1) + '…' : text; }

// Lays the tree out with each parent centred over its children; the right
// edge reached at each depth keeps neighbouring subtrees apart.
function layout(node, depth, state) {
  const label = clip(node.label), schema = clip(node.evaluated ? node.schema : '');
  node.width = Math.max(110, CHAR * Math.max(label.length, schema.length) + 2 * PAD);
  node.y = PAD + depth * (NODE_H + GAP_Y);
  const bound = state.level[depth] || PAD;
  if (!node.children.length) {
    node.x = Math.max(state.x, bound);
  } else {
    for (const child of node.children) layout(child, depth + 1, state);
    const first = node.children[0], last = node.children[node.children.length - 1];
    node.x = (first.x + first.width / 2 + last.x + last.width / 2) / 2 - node.width / 2;
    if (node.x < bound) shift(node, bound - node.x, depth, state);
  }
  state.level[depth] = node.x + node.width + GAP_X;
  state.x = Math.max(state.x, state.level[depth]);
  state.depth = Math.max(state.depth, depth);
}

function shift(node, dx, depth, state) {
  node.x += dx;
  state.level[depth] = Math.max(state.level[depth] || PAD, node.x + node.width + GAP_X);
  state.x = Math.max(state.x, state.level[depth]);
  for (const child of node.children) shift(child, dx, depth + 1, state);
}

let chosenNode = null;

function drawOperatorTree(tree) {
  const box = $('tree');
  box.replaceChildren();
  if (!tree) return;
  const next = { x: PAD, level: [], depth: 0 };
  layout(tree, 0, next);
  let width = 0;
  (function measure(node) { width = Math.max(width, node.x + node.width); node.children.forEach(measure); })(tree);
  const height = PAD * 2 + (next.depth + 1) * NODE_H + next.depth * GAP_Y;
  const root = svg('svg', { width: width + PAD, height, viewBox: `0 0 ${width + PAD} ${height}`, role: 'tree' }, box);
  const edges = svg('g', {}, root), nodes = svg('g', {}, root);
  (function draw(node, level) {
    for (const child of node.children) {
      const x1 = node.x + node.width / 2, y1 = node.y + NODE_H, x2 = child.x + child.width / 2, y2 = child.y;
      svg('path', { class: 'edge', d: `M${x1},${y1} C${x1},${(y1 + y2) / 2} ${x2},${(y1 + y2) / 2} ${x2},${y2}` }, edges);
      draw(child, level + 1);
    }
    const kind = node.error ? 'failed' : node.evaluated ? (node.kind === 'relation' ? 'relation' : '') : 'skipped';
    const g = svg('g', { class: 'node ' + kind, transform: `translate(${node.x},${node.y})`, tabindex: 0,
                         role: 'treeitem', 'aria-level': level, 'data-expression': node.expression,
                         'data-rows': node.evaluated ? node.rows : '' }, nodes);
    const title = node.expression + (node.evaluated ? '\n' + node.schema + '\n' + rowsText(node.rows) : '') +
        (node.error ? '\n' + node.error : '');
    svg('title', {}, g).textContent = title;
    g.setAttribute('aria-label', title.replace(/\n/g, '; '));
    svg('rect', { width: node.width, height: NODE_H, rx: 6 }, g);
    svg('text', { class: 'label', x: PAD, y: 19 }, g).textContent = clip(node.label);
    svg('text', { class: 'schema-text', x: PAD, y: 36 }, g).textContent = clip(node.evaluated ? node.schema : '');
    svg('text', { class: 'count', x: PAD, y: 53 }, g).textContent =
        node.error ? 'error' : node.evaluated ? rowsText(node.rows) : 'not evaluated';
    const choose = () => {
      if (chosenNode) chosenNode.classList.remove('chosen');
      chosenNode = g;
      g.classList.add('chosen');
      run(node.expression, false);
    };
    g.addEventListener('click', choose);
    g.addEventListener('keydown', (event) => {
      if (event.key === 'Enter' || event.key === ' ') { event.preventDefault(); choose(); }
    });
  })(tree, 1);
}

// ---- start -------------------------------------------------------------

startWorker();
if (examples.length) chooseExample(0);
else loadEnvironment();
