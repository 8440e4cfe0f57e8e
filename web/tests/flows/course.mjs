// A course folder on a static host: the page copied as qorvantel/ with
// course/ beside it, served over HTTP, lists the course's databases and
// exercise sets first, loads them from its own origin and nothing else,
// and checks answers against the course's database. A broken index and a
// missing file each get a clear message. Also: no spoilers on the first
// view or in Help.
import { spawn } from 'node:child_process';
import { cpSync, mkdirSync, mkdtempSync, readFileSync, readdirSync, rmSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import path from 'node:path';

const EXERCISES = `database: shop.env

== 1 [1 point]
The names of the items that cost more than 10.
--- answer
project(select(Item, GT(price, 10)), name)
`;
const SHOP = "Item(id int, name char(12), price int)\n1, 'pen', 2\n2, 'lamp', 25\n3, 'chair', 40\n";

export default async function course(t) {
  const { check, text } = t;
  const root = mkdtempSync(path.join(tmpdir(), 'qorvantel-course-'));
  const dist = path.join(t.root, 'web/dist');
  // good: qorvantel/ and course/ side by side. broken: course/ inside the
  // page's folder, with an index that is not JSON. missing: an index that
  // lists a file the site lacks.
  const site = (name, inside) => {
    const page = path.join(root, name, 'qorvantel');
    cpSync(dist, page, { recursive: true });
    const folder = inside ? path.join(page, 'course') : path.join(root, name, 'course');
    mkdirSync(folder, { recursive: true });
    return folder;
  };
  const good = site('good', false);
  writeFileSync(path.join(good, 'index.json'), JSON.stringify({
    title: 'Databases 101',
    databases: [{ file: 'shop.env', queries: ['select(Item, LT(price, 30))'] }, 'data/company.env'],
    exercises: ['week1.exercises'],
  }));
  writeFileSync(path.join(good, 'shop.env'), SHOP);
  mkdirSync(path.join(good, 'data'));
  cpSync(path.join(t.root, 'examples/company.env'), path.join(good, 'data/company.env'));
  writeFileSync(path.join(good, 'week1.exercises'), EXERCISES);
  writeFileSync(path.join(site('broken', true), 'index.json'), '{ "databases": ["shop.env", }');
  const missing = site('missing', true);
  writeFileSync(path.join(missing, 'index.json'), JSON.stringify({ databases: ['gone.env', 'shop.env'], exercises: ['gone.exercises'] }));
  writeFileSync(path.join(missing, 'shop.env'), SHOP);

  const port = await t.freePort();
  const server = spawn('python3', ['-m', 'http.server', String(port), '--bind', '127.0.0.1', '--directory', root], { stdio: 'ignore' });
  const base = `http://127.0.0.1:${port}/`;
  try {
    const page = await t.openPage(base + 'good/qorvantel/');
    const asked = [];
    page.on('request', (request) => asked.push(request.url()));
    const groups = await page.$$eval('#example optgroup', (gs) => gs.map((g) => [g.label, [...g.children].map((o) => o.textContent)]));
    check('the course\'s databases are listed first', JSON.stringify(groups[0]) === JSON.stringify(['Course: Databases 101', ['shop', 'company']]),
          JSON.stringify(groups));
    check('the first view is the course\'s first database with its sample run',
          (await text(page, '#count')).startsWith('2 rows') && (await page.$$('.node')).length === 2, await text(page, '#count'));
    const sets = await page.$$eval('#exercise-file optgroup', (gs) => gs.map((g) => g.label + ': ' + [...g.children].map((o) => o.textContent)));
    check('the course\'s exercise sets are listed first', sets[0] === 'Course: Databases 101: week1', JSON.stringify(sets));
    const value = await page.$$eval('#example option', (os) => os.find((o) => o.textContent === 'company').value);
    await page.select('#example', value);
    await t.sleep(100);
    await t.waitIdle(page);
    check('a course database in a subfolder loads', (await t.editorText(page, 'environment-editor')).startsWith('Employee('));
    const set = await page.$$eval('#exercise-file option', (os) => os.find((o) => o.textContent === 'week1').value);
    await page.select('#exercise-file', set);
    await page.waitForFunction(() => !document.getElementById('exercise-panel').hidden, { timeout: 10000 });
    for (const [answer, said] of [['project(select(Item, GTE(price, 11)), name)', /^(Right|No difference found)/],
                                  ['project(select(Item, GT(price, 30)), name)', /^Your answer gives other rows/]]) {
      await t.setEditor(page, 'exercise-answer', answer);
      await page.click('#check');
      await t.sleep(50);
      await t.waitIdle(page);
      check(`a course exercise is checked on the course's database: ${answer}`, said.test(await text(page, '#check-status')),
            await text(page, '#check-status'));
    }
    const elsewhere = asked.filter((url) => !url.startsWith(base) && !url.startsWith('blob:') && !url.startsWith('data:'));
    check('nothing is fetched from anywhere but the site', elsewhere.length === 0, elsewhere.join(' '));
    check('the course files come from the course folder', asked.some((url) => url === base + 'good/course/week1.exercises'),
          asked.join(' '));
    await page.browserContext().close();

    const broken = await t.openPage(base + 'broken/qorvantel/');
    await broken.waitForFunction(() => !document.getElementById('course-status').hidden, { timeout: 5000 }).catch(() => {});
    check('a broken index says so clearly', /course index course\/index\.json cannot be read: it is not valid JSON/
      .test(await text(broken, '#course-status')), await text(broken, '#course-status'));
    check('with a broken index the examples still work', (await broken.$$('#example optgroup')).length === 1 &&
          (await text(broken, '#count')) !== '', await text(broken, '#count'));
    await broken.browserContext().close();

    const lacking = await t.openPage(base + 'missing/qorvantel/');
    check('a missing first database says which file is missing',
          /The course lists gone\.env, but the site has no file course\/gone\.env/.test(await text(lacking, '#environment-status')),
          await text(lacking, '#environment-status'));
    const shop = await lacking.$$eval('#example option', (os) => os.find((o) => o.textContent === 'shop').value);
    await lacking.select('#example', shop);
    await t.sleep(100);
    await t.waitIdle(lacking);
    check('the other course files still open', (await text(lacking, '#environment-status')) === '1 relation loaded.',
          await text(lacking, '#environment-status'));
    const gone = await lacking.$$eval('#exercise-file option', (os) => os.find((o) => o.textContent === 'gone').value);
    await lacking.select('#exercise-file', gone);
    await t.sleep(300);
    check('a missing exercise set says which file is missing', /has no file course\/gone\.exercises/.test(await text(lacking, '#check-status')),
          await text(lacking, '#check-status'));
    await lacking.browserContext().close();
  } finally {
    server.kill();
    rmSync(root, { recursive: true, force: true });
  }

  // No spoilers: no sample in Help and nothing on the first view is an
  // exercise's accepted answer.
  const answers = new Set();
  for (const name of readdirSync(path.join(t.root, 'examples')).filter((n) => n.endsWith('.exercises'))) {
    let inside = false;
    for (const line of readFileSync(path.join(t.root, 'examples', name), 'utf8').split('\n')) {
      if (line.startsWith('--- answer')) inside = true;
      else if (line.startsWith('== ') || line.startsWith('---')) inside = false;
      else if (inside && line.trim()) answers.add(line.replace(/\s+/g, ''));
    }
  }
  const fresh = await t.openPage();
  const first = await t.editorText(fresh, 'expression-editor');
  check('the first view runs a query and shows its tree', first !== '' && (await fresh.$$('.node')).length > 1 &&
        (await text(fresh, '#count')) !== '', first);
  check('the first view is not an exercise\'s answer', !answers.has(first.replace(/\s+/g, '')), first);
  const spoilers = [];
  for (const name of await fresh.$$eval('#example optgroup[label="Examples"] option', (os) => os.map((o) => o.textContent))) {
    await t.chooseExample(fresh, name);
    const samples = await fresh.$$eval('#samples code', (cs) => cs.map((c) => c.textContent));
    const placeholder = await text(fresh, '#expression-editor .cm-placeholder').catch(() => '');
    for (const query of [...samples, placeholder]) if (answers.has(query.replace(/\s+/g, ''))) spoilers.push(`${name}: ${query}`);
    for (const query of samples) {
      const output = t.nativeOutput(query, path.join(t.root, `examples/${name}.${name === 'university' ? 'env' : 'env'}`));
      if (!/^\$\S*\(/.test(output)) spoilers.push(`${name}: ${query} does not run: ${output.slice(0, 80)}`);
    }
  }
  check('no sample query is an exercise\'s answer, and every one runs', spoilers.length === 0, spoilers.join('; '));
  await fresh.browserContext().close();
}
