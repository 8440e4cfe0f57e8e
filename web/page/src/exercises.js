// The exercises panel: an exercise file (bundled or opened), one exercise
// at a time, the answer checked against the accepted answers by the
// checker in the worker, and the verdict with the counterexample and both
// results as tables. Answers and what is solved are kept per file in
// localStorage.
import { tablesElement } from './console_tables.js';

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

export function setUpExercises({ interpreter, environmentText, setStatus }) {
  const progress = loadProgress();
  // The open file: { name, text, databases, parsed }.
  let open = null;

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

  $('exercise-file').append(new Option('(none)', ''), ...bundled.map((f, i) => new Option(f.name, String(i))));

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
    $('exercise-answer').value = kept && typeof kept.answer === 'string' ? kept.answer : '';
    progress.last = { name: open.name, id: exercise.id, text: open.bundled ? undefined : open.text };
    save();
  }

  // Reads an exercise file through the checker's own reader; its message
  // when it cannot.
  async function openFile(name, text, databases, isBundled, id) {
    const reply = await interpreter.request({ op: 'exercises', name, text });
    if (!reply.reply) { status(reply.crashed ? 'The interpreter failed: ' + reply.crashed : 'Stopped.', 'bad'); return; }
    if (reply.reply.error) { status(reply.reply.error, 'bad'); return; }
    open = { name, text, databases, bundled: isBundled, parsed: reply.reply };
    const index = bundled.findIndex((f) => f.name === name && f.text === text);
    $('exercise-file').value = index >= 0 ? String(index) : '';
    $('exercise-panel').hidden = false;
    showList();
    if (id && open.parsed.exercises.some((e) => e.id === id)) $('exercise').value = id;
    showExercise();
  }

  $('exercise-file').addEventListener('change', () => {
    const file = bundled[Number($('exercise-file').value)];
    if (file) openFile(file.name, file.text, file.databases, true);
  });
  $('open-exercises').addEventListener('click', () => $('exercises-input').click());
  $('exercises-input').addEventListener('change', async (event) => {
    const file = event.target.files[0];
    event.target.value = '';
    if (file) openFile(file.name, await file.text(), {}, false);
  });
  $('exercise').addEventListener('change', showExercise);
  $('exercise-answer').addEventListener('input', () => {
    const exercise = current();
    if (!exercise) return;
    const done = fileProgress();
    done[exercise.id] = Object.assign({}, done[exercise.id], { answer: $('exercise-answer').value });
    save();
  });

  // The exercise's database: bundled beside the file, else the one in the
  // environment editor (an opened file's database is not at hand).
  function databaseOf(exercise) {
    const name = exercise.database || open.parsed.database;
    if (name && open.databases && typeof open.databases[name] === 'string') return { text: open.databases[name] };
    return { text: environmentText(), note: name ? `The database ${name} is not bundled with the page; ` +
             'the answer is checked on the environment in the editor.' : '' };
  }

  function section(title, text) {
    const part = document.createElement('div');
    part.className = 'check-part';
    const heading = document.createElement('h4');
    heading.textContent = title;
    part.append(heading, tablesElement(text));
    return part;
  }

  $('check').addEventListener('click', async () => {
    const exercise = current();
    if (!exercise) return;
    const answer = $('exercise-answer').value;
    if (!answer.trim()) { status('Write an answer first.', 'bad'); return; }
    const database = databaseOf(exercise);
    status('Checking…', 'working');
    $('check-result').replaceChildren();
    const reply = await interpreter.request({ op: 'check', environment: database.text, references: exercise.answers,
                                              answer, strictNames: exercise.strict_names, forbidden: exercise.forbidden });
    if (!reply.reply) { status(reply.crashed ? 'The interpreter failed: ' + reply.crashed : 'Stopped.', 'bad'); return; }
    const report = reply.reply;
    if (report.error) { status(report.error, 'bad'); return; }
    if (report.forbidden) { status('Not yet: ' + report.forbidden, 'bad'); return; }
    const done = fileProgress();
    const same = report.verdict === 'same';
    done[exercise.id] = { answer, solved: same || !!(done[exercise.id] && done[exercise.id].solved) };
    save();
    showList();
    const where = report.where === 'given' ? 'on the exercise\'s database'
                                           : 'on a generated database (it agrees on the exercise\'s database)';
    status(same ? 'Correct: the answer gives the same as the accepted answer on every database tried.'
                : 'Not yet: the answer differs from the accepted answer ' + where + '.', same ? 'good' : 'bad');
    const parts = [];
    if (!same) parts.push(section('Counterexample', report.counterexample));
    const side = document.createElement('div');
    side.className = 'side-by-side';
    side.append(section('The accepted answer gives', report.reference), section('Your answer gives', report.answer));
    parts.push(side);
    for (const note of [database.note, ...report.notes].filter(Boolean)) {
      const p = document.createElement('p');
      p.className = 'check-note';
      p.textContent = note;
      parts.push(p);
    }
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
    const file = bundled.find((f) => f.name === last.name);
    if (typeof last.text === 'string') return openFile(last.name, last.text, file && file.text === last.text ? file.databases : {}, false, last.id);
    if (file) return openFile(file.name, file.text, file.databases, true, last.id);
    return Promise.resolve();
  }
  return { openText, restore };
}
