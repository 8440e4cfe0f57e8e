// The page: the environment and expression editors, the interpreter in its
// worker, the answer with its operator tree and formula, share links,
// downloads, help, and what is kept across reloads.
import { Interpreter } from './interpreter.js';
import { createEnvironmentEditor, createExpressionEditor, markError, markRanges, offsetOfPlace, setText, streamText,
         refreshLanguages, insertText } from './editors.js';
import { known, setWords } from './language.js';
import { TreeView, rowsText } from './tree.js';
import { showAnswer, clearAnswer, showTextOrTable, showFormula, showSlip, showHeading } from './results.js';
import { History, loadKept, keep, MAX_KEPT } from './storage.js';
import { setUpSharing, openLink, alreadyOpened, markOpened } from './sharing.js';
import { setUpDownloads } from './result_files.js';
import { setUpHelp, showSamples } from './help.js';
import { setUpExercises } from './exercises.js';
import { findCourse, fetchText } from './course.js';
import { setUpPalette } from './palette.js';

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
  onWords: (words) => { setWords(words); refreshLanguages(); },
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
known.complete = (before, prefix) => interpreter.request({ op: 'complete', before, prefix })
  .then((answer) => (Array.isArray(answer.reply) ? answer.reply : []));

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

// The databases the picker offers: the course's first, then the bundled
// examples. Each is { name, environment?, url?, queries }.
const sources = { course: [], examples };
function sourceOf(value) {
  const [group, index] = String(value).split(':');
  return (sources[group] || [])[Number(index)] || null;
}
function exampleOf(text) {
  for (const group of ['course', 'examples']) {
    const index = sources[group].findIndex((e) => e.environment === text);
    if (index >= 0) return group + ':' + index;
  }
  return '';
}

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
    const chosen = text === null ? '' : exampleOf(text);
    const example = sourceOf(chosen);
    const first = reply.relations[0];
    expression.setPlaceholder(example && example.queries.length ? example.queries[0]
                              : first ? `project(${first.name}, ${first.columns[0].name})` : '');
    $('example').value = chosen;
    showSamples(example, useQuery);
  });
}

// Each loaded relation as a card: its name inserts it in the expression,
// "rows" shows its rows.
function showSchemas(relations) {
  $('schemas').replaceChildren(...relations.map((relation) => {
    const item = document.createElement('li');
    item.className = 'schema';
    const name = Object.assign(document.createElement('button'), { type: 'button', className: 'card-name', textContent: relation.name });
    name.title = 'Insert ' + relation.name + ' in the expression';
    name.setAttribute('aria-label', 'Insert ' + relation.name);
    name.addEventListener('click', () => { insertText(expression, relation.name); expression.focus(); });
    const show = Object.assign(document.createElement('button'), { type: 'button', className: 'secondary small card-rows',
                                                                  textContent: rowsText(relation.rows) });
    show.setAttribute('aria-label', 'Show the ' + rowsText(relation.rows) + ' of ' + relation.name);
    show.addEventListener('click', () => run(relation.name, true).then(() => $('result-heading').scrollIntoView({ block: 'nearest' })));
    const schema = Object.assign(document.createElement('span'), { className: 'card-schema',
                                                                  textContent: relation.schema.slice(relation.name.length) });
    item.append(name, schema, show);
    return item;
  }));
}

$('load').addEventListener('click', () => loadEnvironment());

function fillPicker() {
  const picker = $('example');
  picker.replaceChildren(new Option('(your text)', ''));
  const group = (label, list, key) => {
    if (!list.length) return;
    const element = document.createElement('optgroup');
    element.label = label;
    element.append(...list.map((e, i) => new Option(e.name, key + ':' + i)));
    picker.append(element);
  };
  group(course && course.title ? 'Course: ' + course.title : 'Course', sources.course, 'course');
  group('Examples', sources.examples, 'examples');
}
let course = null;
fillPicker();

// The environment text of a source, fetched from the course folder the
// first time; null (and the message shown) when the file is missing.
async function sourceText(source) {
  if (typeof source.environment === 'string') return source.environment;
  const got = await fetchText(source.url, source.file || source.name);
  if (got.error) { setStatus($('environment-status'), got.error, 'bad'); return null; }
  source.environment = got.text;
  return got.text;
}

async function chooseExample(value, runFirst) {
  const example = sourceOf(value);
  if (!example) return;
  const text = await sourceText(example);
  if (text === null) { $('example').value = ''; return; }
  setText(environment, text);
  if (example.queries.length && !expression.state.doc.length) setText(expression, example.queries[0]);
  await loadEnvironment();
  if (runFirst && loadedOk && expression.state.doc.length) return runTyped();
}

