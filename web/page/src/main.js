// The page: the environment and expression editors, the interpreter in its
// worker, the answer with its operator tree and formula, share links,
// downloads, help, and what is kept across reloads.
import { Interpreter } from './interpreter.js';
import { createEnvironmentEditor, createExpressionEditor, markError, markRanges, offsetOfPlace, setText, streamText } from './editors.js';
import { known } from './language.js';
import { TreeView, rowsText } from './tree.js';
import { showAnswer, clearAnswer, showTextOrTable, showFormula } from './results.js';
import { errorPlace, missingNames, firstMention } from './places.js';
import { formulaLatex } from './notation.js';
import { History, loadKept, keep, MAX_KEPT } from './storage.js';
import { setUpSharing, openLink } from './sharing.js';
import { setUpDownloads } from './result_files.js';
import { setUpHelp, showSamples } from './help.js';
import { setUpExercises } from './exercises.js';

// Bytes of console text shown: a longer text takes the browser long to lay
// out, and the whole result can be downloaded.
const TEXT_LIMIT = 64 << 10;
const ROW_LIMIT = 1000;      // rows shown in the table

const $ = (id) => document.getElementById(id);
const examples = self.QORVANTEL_EXAMPLES || [];
const kept = loadKept();
const history = new History(kept.history);

function setStatus(element, message, kind) {
  element.textContent = message;
  element.className = 'status' + (kind ? ' ' + kind : '');
}

const interpreter = new Interpreter({
  onVersion: (version) => { $('version').textContent = 'qorvantel ' + version + ' (WebAssembly)'; },
  onFatal: (message) => { $('version').textContent = 'interpreter not running'; setStatus($('query-status'), message, 'bad'); },
});

// ---- editors -----------------------------------------------------------

let revision = 0, loadedRevision = -1, loadedOk = false;
// The line whose answer is shown (a node's, after a click) and the tree.
const page = { current: null, lastTree: null };
const environment = createEnvironmentEditor($('environment-editor'), {
  onLoad: () => loadEnvironment(),
  // A change clears the error marks, after the change's own update.
  onChange: () => { revision++; queueMicrotask(() => markError(environment, null)); keepSoon(); },
});
const expression = createExpressionEditor($('expression-editor'), {
  onRun: () => runTyped(),
  onChange: () => { queueMicrotask(() => markError(expression, null)); keepSoon(); },
  history,
});

// ---- busy, Stop and crashes ----------------------------------------------

let busy = 0;
function working(promise, what) {
  busy++;
  setStatus($('query-status'), what, 'working');
  $('stop').hidden = false;
  return promise.finally(() => { if (--busy <= 0) { busy = 0; $('stop').hidden = true; } });
}

$('stop').addEventListener('click', () => {
  busy = 0;
  interpreter.restart();
  $('stop').hidden = true;
  clearAnswer();
  tree.draw(null);
  setStatus($('query-status'), 'Stopped. The interpreter was restarted.', '');
  loadEnvironment(true);
});

// A crashed worker is replaced and the environment loaded again.
function recover(reply) {
  if (!reply.crashed) return null;
  busy = 0;
  interpreter.restart();
  loadEnvironment(true);
  return 'The interpreter failed (' + reply.crashed + ') and was restarted.';
}

// ---- the environment -----------------------------------------------------

function exampleOf(text) { return examples.findIndex((e) => e.environment === text); }

// Loads the editor's text, or a file just put in the editor (which the
// worker reads itself, so that a large file is not copied on this thread).
function loadEnvironment(quiet, file) {
  const text = file ? null : environment.state.doc.toString();
  loadedRevision = revision;
  // The file's text reaches the editor meanwhile; the loaded text is then
  // the editor's.
  const shown = file ? streamText(environment, file).then(() => { loadedRevision = revision; }) : Promise.resolve();
  const status = $('environment-status');
  if (!quiet) setStatus(status, 'Loading…', 'working');
  const loaded = interpreter.request(file ? { op: 'load', file } : { op: 'load', text });
  return working(Promise.all([loaded, shown]), 'Loading the environment…').then(([reply]) => {
    if (reply.stopped) return;
    const failure = recover(reply);
    if (failure) { setStatus(status, failure, 'bad'); return; }
    setStatus($('query-status'), '', '');
    loadedOk = !reply.message;
    showSchemas(loadedOk ? reply.relations : []);
    known.relations = new Map((loadedOk ? reply.relations : []).map((r) => [r.name, r.columns.map((c) => c.name)]));
    if (!loadedOk) {
      setStatus(status, reply.message.trim(), 'bad');
      const place = errorPlace(reply.place || {});
      markError(environment, place && (place.end ? endOfText(environment.state.doc)
                                                 : offsetOfPlace(environment.state.doc, place.line, place.column)),
                reply.message.trim());
    } else {
      const n = reply.relations.length;
      setStatus(status, n + (n === 1 ? ' relation' : ' relations') + ' loaded.', '');
    }
    // The moment the page first answers, for whoever measures it.
    if (!performance.getEntriesByName('qorvantel-ready').length) performance.mark('qorvantel-ready');
    const index = text === null ? -1 : exampleOf(text);
    const example = examples[index];
    const first = reply.relations[0];
    expression.setPlaceholder(example && example.queries.length ? example.queries[0]
                              : first ? `project(${first.name}, ${first.columns[0].name})` : '');
    $('example').value = example ? String(index) : '';
    showSamples(example, useQuery);
  });
}

