// Drives the built page (web/dist) in headless Chromium: choose an example,
// run expressions, read the table, the error mark and the operator tree,
// and compare the counts with the native console's output.
// usage: node browser.mjs NATIVE_BINARY ARTIFACT_DIR
import { spawn, execFileSync } from 'node:child_process';
import { createServer } from 'node:net';
import { mkdirSync, readFileSync } from 'node:fs';
import path from 'node:path';
import { fileURLToPath } from 'node:url';
import puppeteer from 'puppeteer-core';

const here = path.dirname(fileURLToPath(import.meta.url));
const root = path.resolve(here, '../..');
const [native, artifacts] = process.argv.slice(2);
mkdirSync(artifacts, { recursive: true });

let passed = 0, failed = 0;
function check(name, ok, detail) {
  if (ok) { passed++; console.log('ok    ' + name); }
  else { failed++; console.log('FAIL  ' + name + (detail ? ': ' + detail : '')); }
}

// Row counts the console reports for each line, read from its transcript.
const environmentFile = path.join(root, 'examples/university.env');
function nativeRows(line) {
  const out = execFileSync(native, [environmentFile], { input: line + '\n' }).toString('latin1');
  const lines = out.slice(1).split('\n');  // after the prompt: schema, rows, empty line
  return lines.indexOf('') - 1;
}

function nativeMessage(line) {
  return execFileSync(native, [environmentFile], { input: line + '\n' }).toString('utf8').slice(1, -3);
}

function freePort() {
  return new Promise((resolve) => {
    const probe = createServer();
    probe.listen(0, '127.0.0.1', () => { const { port } = probe.address(); probe.close(() => resolve(port)); });
  });
}

const port = await freePort();
const server = spawn('python3', ['-m', 'http.server', String(port), '--bind', '127.0.0.1',
                                 '--directory', path.join(root, 'web/dist')], { stdio: 'ignore' });