// Asks before text the user wrote is replaced: "what" would replace it.
// With add, a third button adds instead. Resolves to 'replace', 'add' or
// 'keep'.
let asking = null;
function askReplace(what, add) {
  const text = environment.state.doc.toString();
  if (!text.trim() || exampleOf(text)) return Promise.resolve('replace');
  $('replace-text').textContent = what + ' would replace your environment text.';
  $('replace-add').hidden = !add;
  $('replace-warning').hidden = false;
  $('replace-yes').focus();
  return new Promise((resolve) => { asking = resolve; });
}
for (const [id, answer] of [['replace-yes', 'replace'], ['replace-add', 'add'], ['replace-no', 'keep']]) {
  $(id).addEventListener('click', () => {
    $('replace-warning').hidden = true;
    const done = asking;
    asking = null;
    if (done) done(answer);
  });
}

$('example').addEventListener('change', async (event) => {
  const value = event.target.value;
  const example = sourceOf(value);
  if (!example) return;
  if ((await askReplace(`The example "${example.name}"`, false)) !== 'replace') {
    $('example').value = '';
    $('example').focus();
    return;
  }
  chooseExample(value);
});

$('open-file').addEventListener('click', () => $('file').click());
$('file').addEventListener('change', async (event) => {
  const file = event.target.files[0];
  event.target.value = '';
  if (!file) return;
  const csv = /\.csv$/i.test(file.name);
  const choice = await askReplace(`The file "${file.name}"`, csv && loadedOk && known.relations.size > 0);
  if (choice === 'keep') { setStatus($('environment-status'), 'Your text is kept; ' + file.name + ' was not opened.', ''); return; }
  if (csv) openCsv(file, choice === 'add');
  else loadEnvironment(false, file);
});

// A CSV file becomes one relation named after the file, through the
// converter in the worker; what it cannot read is said in its words.
// With add, the relation joins those of the editor's text.
function openCsv(file, add) {
  setStatus($('environment-status'), 'Reading ' + file.name + '…', 'working');
  return working(interpreter.request({ op: 'csv', file }), 'Reading the CSV file…').then((answer) => {
    if (answer.stopped) return;
    const failure = recover(answer);
    setStatus($('query-status'), '', '');
    if (failure || answer.reply.error) { setStatus($('environment-status'), failure || answer.reply.error, 'bad'); return; }
    const converted = answer.reply.environment;
    const name = converted.slice(0, converted.indexOf('('));
    if (add && known.relations.has(name)) {
      setStatus($('environment-status'), `A relation named ${name} is loaded already, so ${file.name} was not added: ` +
                'rename the file, or open it to replace the text.', 'bad');
      return;
    }
    if (add) {
      const text = environment.state.doc.toString();
      setText(environment, text.replace(/\s*$/, '\n\n') + converted);
    } else {
      setText(environment, converted);
    }
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
// and the heading over it change. view says in which editor the line was
// written (the expression's, unless it is an exercise's answer).
function run(line, drawTree, view = expression) {
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
        if (drawTree) {
          page.whole = line;
          showTree(answer.reply, view);
        }
        showHeading(line === page.whole ? null : line, page.whole);
      });
  });
}

// Where an error "at end of text" is marked: after the last character
// that is not white space.
function endOfText(doc) {
  const tail = doc.sliceString(Math.max(0, doc.length - 4096));
  return doc.length - (tail.length - tail.replace(/\s+$/, '').length);
}

// { line, column } of a parse or load error (1-based; the column counts
// bytes), or { end: true } for one at the end of the text, or null for an
// error that reports no place: the reply's error_line, error_column and
// error_at_end.
function errorPlace(reply) {
  if (typeof reply.error_line !== 'number' || typeof reply.error_column !== 'number') return null;
  return reply.error_at_end ? { end: true } : { line: reply.error_line, column: reply.error_column };
}

// The offset of a reported place in a document, or null.
function offsetOf(doc, place) {
  if (!place) return null;
  return place.end ? endOfText(doc) : offsetOfPlace(doc, place.line, place.column);
}

// The range of a node's place ({line, column, end_line, end_column}, the
// end inclusive) in a document, or null.
export function rangeOf(doc, place) {
  if (!place || typeof place.line !== 'number' || !place.line) return null;
  const from = offsetOfPlace(doc, place.line, place.column);
  const to = offsetOfPlace(doc, place.end_line, place.end_column + 1);
  return from === null || to === null ? null : [from, Math.max(from + 1, to)];
}

function showTree(reply, view) {
  page.lastTree = reply.tree || null;
  page.notation = reply.notation || null;
  tree.draw(page.lastTree, page.notation ? page.notation.symbols : []);
  showFormula(page.notation);
  const doc = view.state.doc;
  // Where reading stopped, when the module reports it (the parser's
  // furthest position), beside the console's message.
  const furthest = typeof reply.error_furthest_line === 'number'
    ? { line: reply.error_furthest_line, column: reply.error_furthest_column } : null;
  showSlip(reply, furthest);
  if (!reply.error) return;
  // A parse error is marked where reading stopped (else where its message
  // says); an evaluation error where the module says the failed node went
  // wrong, from the places the parser kept on the nodes.
  const place = furthest || errorPlace(reply);
  const ranges = (reply.error_ranges || []).map((at) => rangeOf(doc, at)).filter(Boolean);
  if (place) markError(view, offsetOf(doc, place), reply.error);
  else if (ranges.length) markRanges(view, ranges, reply.error);
}

