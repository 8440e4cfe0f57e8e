// The page on phones 360 and 390 pixels wide: nothing overflows (the tree,
// the exercise's verdict, the schemas), the tree keeps a readable text size
// and scrolls instead of shrinking, "+" zooms about the centre and grows
// the box, and the hint speaks of touch.
import path from 'node:path';

const WIDE = 'project(select(product(Student, rename(Enrolment, E(sid, course, grade))), AND(EQ(id, sid), GTE(grade, 4))), name, course)';

async function overflow(page) {
  return page.evaluate(() => {
    const width = document.documentElement.clientWidth;
    const over = [...document.querySelectorAll('body *')].filter((e) => {
      if (e.closest('.tree svg, .table-box, .cm-editor, .check-part, dialog, [hidden]')) return false;
      const r = e.getBoundingClientRect();
      return r.width > 0 && r.right > width + 1;
    }).map((e) => e.id || e.className || e.tagName);
    return { page: document.documentElement.scrollWidth - window.innerWidth, elements: over.slice(0, 5) };
  });
}

export default async function phone(t) {
  const { check, text } = t;
  for (const width of [360, 390]) {
    const page = await t.openPage();
    await page.setViewport({ width, height: 780, isMobile: true, hasTouch: true });
    await t.chooseExample(page, 'university');
    await t.runLine(page, WIDE);
    const tree = await page.evaluate(() => {
      const box = document.getElementById('tree');
      const label = box.querySelector('.node .label');
      const scale = Number(/scale\(([\d.]+)\)/.exec(box.querySelector('svg > g').getAttribute('transform'))[1]);
      return { scale, text: parseFloat(getComputedStyle(label).fontSize) * scale, scrolls: box.scrollWidth > box.clientWidth,
               height: box.querySelector('svg').getBoundingClientRect().height, left: box.scrollLeft, boxWidth: box.clientWidth };
    });
    check(`${width} px: the tree's text stays readable (11 px or more)`, tree.text >= 11, JSON.stringify(tree));
    check(`${width} px: a wide tree scrolls instead of shrinking`, tree.scrolls, JSON.stringify(tree));
    check(`${width} px: the hint speaks of touch`, /Tap/.test(await text(page, '#tree-hint')));
    // "+" zooms about the centre of what is shown, and the box grows.
    await page.$eval('#tree', (box) => { box.scrollLeft = 100; });
    const centre = await page.$eval('#tree', (box) => {
      const scale = Number(/scale\(([\d.]+)\)/.exec(box.querySelector('svg > g').getAttribute('transform'))[1]);
      return (box.scrollLeft + box.clientWidth / 2) / scale;
    });
    await page.click('#zoom-in');
    const zoomed = await page.$eval('#tree', (box) => {
      const scale = Number(/scale\(([\d.]+)\)/.exec(box.querySelector('svg > g').getAttribute('transform'))[1]);
      return { centre: (box.scrollLeft + box.clientWidth / 2) / scale, height: box.querySelector('svg').getBoundingClientRect().height };
    });
    check(`${width} px: "+" zooms about the centre`, Math.abs(zoomed.centre - centre) < 2, `${centre} → ${zoomed.centre}`);
    check(`${width} px: "+" grows the tree`, zoomed.height > tree.height, `${tree.height} → ${zoomed.height}`);
    // A node tapped: its rows, named in a heading in view.
    await page.tap('.node:nth-of-type(3)');
    await t.sleep(50);
    await t.waitIdle(page);
    const heading = await page.$eval('#result-heading', (e) => { const r = e.getBoundingClientRect(); return { top: r.top, bottom: r.bottom, text: e.textContent }; });
    check(`${width} px: a tapped node's rows are named in a heading in view`, heading.top >= 0 && heading.bottom <= 780 &&
          /^Rows of /.test(heading.text.trim()), JSON.stringify(heading));
    let over = await overflow(page);
    check(`${width} px: the answer and tree overflow nothing`, over.page <= 0 && over.elements.length === 0, JSON.stringify(over));

    // An exercise's verdict, stacked.
    const index = await page.$$eval('#exercise-file option', (os) => os.find((o) => o.textContent === 'sailors.exercises')?.value);
    await page.select('#exercise-file', index);
    await page.waitForFunction(() => !document.getElementById('exercise-panel').hidden, { timeout: 10000 });
    await t.setEditor(page, 'exercise-answer', 'project(select(Sailor, GT(rating, 8)), sname, age)');
    await page.click('#check');
    await t.sleep(50);
    await t.waitIdle(page);
    const parts = await page.$$eval('.side-by-side .check-part', (ps) => ps.map((p) => { const r = p.getBoundingClientRect(); return [r.left, r.right, r.top]; }));
    check(`${width} px: the two results are stacked`, parts.length === 2 && parts[1][2] > parts[0][2] &&
          parts.every(([l, r]) => l >= 0 && r <= width), JSON.stringify(parts));
    check(`${width} px: "Your answer gives" is not cut off`, /Your answer gives/.test(await text(page, '.side-by-side')));
    over = await overflow(page);
    check(`${width} px: the verdict overflows nothing`, over.page <= 0 && over.elements.length === 0, JSON.stringify(over));
    await page.screenshot({ path: path.join(t.artifacts, `phone-${width}.png`), fullPage: true });
    await page.browserContext().close();
  }
}
