// Share links: a round trip, a session too large for a link, and hostile
// links (markup and script in the data, a truncated fragment, random bytes,
// a forged session, a compression bomb, a fragment of 10 MB) that must
// inject nothing and leave an empty, working page.
import { deflateRawSync } from 'node:zlib';

const base64url = (bytes) => Buffer.from(bytes).toString('base64url');
const fragmentOf = (object) => '#session=' + base64url(deflateRawSync(Buffer.from(JSON.stringify(object))));

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
  check('Share makes a link with the session in its fragment', link.startsWith(t.origin + '#session='), link.slice(0, 80));
  const environment = await editorText(page, 'environment-editor');
  await page.browserContext().close();

  const opened = await t.openPage(link);
  await t.waitIdle(opened);
  check('a shared link restores the environment', (await editorText(opened, 'environment-editor')) === environment);
  check('a shared link restores the expression and runs it', (await editorText(opened, 'expression-editor')) === query &&
        (await text(opened, '#count')).startsWith(`${t.nativeRows(query, t.root + '/examples/sailors.env')} row`),
        await text(opened, '#count'));
  check('the page forgets the fragment once read', (await opened.evaluate(() => location.hash)) === '');
  await opened.browserContext().close();

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
      check(`${name}: a clear message and an empty page`, /does not hold a session/.test(state.banner) &&
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