$('run').addEventListener('click', () => runTyped());
$('whole-query').addEventListener('click', () => {
  if (page.whole === undefined) return;
  tree.choose(tree.tree, true);
  run(page.whole, false).then(() => $('result-heading').scrollIntoView({ block: 'nearest' }));
});

const tree = new TreeView($('tree'), {
  onChoose: (node) => run(node.expression, false).then(() => {
    // With the keyboard (or on a phone) the table is brought into view.
    $('result-heading').scrollIntoView({ block: 'nearest' });
  }),
});
$('zoom-in').addEventListener('click', () => tree.zoom(1.25));
$('zoom-out').addEventListener('click', () => tree.zoom(0.8));
$('zoom-fit').addEventListener('click', () => tree.fit());
$('symbols').addEventListener('change', () => { tree.setSymbols($('symbols').checked); keepSoon(); });
$('show-text').addEventListener('change', () => {
  showTextOrTable($('table-box').childElementCount > 0, !$('error').hidden);
  keepSoon();
});
// The LaTeX is the converter's ("qorvantel-convert to-latex"), made by
// the module.
$('copy-latex').addEventListener('click', () => {
  const latex = page.notation ? page.notation.latex : '';
  const done = (message) => setStatus($('latex-status'), message, '');
  (navigator.clipboard ? navigator.clipboard.writeText(latex) : Promise.reject())
    .then(() => done('Copied.'), () => done('Copy this: ' + latex));
});
setUpPalette($('palette'), (template) => { insertText(expression, template.text, template.select); expression.focus(); });

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

const exercises = setUpExercises({
  interpreter, environmentText: () => environment.state.doc.toString(), setStatus,
  runAnswer: (line, view) => run(line, true, view).then(() => $('result-heading').scrollIntoView({ block: 'nearest' })),
});
setUpSharing({ environment, expression, exercisesText: exercises.openText, setStatus });
setUpDownloads({ interpreter, page, environment });
setUpHelp();

// ---- links -----------------------------------------------------------------

function showLinkError(message) {
  $('link-status').hidden = !message;
  $('link-status').textContent = message || '';
}

// Opens what a fragment holds; false when it holds no session link. A
// link refused in a tab already at work leaves the work as it is; on
// opening, the page starts empty instead.
async function openFragment(fragment, initial) {
  const link = await openLink(fragment);
  if (!link) return false;
  markOpened(fragment);
  showLinkError(link.error || '');
  if (link.error && !initial) return true;
  exercises.restore(link.session ? link.session.exercises : undefined);
  const session = link.session || { environment: '', expression: '' };
  setText(environment, session.environment);
  setText(expression, session.expression);
  clearAnswer();
  tree.draw(null);
  await loadEnvironment();
  if (session.expression.trim() && loadedOk) await runTyped();
  return true;
}
// A link pasted into this tab, or back and forward between links.
addEventListener('hashchange', () => { openFragment(location.hash, false); });

// ---- start -----------------------------------------------------------------

$('show-text').checked = kept.showText === true;
$('symbols').checked = kept.symbols === true;
tree.symbols = $('symbols').checked;

// The course folder beside the page, when the site has one: its databases
// and exercise sets are listed first.
const courseFound = findCourse().then((found) => {
  if (!found) return;
  course = found;
  if (found.error) {
    $('course-status').hidden = false;
    setStatus($('course-status'), found.error, 'bad');
  }
  sources.course = found.databases.map((d) => ({ name: d.name, file: d.file, url: d.url, queries: d.queries }));
  fillPicker();
  exercises.setCourse(found, (name) => {
    const source = sources.course.find((d) => d.name === name || d.file === name || d.url.endsWith('/' + name));
    return source ? sourceText(source) : Promise.resolve(null);
  });
});

const fragment = location.hash;
const started = (fragment && !alreadyOpened(fragment) ? openFragment(fragment, true) : Promise.resolve(false)).then(async (opened) => {
  if (opened) return;
  await courseFound;
  exercises.restore(undefined);
  // Whatever the user did meanwhile is not undone.
  if (revision > 0) return;
  if (typeof kept.environment === 'string') {
    setText(environment, kept.environment);
    if (typeof kept.expression === 'string') setText(expression, kept.expression);
    loadEnvironment();
    return;
  }
  if (typeof kept.expression === 'string') setText(expression, kept.expression);
  // The first view: a course's first database, else the first example,
  // with a sample query run (never an exercise's answer).
  const first = sources.course.length ? 'course:0' : examples.length ? 'examples:0' : '';
  const loading = first ? chooseExample(first, true) : loadEnvironment();
  if (kept.tooLarge) {
    Promise.resolve(loading).then(() => setStatus($('environment-status'), 'The last environment was too large to keep ' +
      'across a reload (over ' + (MAX_KEPT >> 20) + ' MB); the first example is loaded instead. Open the file again.', ''));
  }
  await loading;
});
// For whoever waits for the page: its first view is complete.
started.finally(() => { document.body.dataset.started = 'yes'; });
