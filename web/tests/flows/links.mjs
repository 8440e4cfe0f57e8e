// Share links: a round trip, a session too large for a link, and hostile
// links (markup and script in the data, a truncated fragment, random bytes,
// a forged session, a compression bomb, a fragment of 10 MB) that must
// inject nothing and leave an empty, working page.
import { deflateRawSync } from 'node:zlib';

const base64url = (bytes) => Buffer.from(bytes).toString('base64url');
const fragmentOf = (object) => '#session=' + base64url(deflateRawSync(Buffer.from(JSON.stringify(object))));

// A link of this edition: the data's length and CRC-32 before it.
const CRC = Array.from({ length: 256 }, (_, n) => { let c = n; for (let k = 0; k < 8; ++k) c = c & 1 ? 0xedb88320 ^ (c >>> 1) : c >>> 1; return c >>> 0; });
function crc32(text) {
  let crc = 0xffffffff;
  for (const ch of text) crc = CRC[(crc ^ ch.charCodeAt(0)) & 0xff] ^ (crc >>> 8);
  return ((crc ^ 0xffffffff) >>> 0).toString(16).padStart(8, '0');
}
const fragmentOf2 = (object) => {
  const data = base64url(deflateRawSync(Buffer.from(JSON.stringify(object))));
  return `#session=2.${data.length}.${crc32(data)}.${data}`;
};

