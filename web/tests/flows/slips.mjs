// Every slip of the table (src/web/slips.cpp) as a student types it: the
// console's message stays the console's byte for byte, the hint is added
// beside it. Then the palette, the relation cards and the answer's Run.
import path from 'node:path';

// [line, what the hint must say]. Company database.
const SLIPS = [
  ['project(Employee, ename salary)', /separated by commas: ename, salary/],
  ['select(Employee, salary > 30000)', /GT\(salary, 30000\) for salary > 30000/],
  ["select(Employee, ename = 'Smith')", /EQ\(ename, 'Smith'\)/],
  ['select(Employee, salary >= 30000)', /GTE\(salary, 30000\)/],
  ['Project(Employee, ename)', /lower case: project, not Project/],
  ['SELECT(Employee, GT(salary, 1))', /lower case: select, not SELECT/],
  ['select(Employee, gt(salary, 1))', /capitals: GT, not gt/],
  ['σ(Employee)', /σ is written select\(R, condition\)/],
  ['π(Employee)', /π is written project/],
  ['Employee ⋈ Department', /⋈ \(join\) has no symbol here: .*product/],
  ['Employee join Department', /no join operator; .*rename\(B, B2/],
  ['intersect(Employee, Employee)', /no intersect operator; .*minus\(A, minus\(A, B\)\)/],
  ['Employee intersect Employee', /no intersect operator/],
  ['divide(WorksOn, Job)', /no division operator/],
  ['product(Employee, Employee)', /columns named ssn, ename, salary, dno and boss.*rename\(Employee, Employee2\(ssn2, ename2, salary2, dno2, boss2\)\)/],
  ['product(Employee, WorksOn, rename(WorksOn, W(a, b, c)), Job, Employee)', /columns named ssn/],
  ['product(Employee, project(Employee, ssn))', /a column named ssn, .*rename\(project\(Employee, ssn\), Right2\(ssn2\)\)/],
  ['rename(Employee, E(a, b))', /gives 2 column names, but Employee has 5 columns \(ssn, ename, salary, dno and boss\)/],
  ['rename(project(Employee, ssn), E(a, b))', /gives 2 column names, but project\(Employee, ssn\) has 1 column \(ssn\)/],
];

export default async function slips(t) {
  const { check, text } = t;
  const company = path.join(t.root, 'examples/company.env');
  const page = await t.openPage();
  await t.chooseExample(page, 'company');
  for (const [line, hint] of SLIPS) {
    await t.runLine(page, line);
    const shown = await text(page, '#error');
    const said = await page.$eval('#slip-hint', (e) => (e.hidden || e.closest('#slip').hidden ? '' : e.textContent));
    check(`${line}: the console's message, byte for byte`, shown === t.nativeMessage(line, company), shown);
    check(`${line}: the hint`, hint.test(said), said);
    const place = await page.$eval('#slip-place', (e) => (e.hidden ? '' : e.textContent));
    if (place) check(`${line}: where reading stopped`, /^Reading stopped at line \d+, column \d+\.$/.test(place), place);
  }
  // No hint where there is no slip, and none for a line that runs.
  await t.runLine(page, 'Nobody');
  check('a plain missing relation gets no hint', await page.$eval('#slip', (e) => e.hidden));
  await t.runLine(page, 'Employee');
  check('a line that runs shows no slip', await page.$eval('#slip', (e) => e.hidden));

  // The palette inserts templates, the first blank selected.
  await t.typeExpression(page, '');
  for (const [symbol, template] of [['∩', 'minus(A, minus(A, B))'], ['σ', 'select(R, EQ(a, 1))']]) {
    await t.typeExpression(page, '');
    await page.click(`.palette-key[aria-label*="${symbol === '∩' ? 'intersection' : 'select'}"]`);
    const state = await page.evaluate(() => ({ text: document.querySelector('#expression-editor .cm-content').textContent,
                                               selected: getSelection().toString() }));
    check(`the ${symbol} button inserts its template`, state.text === template, JSON.stringify(state));
  }
  await page.keyboard.type('Employee');
  await page.keyboard.press('Escape');
  check('typing replaces the template\'s first blank', (await t.editorText(page, 'expression-editor')) === 'select(Employee, EQ(a, 1))',
        await t.editorText(page, 'expression-editor'));

  // Relation cards: the name inserts it, the rows button shows them.
  await t.typeExpression(page, 'project(');
  await page.click('.schema .card-name[aria-label="Insert Department"]');
  check('a card inserts its relation\'s name', (await t.editorText(page, 'expression-editor')).startsWith('project(Department'),
        await t.editorText(page, 'expression-editor'));
  await page.click('.schema .card-rows[aria-label*="of WorksOn"]');
  await t.sleep(50);
  await t.waitIdle(page);
  check('a card shows its relation\'s rows', (await text(page, '#count')).startsWith(`${t.nativeRows('WorksOn', company)} row`) &&
        (await text(page, '#result-title')) === 'Rows of the whole query', await text(page, '#count'));

  // The answer box: a CodeMirror editor, with Run showing the answer's tree.
  const index = await page.$$eval('#exercise-file option', (os) => os.find((o) => o.textContent === 'company.exercises')?.value);
  await page.select('#exercise-file', index);
  await page.waitForFunction(() => !document.getElementById('exercise-panel').hidden, { timeout: 10000 });
  await page.focus('#exercise-answer .cm-content');
  await page.keyboard.type('proj');
  await page.waitForSelector('.cm-tooltip-autocomplete', { timeout: 3000 }).catch(() => null);
  const offered = await page.$$eval('.cm-tooltip-autocomplete li', (lis) => lis.map((li) => li.textContent));
  check('the answer editor completes words', offered.some((o) => o.startsWith('project')), JSON.stringify(offered));
  await page.keyboard.press('Escape');
  await t.setEditor(page, 'exercise-answer', 'select(Employee, GT(salary, 30000))');
  const highlighted = await page.$$eval('#exercise-answer .cm-line span', (spans) => spans.length);
  check('the answer editor highlights the language', highlighted >= 4, String(highlighted));
  await page.click('#run-answer');
  await t.sleep(50);
  await t.waitIdle(page);
  const root = await page.$eval('.node', (g) => g.dataset.expression);
  check('Run shows the answer\'s tree and rows', root === 'select(Employee, GT(salary, 30000))' &&
        (await text(page, '#count')).startsWith(`${t.nativeRows('select(Employee, GT(salary, 30000))', company)} row`), root);
  await page.focus('#exercise-answer .cm-content');
  await page.keyboard.down('Control');
  await page.keyboard.press('Enter');
  await page.keyboard.up('Control');
  await t.sleep(50);
  await t.waitIdle(page);
  check('Ctrl+Enter in the answer editor checks it', (await text(page, '#check-status')) !== '', await text(page, '#check-status'));
  await page.browserContext().close();
}
