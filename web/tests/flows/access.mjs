// Keyboard-only use (every control reached by Tab with a visible focus
// ring, the tree walked with the arrow keys from its root) and an audit
// by axe-core with no serious or critical violation, in the light and the
// dark theme.
import path from 'node:path';

async function focused(page) {
  // The editors show their focus once they have seen it, a frame later.
  await page.evaluate(() => new Promise((resolve) => requestAnimationFrame(() => setTimeout(resolve, 20))));
  return page.evaluate(() => {
    const e = document.activeElement;
    const style = getComputedStyle(e);
    const editor = e.closest('.cm-editor');
    const ring = editor ? getComputedStyle(editor).outlineStyle !== 'none'
      : e.classList.contains('node') ? getComputedStyle(e.querySelector('rect')).strokeWidth === '4px'
        : style.outlineStyle !== 'none' && style.outlineWidth !== '0px';
    return { id: (e.id || (editor && editor.parentElement.id) || e.getAttribute('class') || e.tagName) + (ring ? '' : ` (${e.className})`), ring,
             level: e.getAttribute('aria-level') };
  });
}

export default async function access(t) {
  const { check, text } = t;
  const page = await t.openPage();
  await t.chooseExample(page, 'university');
  await page.evaluate(() => document.activeElement.blur());
  const reached = [];
  let ringless = [];
  for (let i = 0; i < 40; ++i) {
    await page.keyboard.press('Tab');
    const where = await focused(page);
    reached.push(where.id);
    if (!where.ring) ringless.push(where.id);
    if (where.id === 'expression-editor') break;
  }
  check('Tab reaches the example, Open file, Load and both editors',
        ['example', 'open-file', 'load', 'environment-editor', 'expression-editor'].every((id) => reached.includes(id)),
        reached.join(' '));
  check('every control shows where the focus is', ringless.length === 0, ringless.join(' '));

  await page.keyboard.down('Control');
  await page.keyboard.press('a');
  await page.keyboard.up('Control');
  await page.keyboard.press('Backspace');
  await page.keyboard.type('project(select(Student, GT(year, 1)), name)');
  await page.keyboard.press('Escape');
  await page.keyboard.press('Enter');
  await t.sleep(50);
  await t.waitIdle(page);
  check('Enter from the keyboard runs the expression',
        (await text(page, '#count')).startsWith(`${t.nativeRows('project(select(Student, GT(year, 1)), name)')} row`), await text(page, '#count'));
  const path_ = [];
  ringless = [];
  for (let i = 0; i < 30; ++i) {
    await page.keyboard.press('Tab');
    const where = await focused(page);
    path_.push(where.id);
    if (!where.ring) ringless.push(where.id);
    if (where.level) break;
  }
  const root = await focused(page);
  check('Tab reaches the tree at its root', root.level === '1', path_.join(' '));
  check('the controls on the way show the focus', ringless.length === 0, ringless.join(' '));
  await page.keyboard.press('ArrowDown');
  const child = await focused(page);
  check('Down goes to the operand', child.level === '2' && child.ring, JSON.stringify(child));
  await page.keyboard.press('Enter');
  await t.sleep(50);
  await t.waitIdle(page);
  check('Enter on a node shows its result', (await text(page, '#count')).startsWith(`${t.nativeRows('select(Student, GT(year, 1))')} row`),
        await text(page, '#count'));
  await page.keyboard.press('ArrowUp');
  check('Up goes back to the root', (await focused(page)).level === '1');

  await page.click('#help-open');
  await t.sleep(100);
  check('Help opens with the manual and sample queries', (await page.$$('#manual h3, #manual h4')).length > 5 &&
        (await page.$$('#samples button')).length > 0);
  await page.addScriptTag({ path: path.join(t.root, 'web/node_modules/axe-core/axe.min.js') });
  const inHelp = await page.evaluate(() => axe.run(document.getElementById('help'), { resultTypes: ['violations'] }));
  const badInHelp = inHelp.violations.filter((v) => v.impact === 'serious' || v.impact === 'critical');
  check('axe finds no serious or critical violation in Help', badInHelp.length === 0,
        badInHelp.map((v) => `${v.id}: ${v.nodes.slice(0, 3).map((n) => n.target.join(' ')).join(', ')}`).join('; '));
  await page.keyboard.press('Escape');
  await t.sleep(100);
  check('Escape closes Help and gives the focus back', (await focused(page)).id === 'help-open');

  for (const scheme of ['light', 'dark']) {
    await page.emulateMediaFeatures([{ name: 'prefers-color-scheme', value: scheme }]);
    await t.runLine(page, 'union(Student, Nobody)');
    const results = await page.evaluate(() => axe.run(document, { resultTypes: ['violations'] }));
    const bad = results.violations.filter((v) => v.impact === 'serious' || v.impact === 'critical');
    check(`axe finds no serious or critical violation (${scheme})`, bad.length === 0,
          bad.map((v) => `${v.id}: ${v.nodes.slice(0, 3).map((n) => n.target.join(' ')).join(', ')}`).join('; '));
    await page.screenshot({ path: path.join(t.artifacts, `${scheme}.png`), fullPage: true });
  }
  await page.browserContext().close();
}
