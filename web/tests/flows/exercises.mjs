// Exercises and CSV: an exercise checked right and one checked wrong (the
// counterexample and both results as tables), progress kept across a
// reload and carried by Share, and CSV files opened: a good one loads as
// an environment, bad ones show the converter's own message.
import { mkdtempSync, writeFileSync, readFileSync, rmSync } from 'node:fs';
import { tmpdir } from 'node:os';
import path from 'node:path';

// Each table shown in a part of the check's result, drawn from the reply's
// tables: its caption, header, rows and which cells are drawn as numbers.
const tablesIn = (page, selector) => page.$$eval(selector + ' table', (tables) => tables.map((table) => ({
  caption: table.caption ? table.caption.textContent : '',
  header: [...table.tHead.rows[0].cells].map((cell) => cell.textContent),
  rows: [...table.tBodies[0].rows].map((row) => [...row.cells].map((cell) => cell.textContent)),
  numbers: [...table.tBodies[0].rows].map((row) => [...row.cells].map((cell) => cell.classList.contains('number'))),
})));

async function checkAnswer(t, page, answer) {
  await t.setEditor(page, 'exercise-answer', answer);
  await page.click('#check');
  await t.sleep(50);
  await t.waitIdle(page);
  return t.text(page, '#check-status');
}