function showSchemas(relations) {
  $('schemas').replaceChildren(...relations.map((relation) => {
    const item = document.createElement('div');
    item.className = 'schema';
    const rows = document.createElement('span');
    rows.className = 'rows';
    rows.textContent = rowsText(relation.rows);
    item.append(rows, relation.schema);
    return item;
  }));
}

$('load').addEventListener('click', () => loadEnvironment());

$('example').append(new Option('(your text)', ''), ...examples.map((e, i) => new Option(e.name, String(i))));
let pendingExample = null;
function chooseExample(index) {
  const example = examples[index];
  if (!example) return;
  setText(environment, example.environment);
  if (example.queries.length && !expression.state.doc.length) setText(expression, example.queries[0]);
  return loadEnvironment();
}
// An example replaces the environment text; text the user wrote is not
// replaced without asking.
$('example').addEventListener('change', (event) => {
  const index = Number(event.target.value);
  if (event.target.value === '') return;
  const text = environment.state.doc.toString();
  if (!text.trim() || exampleOf(text) >= 0) { chooseExample(index); return; }
  pendingExample = index;
  $('replace-text').textContent = `The example "${examples[index].name}" would replace your environment text.`;
  $('replace-warning').hidden = false;
  $('replace-yes').focus();
});
$('replace-yes').addEventListener('click', () => {
  $('replace-warning').hidden = true;
  chooseExample(pendingExample);
});
$('replace-no').addEventListener('click', () => {
  $('replace-warning').hidden = true;
  $('example').value = '';
  $('example').focus();
});

$('open-file').addEventListener('click', () => $('file').click());
$('file').addEventListener('change', (event) => {
  const file = event.target.files[0];
  if (!file) return;
  if (/\.csv$/i.test(file.name)) openCsv(file);
  else loadEnvironment(false, file);
  event.target.value = '';
});

// A CSV file becomes one relation named after the file, through the
// converter in the worker; what it cannot read is said in its words.
function openCsv(file) {
  setStatus($('environment-status'), 'Reading ' + file.name + '…', 'working');
  return working(interpreter.request({ op: 'csv', file }), 'Reading the CSV file…').then((answer) => {
    if (answer.stopped) return;
    const failure = recover(answer);
    setStatus($('query-status'), '', '');
    if (failure || answer.reply.error) { setStatus($('environment-status'), failure || answer.reply.error, 'bad'); return; }
    setText(environment, answer.reply.environment);
    return loadEnvironment();
  });
}

// ---- running -------------------------------------------------------------

function useQuery(text) {
  setText(expression, text);
  runTyped();
}

function runTyped() {
  const line = expression.state.doc.toString();
  history.add(line);
  keepSoon();
  return run(line, true);
}

// Runs a line; with drawTree the tree and formula are redrawn and errors
// marked in the expression, otherwise (a node was chosen) only the answer
// changes.
function run(line, drawTree) {
  const before = revision === loadedRevision ? Promise.resolve() : loadEnvironment();
  return before.then(() => {
    if (!loadedOk) {
      clearAnswer();
      if (drawTree) tree.draw(null);
      showAnswer({ text: '', text_bytes: 0, error: 'The environment did not load, so there is nothing to evaluate: ' +
                   'mend it and press Load.' }, TEXT_LIMIT);
      return;
    }
    return working(interpreter.request({ op: 'run', line, textLimit: TEXT_LIMIT, rowLimit: ROW_LIMIT }), 'Working…')
      .then((answer) => {
        if (answer.stopped) return;
        const failure = recover(answer);
        if (failure) { clearAnswer(); showAnswer({ text: '', text_bytes: 0, error: failure }, TEXT_LIMIT); return; }
        setStatus($('query-status'), '', '');
        page.current = line;
        showAnswer(answer.reply, TEXT_LIMIT);
        if (drawTree) showTree(answer.reply);
      });
  });
}