const browser = await puppeteer.launch({
  executablePath: process.env.CHROMIUM || '/usr/bin/chromium',
  args: ['--no-sandbox', '--headless=new', '--disable-gpu', '--no-first-run'],
});
try {
  const page = await browser.newPage();
  page.on('pageerror', (error) => check('no page error', false, error.message));
  await page.setViewport({ width: 1280, height: 900 });
  for (let attempt = 0; ; ++attempt) {
    try { await page.goto(`http://127.0.0.1:${port}/`, { waitUntil: 'load' }); break; }
    catch (error) { if (attempt > 40) throw error; await new Promise((r) => setTimeout(r, 250)); }
  }
  const text = (selector) => page.$eval(selector, (e) => e.textContent);
  const waitIdle = () => page.waitForFunction(() => document.getElementById('stop').hidden &&
                                              !document.querySelector('.status.working'), { timeout: 20000 });

  await page.waitForFunction(() => /qorvantel \S+ \(WebAssembly\)/.test(document.getElementById('version').textContent));
  check('the page names its version', true);

  const university = await page.$$eval('#example option', (os) => os.findIndex((o) => o.textContent === 'university'));
  check('the university example is offered', university >= 0);
  await page.select('#example', String(university));
  await waitIdle();
  const schemas = await page.$$eval('.schema', (items) => items.map((i) => i.textContent));
  check('the loaded relations are listed with their rows', schemas.some((s) => s.startsWith(`${nativeRows('Student')} rows`)),
        JSON.stringify(schemas));

  async function runLine(line) {
    await page.click('#expression', { clickCount: 3 });
    await page.keyboard.press('Backspace');
    await page.type('#expression', line);
    await page.keyboard.press('Enter');
    await new Promise((r) => setTimeout(r, 50));
    await waitIdle();
  }

  const query = 'select(Student, GT(year, 1))';
  await runLine(query);
  const expected = nativeRows(query);
  check('Enter shows the row count', (await text('#count')).startsWith(`${expected} row`), await text('#count'));
  const table = await page.$$eval('#table-box table', (ts) => ts.map((t) => ({
    heads: [...t.querySelectorAll('th')].map((th) => th.textContent),
    rows: t.tBodies[0].rows.length })));
  check('the table has typed columns and every row',
        table.length === 1 && table[0].rows === expected && table[0].heads.join('|') === 'idint|namechar(24)|yearint',
        JSON.stringify(table));
  await page.click('#show-text');
  const consoleText = await text('#text');
  const nativeText = execFileSync(native, [environmentFile], { input: query + '\n' }).toString('utf8');
  check('the console text is the console\'s own', '$' + consoleText + '$\n' === nativeText);
  await page.click('#show-text');

  await runLine('Student x');
  const mark = await page.$eval('#expression-mark', (e) => e.innerHTML);
  const error = await text('#error');
  check('an error is shown', error === nativeMessage('Student x'), error);
  check('an error marks its place', mark === 'Student <mark>x</mark>', mark);

  await page.keyboard.press('ArrowUp');
  await page.keyboard.press('ArrowUp');
  check('Up walks the history', (await page.$eval('#expression', (e) => e.value)) === query);

  const tree = 'project(select(product(Student, rename(Enrolment, E(sid, course, grade))), EQ(id, sid)), name)';
  await runLine(tree);
  const nodes = await page.$$eval('.node', (gs) => gs.map((g) => [g.dataset.expression, g.dataset.rows]));
  const wanted = ['Student', 'Enrolment', 'rename(Enrolment, E(sid, course, grade))',
                  'product(Student, rename(Enrolment, E(sid, course, grade)))',
                  'select(product(Student, rename(Enrolment, E(sid, course, grade))), EQ(id, sid))', tree];
  const found = new Map(nodes);
  check('the tree has one node per operator and relation', nodes.length === wanted.length && wanted.every((w) => found.has(w)),
        JSON.stringify(nodes));
  check('each node counts its rows', wanted.every((w) => Number(found.get(w)) === nativeRows(w)), JSON.stringify(nodes));
  await page.screenshot({ path: path.join(artifacts, 'laptop.png'), fullPage: true });

  const product = await page.$$('.node');
  const productIndex = nodes.findIndex(([e]) => e.startsWith('product('));
  await product[productIndex].click();
  await new Promise((r) => setTimeout(r, 50));
  await waitIdle();
  check('clicking a node shows its result', (await text('#count')).startsWith(`${nativeRows(wanted[3])} row`),
        await text('#count'));

  // A long evaluation shows that it is working, and Stop brings back a
  // fresh interpreter with the same environment.
  await page.click('#expression', { clickCount: 3 });
  await page.keyboard.press('Backspace');
  await page.type('#expression', 'product(Enrolment, ' + ['A', 'B', 'C', 'D', 'F', 'G', 'H'].map((n) =>
      `rename(Enrolment, ${n}(${n}1, ${n}2, ${n}3))`).join(', ') + ')');
  await page.keyboard.press('Enter');
  await page.waitForFunction(() => !document.getElementById('stop').hidden, { timeout: 5000 });
  check('a long evaluation says it is working', /Working/.test(await text('#query-status')), await text('#query-status'));
  await page.click('#stop');
  await waitIdle();
  await runLine(query);
  check('after Stop the environment is back', (await text('#count')).startsWith(`${expected} row`), await text('#count'));

  await page.setViewport({ width: 390, height: 844, isMobile: true });
  await page.screenshot({ path: path.join(artifacts, 'phone.png'), fullPage: true });
  const overflow = await page.evaluate(() => document.documentElement.scrollWidth - window.innerWidth);
  check('the phone width needs no sideways scrolling', overflow <= 0, `${overflow}px too wide`);
} catch (error) {
  check('browser session', false, error.stack);
} finally {
  await browser.close();
  server.kill();
}
console.log(`${passed} passed, ${failed} failed`);
process.exit(failed ? 1 : 0);
