import { mkdtempSync, writeFileSync, rmSync } from 'node:fs';
import { tmpdir } from 'node:os';
import path from 'node:path';

// Errors and where they are marked, the defects of the first page (a
// failed load, an example replacing the user's text), the formula's LaTeX.
export default async function answers(t) {
  const { check, text, editorText } = t;
  const page = await t.openPage();
  await page.browserContext().overridePermissions(new URL(t.origin).origin, ['clipboard-read', 'clipboard-write', 'clipboard-sanitized-write']);
  await page.bringToFront();
  await t.chooseExample(page, 'university');
  const marked = (id) => page.$$eval(`#${id} .cm-lintRange-error`, (ms) => ms.map((m) => m.textContent).join('|'));

  await t.runLine(page, 'Student x');
  check('a parse error is shown as the console shows it', (await text(page, '#error')) === t.nativeMessage('Student x'),
        await text(page, '#error'));
  check('a parse error is marked at its place', (await marked('expression-editor')) === 'x', await marked('expression-editor'));

  // An error on the last of many lines is scrolled into sight.
  const long = 'project(\n' + Array.from({ length: 30 }, () => '  select(').join('\n') + '\n Student' +
      Array.from({ length: 30 }, () => ', GT(year, 0))').join('') + ', name) x';
  await t.typeExpression(page, '');
  await page.evaluate((value) => navigator.clipboard.writeText(value), long);
  await page.keyboard.down('Control');
  await page.keyboard.press('v');
  await page.keyboard.press('Enter');
  await page.keyboard.up('Control');
  await t.sleep(50);
  await t.waitIdle(page);
  await t.sleep(100);
  const seen = await page.evaluate(() => {
    const mark = document.querySelector('#expression-editor .cm-lintRange-error');
    const box = document.querySelector('#expression-editor .cm-scroller').getBoundingClientRect();
    if (!mark) return 'no mark';
    const at = mark.getBoundingClientRect();
    return at.top >= box.top - 1 && at.bottom <= box.bottom + 1 && at.left >= box.left - 1 && at.right <= box.right + 1 ? 'seen' : 'hidden';
  });
  check('an error at the end of a long expression is scrolled into sight', seen === 'seen', seen);

  await t.runLine(page, 'project(Student, surname)');
  check('an evaluation error is shown as the console shows it',
        (await text(page, '#error')) === t.nativeMessage('project(Student, surname)'), await text(page, '#error'));
  check('a missing column is marked where the expression names it', (await marked('expression-editor')) === 'surname',
        await marked('expression-editor'));
  check('the failing operator is marked in the tree',
        (await page.$$eval('.node.failed', (gs) => gs.map((g) => g.dataset.expression))).join() === 'project(Student, surname)');

  await t.runLine(page, 'union(Student, Nobody, Teacher)');
  check('a missing relation is marked where the expression names it', (await marked('expression-editor')) === 'Nobody',
        await marked('expression-editor'));
  const colours = await page.evaluate(() => {
    const fill = (selector) => { const e = document.querySelector(selector); return e && getComputedStyle(e).fill; };
    return { skipped: fill('.node.skipped .count'), good: fill('.node.relation .count'), failed: fill('.node.failed .count') };
  });
  check('"not evaluated" is neither the colour of success nor of failure',
        colours.skipped && colours.skipped !== colours.good && colours.skipped !== colours.failed, JSON.stringify(colours));

  // A failed load: the message, the mark, and no answer from a missing
  // environment.
  await t.runLine(page, 'select(Student, GT(year, 1))');
  await page.focus('#environment-editor .cm-content');
  await page.keyboard.down('Control');
  await page.keyboard.press('End');
  await page.keyboard.up('Control');
  await page.keyboard.type('1, 2, 3, 4\n');
  await page.click('#load');
  await t.sleep(50);
  await t.waitIdle(page);
  check('a failed load says why', /line \d+, column \d+/.test(await text(page, '#environment-status')),
        await text(page, '#environment-status'));
  check('a failed load is marked in the environment', (await marked('environment-editor')).length > 0);
  await t.runLine(page, 'Student');
  const error = await text(page, '#error');
  check('after a failed load an expression says the environment did not load',
        /did not load/.test(error) && !/invalid dereference/.test(error), error);
  check('after a failed load the previous result is gone', (await page.$$('#table-box table')).length === 0 &&
        (await page.$$('.node')).length === 0);

  // Choosing an example over edited text asks first.
  const edited = await editorText(page, 'environment-editor');
  const company = await page.$$eval('#example option', (os) => os.find((o) => o.textContent === 'company').value);
  await page.select('#example', company);
  await t.sleep(50);
  check('an example does not replace edited text without asking', !(await page.$eval('#replace-warning', (e) => e.hidden)) &&
        (await editorText(page, 'environment-editor')) === edited);
  await page.click('#replace-no');
  check('"Keep my text" keeps it', (await editorText(page, 'environment-editor')) === edited);
  await page.select('#example', company);
  await page.click('#replace-yes');
  await t.sleep(50);
  await t.waitIdle(page);
  check('"Replace my text" loads the example', (await editorText(page, 'environment-editor')).startsWith('Employee('));

  await t.chooseExample(page, 'university');
  await t.runLine(page, "select(Student, AND(GT(year, 1), NOT(EQ(name, 'Alan Turing'))))");
  check('conditions are written with ∧ ¬ and ≠ symbols', (await text(page, '#formula')) ===
        "σyear > 1 ∧ ¬name = 'Alan Turing'(Student)", await text(page, '#formula'));
  // LaTeX is the converter's, for names the first page's copy got wrong too.
  for (const query of ["select(Student, AND(GT(year, 1), NOT(EQ(name, 'Alan Turing'))))",
                       'project(rename(Student, a.b-c(x$y, n_2, y)), x$y, n_2)']) {
    await t.runLine(page, query);
    await page.click('#copy-latex');
    await t.sleep(200);
    const latex = await page.evaluate(() => navigator.clipboard.readText());
    const folder = mkdtempSync(path.join(tmpdir(), 'qorvantel-latex-'));
    writeFileSync(path.join(folder, 'q.txt'), query + '\n');
    const converted = t.nativeConvert(['to-latex', path.join(folder, 'q.txt')]);
    rmSync(folder, { recursive: true, force: true });
    check(`"Copy as LaTeX" copies what qorvantel-convert to-latex writes: ${query}`, '$' + latex + '$\n' === converted,
          latex + ' vs ' + converted);
  }
  await t.runLine(page, "select(Student, AND(GT(year, 1), NOT(EQ(name, 'Alan Turing'))))");
  await page.click('#symbols');
  const labels = await page.$$eval('.node .label', (ls) => ls.map((l) => l.textContent));
  check('the tree can show the same symbols', labels[0].startsWith('σ '), JSON.stringify(labels));
  await page.browserContext().close();
}