// Where an error "at end of text" is marked: after the last character
// that is not white space.
function endOfText(doc) {
  const tail = doc.sliceString(Math.max(0, doc.length - 4096));
  return doc.length - (tail.length - tail.replace(/\s+$/, '').length);
}

function showTree(reply) {
  page.lastTree = reply.tree || null;
  tree.draw(page.lastTree);
  showFormula(page.lastTree);
  if (!reply.error) return;
  const place = errorPlace(reply);
  const doc = expression.state.doc;
  if (place) {
    markError(expression, place.end ? endOfText(doc) : offsetOfPlace(doc, place.line, place.column), reply.error);
  } else {
    const mentioned = firstMention(doc.toString(), missingNames(tree.failed()));
    if (mentioned) markRanges(expression, [mentioned], reply.error);
  }
}

$('run').addEventListener('click', () => runTyped());

const tree = new TreeView($('tree'), { onChoose: (node) => run(node.expression, false) });
$('zoom-in').addEventListener('click', () => tree.zoom(1.25));
$('zoom-out').addEventListener('click', () => tree.zoom(0.8));
$('zoom-fit').addEventListener('click', () => tree.fit());
$('symbols').addEventListener('change', () => { tree.setSymbols($('symbols').checked); keepSoon(); });
$('show-text').addEventListener('change', () => {
  showTextOrTable($('table-box').childElementCount > 0, !$('error').hidden);
  keepSoon();
});
$('copy-latex').addEventListener('click', () => {
  const latex = formulaLatex(page.lastTree);
  const done = (message) => setStatus($('latex-status'), message, '');
  (navigator.clipboard ? navigator.clipboard.writeText(latex) : Promise.reject())
    .then(() => done('Copied.'), () => done('Copy this: ' + latex));
});

// ---- kept across reloads ---------------------------------------------------

let keepTimer = null;
function keepNow() {
  clearTimeout(keepTimer);
  keepTimer = null;
  const doc = environment.state.doc;
  keep({
    environment: doc.length <= MAX_KEPT ? doc.toString() : null, tooLarge: doc.length > MAX_KEPT,
    expression: expression.state.doc.toString(), history: history.lines,
    showText: $('show-text').checked, symbols: $('symbols').checked,
  });
}
// Typing is kept a moment after it stops, and whatever is still waiting
// when the page goes away.
function keepSoon() {
  clearTimeout(keepTimer);
  keepTimer = setTimeout(keepNow, 400);
}
addEventListener('pagehide', () => { if (keepTimer !== null) keepNow(); });

const exercises = setUpExercises({ interpreter, environmentText: () => environment.state.doc.toString(), setStatus });
setUpSharing({ environment, expression, exercisesText: exercises.openText, setStatus });
setUpDownloads({ interpreter, environment, page });
setUpHelp();

// ---- start -----------------------------------------------------------------

$('show-text').checked = kept.showText === true;
$('symbols').checked = kept.symbols === true;
tree.symbols = $('symbols').checked;
openLink(location.hash).then((link) => {
  if (link && link.error) {
    $('link-status').hidden = false;
    $('link-status').textContent = link.error;
  }
  // The exercise file a link carries, else the one open before the reload.
  exercises.restore(link && link.session ? link.session.exercises : undefined);
  if (link) {
    window.history.replaceState(null, '', location.pathname + location.search);
    const session = link.session || { environment: '', expression: '' };
    setText(environment, session.environment);
    setText(expression, session.expression);
    loadEnvironment().then(() => { if (session.expression.trim() && loadedOk) runTyped(); });
  } else if (typeof kept.environment === 'string') {
    setText(environment, kept.environment);
    if (typeof kept.expression === 'string') setText(expression, kept.expression);
    loadEnvironment();
  } else {
    if (typeof kept.expression === 'string') setText(expression, kept.expression);
    const loading = examples.length ? chooseExample(0) : loadEnvironment();
    if (kept.tooLarge) {
      Promise.resolve(loading).then(() => setStatus($('environment-status'), 'The last environment was too large to keep ' +
        'across a reload (over ' + (MAX_KEPT >> 20) + ' MB); the first example is loaded instead. Open the file again.', ''));
    }
  }
});