export default async function links(t) {
  const { check, text, editorText } = t;

  // Round trip: what Share makes, a new page opens.
  const page = await t.openPage();
  await t.chooseExample(page, 'sailors');
  const query = 'project(select(Sailor, GT(rating, 7)), sname)';
  await t.typeExpression(page, query);
  await page.click('#share');
  await page.waitForFunction(() => document.getElementById('share-link').value !== '', { timeout: 5000 });
  const link = await page.$eval('#share-link', (e) => e.value);
  check('Share makes a link with its length and checksum before the session', /#session=2\.\d+\.[0-9a-f]{8}\./.test(link) &&
        link.startsWith(t.origin + '#session='), link.slice(0, 80));
  const environment = await editorText(page, 'environment-editor');
  await page.browserContext().close();

  const opened = await t.openPage(link);
  await t.waitIdle(opened);
  check('a shared link restores the environment', (await editorText(opened, 'environment-editor')) === environment);
  check('a shared link restores the expression and runs it', (await editorText(opened, 'expression-editor')) === query &&
        (await text(opened, '#count')).startsWith(`${t.nativeRows(query, t.root + '/examples/sailors.env')} row`),
        await text(opened, '#count'));
  // A reload of an opened link keeps what was typed since.
  await t.typeExpression(opened, 'Boat');
  await opened.waitForFunction(() => (localStorage.getItem('qorvantel.page') || '').includes('"expression":"Boat"'), { timeout: 5000 })
    .catch(() => {});
  await opened.reload({ waitUntil: 'load' });
  await t.waitIdle(opened);
  check('a reload after a link keeps the edits since', (await editorText(opened, 'expression-editor')) === 'Boat',
        await editorText(opened, 'expression-editor'));

  // A link pasted into the open tab, and back and forward between links.
  const second = fragmentOf2({ v: 1, environment: 'R(a int)\n1\n2\n', expression: 'R' });
  await opened.evaluate((f) => { location.hash = f; }, second);
  await opened.waitForFunction(() => /^2 rows/.test(document.getElementById('count').textContent), { timeout: 10000 }).catch(() => {});
  await t.waitIdle(opened);
  check('a link pasted into the open tab opens', (await text(opened, '#count')).startsWith('2 rows') &&
        (await editorText(opened, 'environment-editor')) === 'R(a int)\n1\n2\n', await text(opened, '#count'));
  await opened.goBack();
  await opened.waitForFunction((q) => document.querySelector('#expression-editor .cm-content').textContent === q, { timeout: 10000 }, query)
    .catch(() => {});
  await t.waitIdle(opened);
  check('Back opens the link before', (await editorText(opened, 'expression-editor')) === query, await editorText(opened, 'expression-editor'));
  await opened.goForward();
  await opened.waitForFunction(() => document.querySelector('#expression-editor .cm-content').textContent === 'R', { timeout: 10000 })
    .catch(() => {});
  await t.waitIdle(opened);
  check('Forward opens the pasted link again', (await editorText(opened, 'expression-editor')) === 'R');
  await opened.browserContext().close();

  // Any one character changed, and a link cut anywhere, is refused; an
  // old link without a checksum still opens.
  const good = fragmentOf2({ v: 1, environment: "Emp(name char(8), n int)\n'Zqxw', 4\n'Jones', 5\n", expression: 'Emp' });
  const data = good.slice('#session='.length);
  const damagedLinks = [];
  for (const at of [0, 2, 4, 9, 12, 15, Math.floor(data.length / 2), data.length - 1]) {
    const c = data[at];
    const flipped = c === 'A' ? 'B' : c === '.' ? '_' : /\d/.test(c) ? String((Number(c) + 1) % 10) : 'A';
    damagedLinks.push(['a changed character at ' + at, '#session=' + data.slice(0, at) + flipped + data.slice(at + 1), /damaged or incomplete/]);
  }
  for (const cut of [3, 14, Math.floor(data.length / 2), data.length - 1])
    damagedLinks.push(['a link cut after ' + cut + ' characters', '#session=' + data.slice(0, cut), /damaged or incomplete.*cut short/]);
  const many = await t.openPage();
  const before = await editorText(many, 'environment-editor');
  for (const [name, fragment, said] of damagedLinks) {
    await many.evaluate((f) => { location.hash = f; }, fragment);
    await many.waitForFunction(() => !document.getElementById('link-status').hidden, { timeout: 5000 }).catch(() => {});
    await t.waitIdle(many);
    const banner = await many.$eval('#link-status', (e) => (e.hidden ? '' : e.textContent));
    const rows = await many.$$eval('#table-box td', (tds) => tds.map((td) => td.textContent));
    check(`${name}: refused as damaged, the work in the tab kept`, said.test(banner) && !rows.some((r) => /Zqxw|qxw/.test(r)) &&
          (await editorText(many, 'environment-editor')) === before, banner + ' ' + JSON.stringify(rows));
    await many.evaluate(() => { document.getElementById('link-status').hidden = true; location.hash = ''; });
  }
  await many.browserContext().close();
  const old = await t.openPage(t.origin + fragmentOf({ v: 1, environment: 'R(a int)\n7\n', expression: 'R' }));
  check('an old link without a checksum still opens', (await text(old, '#count')).startsWith('1 row') &&
        (await old.$eval('#link-status', (e) => e.hidden)), await text(old, '#count'));
  await old.browserContext().close();

  // A session too large for a link is offered as a file.
  const big = await t.openPage(t.origin + fragmentOf({ v: 1, environment: 'R(a int)\n', expression: '' }));
  const rows = Array.from({ length: 30000 }, (_, i) => `${i * 7919 % 1000003}, '${(i * 31337).toString(36)}'`).join('\n');
  await big.click('#environment-editor .cm-content');
  await big.$eval('#environment-editor .cm-content', (e, value) => {
    const data = new DataTransfer();
    data.setData('text/plain', value);
    e.dispatchEvent(new ClipboardEvent('paste', { clipboardData: data, bubbles: true, cancelable: true }));
  }, 'S(a int, b char(12))\n' + rows + '\n');
  await big.click('#share');
  await big.waitForFunction(() => document.getElementById('share-status').textContent !== '', { timeout: 10000 });
  check('a session too large for a link says so and offers a file',
        /too large/.test(await text(big, '#share-status')) && !(await big.$eval('#share-file', (e) => e.hidden)),
        await text(big, '#share-status'));
  await big.browserContext().close();

  // Hostile links.
  const markup = '<img src=x onerror="window.injected=1"><script>window.injected=2</script>';
  const hostile = {
    'markup and script in the data': fragmentOf({ v: 1, environment: `Evil(a char(90))\n'${markup}'\n`,
      expression: `select(Evil, NEQ(a, '<b onmouseover="window.injected=3">x</b>'))` }),
    'markup in a broken environment': fragmentOf({ v: 1, environment: `Evil(a char(3))\n'${markup}'\n`, expression: 'Evil' }),
    'a truncated fragment': fragmentOf({ v: 1, environment: 'R(a int)\n1\n', expression: 'R' }).slice(0, 30),
    'random bytes': '#session=' + base64url(Array.from({ length: 600 }, (_, i) => (i * 73 + 19) % 256)),
    'characters a link never has': '#session=%3Cscript%3Ewindow.injected=4%3C/script%3E',
    'a forged session': fragmentOf({ v: 1, environment: { toString: 1 }, expression: ['<b>'] }),
    'a compression bomb': '#session=' + base64url(deflateRawSync(Buffer.alloc(200 << 20, 32))),
    'a fragment of 1.9 MB': '#session=' + 'A'.repeat(1900 << 10),
  };
  // Chromium refuses a URL over 2 MB before any page sees it; past that
  // the page is never asked.
  const huge = await (await t.browser.createIncognitoBrowserContext()).newPage();
  const refused = await huge.goto(t.origin + '#session=' + 'A'.repeat(10 << 20)).then(() => false, () => true);
  check('a fragment of 10 MB never reaches the page', refused || (await huge.evaluate(() => window.injected)) === undefined);
  await huge.browserContext().close();
  for (const [name, fragment] of Object.entries(hostile)) {
    let hostilePage;
    try {
      hostilePage = await t.openPage(t.origin + fragment);
    } catch (error) {
      check(`${name}: the page opens`, false, error.message);
      continue;
    }
    await t.waitIdle(hostilePage);
    const state = await hostilePage.evaluate(() => ({
      injected: window.injected,
      elements: document.querySelectorAll('main img, main script, main b, #link-status *, #error *').length,
      banner: document.getElementById('link-status').hidden ? '' : document.getElementById('link-status').textContent,
    }));
    check(`${name}: nothing is injected`, state.injected === undefined && state.elements === 0, JSON.stringify(state));
    if (name.startsWith('markup and')) {
      const cells = await hostilePage.$$eval('#table-box td', (tds) => tds.map((td) => td.textContent));
      check(`${name}: the data is shown as text`, cells.includes(`'${markup}'`), JSON.stringify(cells));
      await hostilePage.hover('#table-box td');
    } else if (!name.startsWith('markup in')) {
      check(`${name}: a clear message and an empty page`, /does not hold a session|damaged or incomplete/.test(state.banner) &&
            (await editorText(hostilePage, 'environment-editor')) === '' && (await editorText(hostilePage, 'expression-editor')) === '',
            state.banner);
    }
    await t.chooseExample(hostilePage, 'university');
    await t.runLine(hostilePage, 'Student');
    check(`${name}: the page still works`, (await text(hostilePage, '#count')).startsWith(`${t.nativeRows('Student')} row`),
          await text(hostilePage, '#count'));
    check(`${name}: nothing ran`, (await hostilePage.evaluate(() => window.injected)) === undefined);
    await hostilePage.browserContext().close();
  }
}