export default async function exercises(t) {
  const { check, text } = t;
  const total = (readFileSync(path.join(t.root, 'examples/sailors.exercises'), 'utf8').match(/^== /gm) || []).length;
  const page = await t.openPage();
  const index = await page.$$eval('#exercise-file option', (os) => os.find((o) => o.textContent === 'sailors.exercises')?.value);
  await page.select('#exercise-file', index);
  await page.waitForFunction(() => !document.getElementById('exercise-panel').hidden, { timeout: 10000 });
  check('an exercise file opens at its first exercise', /names and ages of the sailors rated above 7/.test(await text(page, '#exercise-question')),
        await text(page, '#exercise-question'));

  // Wrong: rated above 8 rather than 7 loses Lubber, rated 8.
  const wrong = await checkAnswer(t, page, 'project(select(Sailor, GT(rating, 8)), sname, age)');
  check('a wrong answer is said to give other rows', /^Your answer gives other rows/.test(wrong), wrong);
  const counterexample = await tablesIn(page, '#check-result > .check-part');
  const sailor = counterexample.find((table) => table.caption.startsWith('Sailor('));
  // Fields as the console writes them: a string with its quotes.
  check('the counterexample shows only the relations that hold rows, fields as the console writes them',
        counterexample.length === 1 && sailor && sailor.caption === 'Sailor(sid int, sname char(10), rating int, age int)' &&
        sailor.header.join('|') === 'sid|sname|rating|age' && sailor.rows.length === 1 &&
        sailor.rows[0].join('|') === "31|'Lubber'|8|55" && sailor.numbers[0].join() === 'true,false,true,true',
        JSON.stringify(counterexample));
  const sides = await tablesIn(page, '.side-by-side .check-part');
  check('both results are shown side by side', sides.length === 2 &&
        sides[0].rows.length === 1 && sides[0].rows[0].join() === 'no rows' && sides[1].rows.length === 1 &&
        sides[1].rows[0].join('|') === "'Lubber'|55" && sides[1].header.join('|') === 'sname|age',
        JSON.stringify(sides));
  const marked = await page.$$eval('.side-by-side tr.differs', (trs) => trs.map((tr) => tr.textContent));
  check('the rows that differ are highlighted', marked.length === 1 && /Lubber/.test(marked[0]), JSON.stringify(marked));
  // With check 2's fault and provenance (when the checker gives them): the
  // fault's range marked in the answer editor, and why a row differs on
  // hover or tap.
  if ((await page.$$('.fault-note')).length) {
    const fault = await page.$$eval('#exercise-answer .cm-lintRange-error', (ms) => ms.map((m) => m.textContent));
    check('check 2\'s fault is marked in the answer editor', fault.length > 0, JSON.stringify(fault));
    const why = await page.$$eval('.side-by-side tr.differs', (trs) => trs.map((tr) => tr.title));
    check('why a row differs shows on hover', why.some((w) => /Sailor: 31, 'Lubber'/.test(w) && /dropped by GT\(rating, 8\)/.test(w)),
          JSON.stringify(why));
    await page.tap('.side-by-side tr.differs[title]');
    check('and on a tap', (await page.$$('.side-by-side tr.why-shown')).length === 1);
  }
  // A counterexample of several relations (Boat too: the exercises declare
  // that a reservation's boat exists), in the console's order (by name),
  // and the differing row's why naming the rows it was made from.
  await page.select('#exercise', '3');
  const joined = await checkAnswer(t, page,
    'project(select(product(Sailor, rename(Reserve, R(rsid, bid, day))), AND(EQ(sid, rsid), EQ(bid, 104))), sname)');
  const two = await tablesIn(page, '#check-result > .check-part');
  check('a counterexample of several relations shows each, its fields as the console writes them',
        /^Your answer gives other rows/.test(joined) && two.map((table) => table.caption.split('(')[0]).join() === 'Boat,Reserve,Sailor' &&
        two.every((table) => table.rows.length === 1 && table.rows[0].some((field) => /^'[^']*'$/.test(field)) &&
                             table.rows[0].every((field, i) => table.numbers[0][i] === /^-?\d+$/.test(field))),
        JSON.stringify(two));
  const joinedWhy = await page.$$eval('.side-by-side tr.differs', (trs) => trs.map((tr) => tr.title));
  check('the differing row of a join says which rows made it',
        joinedWhy.length === 1 && /Sailor: \d+, '/.test(joinedWhy[0]) && /Reserve: \d+, 10[34], '/.test(joinedWhy[0]),
        JSON.stringify(joinedWhy));
  check('a wrong answer does not count as solved', (await text(page, '#exercise-progress')) === `0 of ${total} solved`);

  // Right: the same rows, written another way.
  await page.select('#exercise', '2');
  const answer = 'select(Sailor, AND(GTE(age, 25), LTE(age, 35)))';
  const right = await checkAnswer(t, page, answer);
  check('a right answer is said to be right, and how sure', /^(Right|No difference found \(not proved\))/.test(right), right);
  check('a right answer counts as solved', (await text(page, '#exercise-progress')) === `1 of ${total} solved` &&
        (await page.$eval('#exercise option[value="2"]', (o) => o.textContent)) === '✓ 2');
  const malformed = await checkAnswer(t, page, 'project(Sailor, snamex)');
  const message = await text(page, '#check-result');
  check('an answer with an error says so, with its message once',
        /^Your answer has an error/.test(malformed) && message.split('Column snamex not found').length === 2, malformed + ' | ' + message);
  const columns = await checkAnswer(t, page, 'project(Sailor, sname)');
  check('an answer with other columns says so, with both schemas',
        /^Your answer gives other columns/.test(columns) && /sname char/.test(await text(page, '.side-by-side')) &&
        /age int/.test(await text(page, '.side-by-side')), columns + ' | ' + await text(page, '#check-result'));
  const parseError = await checkAnswer(t, page, 'select(Sailor, age > 25)');
  const answerMark = await page.$$eval('#exercise-answer .cm-lintRange-error', (ms) => ms.length);
  check('an answer that does not parse is marked in the answer editor', /^Your answer has an error/.test(parseError) && answerMark > 0,
        parseError);
  await checkAnswer(t, page, answer);

  // Across a reload: the file, the exercise, the answer and what is solved.
  await page.reload({ waitUntil: 'load' });
  await t.waitIdle(page);
  await page.waitForFunction(() => !document.getElementById('exercise-panel').hidden, { timeout: 10000 });
  check('progress is kept across a reload', (await text(page, '#exercise-progress')) === `1 of ${total} solved` &&
        (await page.$eval('#exercise', (e) => e.value)) === '2' &&
        (await t.editorText(page, 'exercise-answer')) === answer,
        await text(page, '#exercise-progress'));

  // Share carries the open exercise file.
  await page.click('#share');
  await page.waitForFunction(() => document.getElementById('share-link').value !== '', { timeout: 5000 });
  const link = await page.$eval('#share-link', (e) => e.value);
  await page.browserContext().close();
  const shared = await t.openPage(link);
  await shared.waitForFunction(() => !document.getElementById('exercise-panel').hidden, { timeout: 10000 });
  check('a shared link opens its exercise file',
        (await shared.$eval('#exercise-file', (e) => e.selectedOptions[0].textContent)) === 'sailors.exercises');
  await shared.browserContext().close();

  // An exercise file of one's own: its database is not bundled, so the
  // editor's environment is used; forbidden operators are refused; a
  // malformed file shows the checker's message.
  const folder = mkdtempSync(path.join(tmpdir(), 'qorvantel-csv-'));
  const own = await t.openPage();
  await t.chooseExample(own, 'sailors');
  const opened = [
    { name: 'mine.exercises', content: 'database: mine.env\n== A\nThe names of all sailors.\nforbid: select\n--- answer\nproject(Sailor, sname)\n',
      answers: [['project(select(Sailor, GT(sid, 0)), sname)', 'Not yet: The answer uses select, which this exercise forbids.'],
                ['project(Sailor, sname)', /^(Right|No difference found)/]] },
    { name: 'broken.exercises', content: 'database: mine.env\n== A\nforbid: join\n--- answer\nSailor\n',
      message: 'broken.exercises:3: cannot forbid join; the operators are minus, union, rename, select, product, project.' },
  ];
  for (const file of opened) {
    writeFileSync(path.join(folder, file.name), file.content);
    await (await own.$('#exercises-input')).uploadFile(path.join(folder, file.name));
    await t.sleep(300);
    await t.waitIdle(own);
    if (file.message) {
      const said = await text(own, '#check-status');
      check(`${file.name} shows the checker's message`, said === file.message, said);
      continue;
    }
    for (const [answerText, expected] of file.answers) {
      const verdict = await checkAnswer(t, own, answerText);
      check(`${file.name}: ${answerText}`, typeof expected === 'string' ? verdict === expected : expected.test(verdict), verdict);
    }
    check('an unbundled database is taken from the editor, and said so',
          /mine\.env is not bundled/.test(await text(own, '#check-result')), await text(own, '#check-result'));
  }
  await own.browserContext().close();

  // CSV files, through Open file.
  const cases = [
    { name: 'people.csv', content: 'id,name,city\n1,Ann,Oslo\n2,Bob,"Lisbon, PT"\n',
      environment: "people(id int, name char(3), city char(10))\n1, 'Ann', 'Oslo'\n2, 'Bob', 'Lisbon, PT'\n" },
    { name: 'bad.csv', content: 'id,name\n1,Ann\n2,Bob,extra\n',
      message: 'qorvantel-convert: bad.csv, line 3: 3 fields where the header names 2; every row must have one value per column' },
    { name: 'empty.csv', content: '',
      message: 'qorvantel-convert: empty.csv, line 1: no header row; the first line must name the columns, separated by commas' },
    { name: 'big.csv', content: 'id\n1\n99999999999999999999\n',
      message: 'qorvantel-convert: big.csv, line 3, column id: the value "99999999999999999999" is an integer outside the ' +
               'range of int (-2147483647 to 2147483647); read the column as text with --types id=char' },
  ];
  const csvPage = await t.openPage();
  for (const csv of cases) {
    const file = path.join(folder, csv.name);
    writeFileSync(file, csv.content);
    await t.openFile(csvPage, file);
    const status = await text(csvPage, '#environment-status');
    if (csv.environment) {
      check(`${csv.name} loads as an environment`, status === '1 relation loaded.' &&
            (await t.editorText(csvPage, 'environment-editor')).trim() === csv.environment.trim(), status);
    } else {
      check(`${csv.name} shows the converter's message`, status === csv.message, status);
    }
  }
  // Over text of the user's own, Open file asks: keep it, replace it, or
  // add a CSV's relation to those loaded.
  await t.chooseExample(csvPage, 'university');
  await t.setEditor(csvPage, 'environment-editor', 'Mine(a int)\n1\n2\n');
  await csvPage.click('#load');
  await t.sleep(50);
  await t.waitIdle(csvPage);
  const people = path.join(folder, 'people.csv');
  await (await csvPage.$('#file')).uploadFile(people);
  await t.sleep(100);
  check('Open file asks before it replaces typed text', !(await csvPage.$eval('#replace-warning', (e) => e.hidden)) &&
        !(await csvPage.$eval('#replace-add', (e) => e.hidden)), await text(csvPage, '#replace-text'));
  await csvPage.click('#replace-no');
  await t.sleep(50);
  check('"Keep my text" keeps it', (await t.editorText(csvPage, 'environment-editor')) === 'Mine(a int)\n1\n2\n');
  await t.openFile(csvPage, people, 'add');
  check("a CSV's relation is added to those loaded", (await text(csvPage, '#environment-status')) === '2 relations loaded.' &&
        (await csvPage.$$eval('.schema .card-name', (ns) => ns.map((n) => n.textContent))).join() === 'Mine,people',
        await text(csvPage, '#environment-status'));
  await t.openFile(csvPage, people, 'add');
  check('a relation of the same name is not added twice', /A relation named people is loaded already/.test(
    await text(csvPage, '#environment-status')), await text(csvPage, '#environment-status'));
  const envFile = path.join(folder, 'other.env');
  writeFileSync(envFile, 'Other(b int)\n5\n');
  await (await csvPage.$('#file')).uploadFile(envFile);
  await t.sleep(100);
  check('an environment file asks too, with no "add"', !(await csvPage.$eval('#replace-warning', (e) => e.hidden)) &&
        (await csvPage.$eval('#replace-add', (e) => e.hidden)));
  await csvPage.click('#replace-yes');
  await t.sleep(100);
  await t.waitIdle(csvPage);
  check('"Replace my text" opens the file', (await t.editorText(csvPage, 'environment-editor')) === 'Other(b int)\n5\n');
  await csvPage.browserContext().close();
  rmSync(folder, { recursive: true, force: true });
}
