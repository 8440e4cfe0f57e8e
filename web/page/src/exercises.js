// The exercises panel: an exercise file (bundled or opened), one exercise
// at a time, the answer checked against the accepted answers by the
// checker in the worker, and the verdict with the counterexample and both
// results as tables. Answers and what is solved are kept per file in
// localStorage.
import { tablesElement } from './console_tables.js';
import { fetchText } from './course.js';
import { createExpressionEditor, setText, markError, markRanges, offsetOfPlace } from './editors.js';

const $ = (id) => document.getElementById(id);
const KEY = 'qorvantel.exercises';
const bundled = self.QORVANTEL_EXERCISES || [];

function loadProgress() {
  try {
    const kept = JSON.parse(localStorage.getItem(KEY) || '{}');
    return kept && typeof kept === 'object' && kept.files && typeof kept.files === 'object' ? kept : { files: {} };
  } catch (error) {
    return { files: {} };
  }
}

export function setUpExercises({ interpreter, environmentText, setStatus, runAnswer }) {
  const progress = loadProgress();
  // The open file: { name, text, databases, parsed, fetchDatabase? }.
  let open = null;
  // The course's exercise sets, and how to fetch one of its databases.
  let course = null, courseDatabase = null;
  const answerEditor = createExpressionEditor($('exercise-answer'), {
    onRun: () => $('check').click(),
    onChange: () => { queueMicrotask(() => markError(answerEditor, null)); answerChanged(); },
    label: 'Your answer (Ctrl+Enter checks it)', enterRuns: false,
  });
  answerEditor.contentDOM.setAttribute('aria-labelledby', 'exercise-answer-label');
  const answerText = () => answerEditor.state.doc.toString();

  function save() {
    try { localStorage.setItem(KEY, JSON.stringify(progress)); } catch (error) { /* the page forgets */ }
  }
  const fileProgress = () => {
    const files = progress.files;
    if (!files[open.name] || typeof files[open.name] !== 'object') files[open.name] = {};
    return files[open.name];
  };
  const current = () => open && open.parsed.exercises.find((e) => e.id === $('exercise').value);
  const status = (message, kind) => setStatus($('check-status'), message, kind);

  function fillFiles() {
    const picker = $('exercise-file');
    picker.replaceChildren(new Option('(none)', ''));
    if (course && course.exercises.length) {
      const group = Object.assign(document.createElement('optgroup'), { label: course.title ? 'Course: ' + course.title : 'Course' });
      group.append(...course.exercises.map((f, i) => new Option(f.name, 'course:' + i)));
      picker.append(group);
    }
    const group = Object.assign(document.createElement('optgroup'), { label: 'Examples' });
    group.append(...bundled.map((f, i) => new Option(f.name, String(i))));
    picker.append(group);
  }
  fillFiles();

  function showList() {
    const done = fileProgress();
    const chosen = $('exercise').value;
    $('exercise').replaceChildren(...open.parsed.exercises.map((e) =>
      new Option((done[e.id] && done[e.id].solved ? '✓ ' : '') + e.id, e.id)));
    if (open.parsed.exercises.some((e) => e.id === chosen)) $('exercise').value = chosen;
    const solved = open.parsed.exercises.filter((e) => done[e.id] && done[e.id].solved).length;
    $('exercise-progress').textContent = `${solved} of ${open.parsed.exercises.length} solved`;
  }

  function showExercise() {
    const exercise = current();
    $('check-result').replaceChildren();
    status('', '');
    $('exercise-body').hidden = !exercise;
    if (!exercise) return;
    const points = exercise.points === 1 ? '1 point' : exercise.points + ' points';
    $('exercise-question').textContent = exercise.question.trim() + ` (${points})`;
    const kept = fileProgress()[exercise.id];
    showing = true;
    setText(answerEditor, kept && typeof kept.answer === 'string' ? kept.answer : '');
    showing = false;
    progress.last = { name: open.name, id: exercise.id, text: open.bundled || open.course ? undefined : open.text,
                      course: open.course ? open.name : undefined };
    save();
  }

  // Reads an exercise file through the checker's own reader; its message
  // when it cannot.
  async function openFile(name, text, databases, isBundled, id, courseIndex) {
    const reply = await interpreter.request({ op: 'exercises', name, text });
    if (!reply.reply) { status(reply.crashed ? 'The interpreter failed: ' + reply.crashed : 'Stopped.', 'bad'); return; }
    if (reply.reply.error) { status(reply.reply.error, 'bad'); return; }
    open = { name, text, databases, bundled: isBundled, parsed: reply.reply, course: courseIndex !== undefined };
    const index = bundled.findIndex((f) => f.name === name && f.text === text);
    $('exercise-file').value = courseIndex !== undefined ? 'course:' + courseIndex : index >= 0 ? String(index) : '';
    $('exercise-panel').hidden = false;
    showList();
    if (id && open.parsed.exercises.some((e) => e.id === id)) $('exercise').value = id;
    showExercise();
  }

  // A course's exercise set, fetched from the site.
  async function openCourseFile(at, id) {
    const entry = course.exercises[at];
    const got = await fetchText(entry.url, entry.file);
    if (got.error) { status(got.error, 'bad'); $('exercise-file').value = ''; return; }
    return openFile(entry.name, got.text, {}, false, id, at);
  }
  $('exercise-file').addEventListener('change', () => {
    const value = $('exercise-file').value;
    if (value.startsWith('course:')) { openCourseFile(Number(value.slice(7))); return; }
    const file = bundled[Number(value)];
    if (file) openFile(file.name, file.text, file.databases, true);
  });
  $('open-exercises').addEventListener('click', () => $('exercises-input').click());
  $('exercises-input').addEventListener('change', async (event) => {
    const file = event.target.files[0];
    event.target.value = '';
    if (file) openFile(file.name, await file.text(), {}, false);
  });
  $('exercise').addEventListener('change', showExercise);
  let showing = false;
  function answerChanged() {
    const exercise = current();
    if (!exercise || showing) return;
    const done = fileProgress();
    done[exercise.id] = Object.assign({}, done[exercise.id], { answer: answerText() });
    save();
  }
  $('run-answer').addEventListener('click', () => { if (answerText().trim()) runAnswer(answerText(), answerEditor); });

  // The exercise's database: bundled beside the file, else the one in the
  // environment editor (an opened file's database is not at hand).
  async function databaseOf(exercise) {
    const name = exercise.database || open.parsed.database;
    if (name && open.databases && typeof open.databases[name] === 'string') return { text: open.databases[name] };
    if (name && open.course && courseDatabase) {
      const text = await courseDatabase(name);
      if (typeof text === 'string') return { text };
      return { missing: `The exercise's database ${name} is not in the course folder, so the answer cannot be checked. ` +
                        'Tell your teacher.' };
    }
    return { text: environmentText(), note: name ? `The database ${name} is not bundled with the page; ` +
             'the answer is checked on the environment in the editor.' : '' };
  }

  // relations: what tablesElement draws.
  function section(title, relations) {
    const part = document.createElement('div');
    part.className = 'check-part';
    const heading = document.createElement('h4');
    heading.textContent = title;
    part.append(heading, tablesElement(relations));
    return part;
  }

  const isRelation = (result) => !!result && Array.isArray(result.rows) && Array.isArray(result.columns);

  // One side's result ('answer' or 'reference', a relation of the reply's
  // tables or { error }) with the rows the other side lacks marked, and why
  // on hover or tap where the reply's difference says. A difference names
  // its row as the console writes it: the fields with ", " between them.
  // When the other side is cut, a row it does not show may still be there,
  // so only the rows a difference names are marked.
  function resultPart(title, side, result, other, differences) {
    const part = section(title, isRelation(result) ? [result] : result);
    if (!isRelation(result)) return part;
    const key = (row) => row.join('\u0000');
    const otherRows = new Set(isRelation(other) ? other.rows.map(key) : []);
    const otherCut = isRelation(other) && other.count > other.rows.length;
    const said = new Map((differences || []).filter((d) => d && d.in === side && typeof d.row === 'string')
      .map((d) => [d.row, d]));
    const body = part.querySelector('table').tBodies[0];
    [...body.rows].forEach((tr, r) => {
      const row = result.rows[r];
      if (!row) return;
      const difference = said.get(row.join(', '));
      if (otherRows.has(key(row)) || (otherCut && !difference)) return;
      tr.classList.add('differs');
      if (!difference) return;
      const reasons = Array.isArray(difference.why) ? difference.why : [difference.why];
      const why = [...reasons, difference.dropped_by ? 'dropped by ' + difference.dropped_by : '']
        .filter((w) => typeof w === 'string' && w).join('; ');
      tr.title = why;
      tr.tabIndex = 0;
      tr.setAttribute('aria-label', row.join(', ') + ': ' + why);
      tr.addEventListener('click', () => { tr.classList.toggle('why-shown'); tr.dataset.why = why; });
    });
    return part;
  }

  function paragraph(text, className) {
    return Object.assign(document.createElement('p'), { className: className || 'check-note', textContent: text });
  }

  // The answer editor's marks: a fault range of check 2, else the place a
  // parse error reports.
  function markAnswer(report, student) {
    const doc = answerEditor.state.doc;
    const fault = report.fault;
    if (fault && typeof fault.line === 'number') {
      const from = offsetOfPlace(doc, fault.line, fault.column);
      const to = offsetOfPlace(doc, fault.end_line, fault.end_column + 1);
      if (from !== null && to !== null) { markRanges(answerEditor, [[from, Math.max(from + 1, to)]], fault.message || ''); return; }
    }
    if (student && typeof student.error_line === 'number') {
      const at = student.error_at_end ? doc.length : offsetOfPlace(doc, student.error_line, student.error_column);
      markError(answerEditor, at, student.message);
    }
  }

  function rightText(report) {
    const g = report.guarantee;
    if (g === 'proved') return 'Right: proved the same as the accepted answer on every database.';
    if (g === 'bounded') return `Right on every database of up to ${report.bound} rows.`;
    return 'No difference found (not proved): your answer agrees with the accepted answer on the exercise\'s ' +
           `database and on ${report.instances || 0} generated databases.`;
  }

  $('check').addEventListener('click', async () => {
    const exercise = current();
    if (!exercise) return;
    const answer = answerText();
    if (!answer.trim()) { status('Write an answer first.', 'bad'); return; }
    status('Checking…', 'working');
    $('check-result').replaceChildren();
    const database = await databaseOf(exercise);
    if (database.missing) { status(database.missing, 'bad'); return; }
    const reply = await interpreter.request({ op: 'check', environment: database.text, references: exercise.answers,
                                              answer, strictNames: exercise.strict_names, forbidden: exercise.forbidden,
                                              constraints: exercise.constraints || '' });
    if (!reply.reply) { status(reply.crashed ? 'The interpreter failed: ' + reply.crashed : 'Stopped.', 'bad'); return; }
    const report = reply.reply;
    if (report.error) { status(report.error, 'bad'); return; }
    if (report.forbidden) { status('Not yet: ' + report.forbidden, 'bad'); return; }
    const student = report.student || { kind: report.verdict === 'same' ? 'right' : 'rows' };
    const done = fileProgress();
    const right = report.verdict === 'same';
    done[exercise.id] = { answer, solved: right || !!(done[exercise.id] && done[exercise.id].solved) };
    save();
    showList();
    const parts = [];
    $('check-result').dataset.kind = student.kind;
    if (student.kind === 'error') {
      status('Your answer has an error: it does not run on the exercise\'s database.', 'bad');
      parts.push(Object.assign(paragraph(student.message, 'error'), { role: 'note' }));
    } else if (student.kind === 'columns') {
      status('Your answer gives other columns than the exercise asks for.', 'bad');
      const side = document.createElement('div');
      side.className = 'side-by-side';
      for (const [title, schema] of [['Your answer gives', student.answer_schema], ['The exercise asks for', student.reference_schema]]) {
        const part = document.createElement('div');
        part.className = 'check-part';
        part.append(Object.assign(document.createElement('h4'), { textContent: title }),
                    Object.assign(document.createElement('code'), { className: 'schema-line', textContent: schema }));
        side.append(part);
      }
      parts.push(side);
    } else if (student.kind === 'rows' || !right) {
      status('Your answer gives other rows ' + (report.where === 'generated'
        ? 'on a small database made to tell them apart (it agrees on the exercise\'s database).'
        : 'on the exercise\'s database.'), 'bad');
      // The relations that hold rows; all of them when none does.
      const tables = report.tables || {};
      const example = Array.isArray(tables.counterexample) ? tables.counterexample : [];
      const holding = example.filter((t) => t.rows.length);
      parts.push(section('On these rows', holding.length ? holding : example));
      const side = document.createElement('div');
      side.className = 'side-by-side';
      side.append(resultPart('Your answer gives', 'answer', tables.answer, tables.reference, report.difference),
                  resultPart('The accepted answer gives', 'reference', tables.reference, tables.answer, report.difference));
      parts.push(side, paragraph('The highlighted rows are where the two differ.'));
    } else {
      status(rightText(report), 'good');
    }
    markAnswer(report, student);
    // Check 2's fault: where in the answer the difference comes from.
    if (!right && student.kind !== 'error' && report.fault && typeof report.fault.message === 'string' && report.fault.message)
      parts.unshift(paragraph(report.fault.message, 'fault-note'));
    // A note that repeats the error's message is not shown twice.
    const notes = [database.note, ...(report.notes || [])].filter((note) => note &&
      !(student.kind === 'error' && student.message && note.includes(student.message)));
    for (const note of notes) parts.push(paragraph(note));
    $('check-result').replaceChildren(...parts);
  });

  // The open file's text, for Share.
  const openText = () => (open ? open.text : undefined);
  // Opens what a link carries, or the file open before the reload.
  function restore(sharedText) {
    if (typeof sharedText === 'string') {
      const same = bundled.find((f) => f.text === sharedText);
      return same ? openFile(same.name, same.text, same.databases, true) : openFile('shared.exercises', sharedText, {}, false);
    }
    const last = progress.last;
    if (!last || typeof last.name !== 'string') return Promise.resolve();
    if (typeof last.course === 'string' && course) {
      const at = course.exercises.findIndex((e) => e.name === last.course);
      if (at >= 0) return openCourseFile(at, last.id);
    }
    const file = bundled.find((f) => f.name === last.name);
    if (typeof last.text === 'string') return openFile(last.name, last.text, file && file.text === last.text ? file.databases : {}, false, last.id);
    if (file) return openFile(file.name, file.text, file.databases, true, last.id);
    return Promise.resolve();
  }
  function setCourse(found, fetchDatabase) {
    course = found;
    courseDatabase = fetchDatabase;
    fillFiles();
  }
  return { openText, restore, setCourse };
}
