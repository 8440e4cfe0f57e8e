// Drives the built page (web/dist) in headless Chromium through every flow
// in flows/: editing and running, errors and the tree, share links and
// hostile ones, downloads, a large environment, keyboard-only use and an
// accessibility audit. Counts come from the native console.
// usage: node browser.mjs NATIVE_BINARY ARTIFACT_DIR
import { spawn, execFileSync } from 'node:child_process';
import { createServer } from 'node:net';
import { mkdirSync } from 'node:fs';
import { loadavg, cpus } from 'node:os';
import path from 'node:path';
import { fileURLToPath } from 'node:url';
import puppeteer from 'puppeteer-core';
import basics from './flows/basics.mjs';
import answers from './flows/answers.mjs';
import links from './flows/links.mjs';
import files from './flows/files.mjs';
import access from './flows/access.mjs';
import exercises from './flows/exercises.mjs';
import join from './flows/join.mjs';
import course from './flows/course.mjs';
import slips from './flows/slips.mjs';
import phone from './flows/phone.mjs';

const here = path.dirname(fileURLToPath(import.meta.url));
const root = path.resolve(here, '../..');
const [native, artifacts] = process.argv.slice(2);
// The converter beside the console: the page's LaTeX and CSV are its own.
const converter = path.join(path.dirname(native), 'qorvantel-convert');
mkdirSync(artifacts, { recursive: true });

let passed = 0, failed = 0;
function check(name, ok, detail) {
  if (ok) { passed++; console.log('ok    ' + name); }
  else {
    failed++;
    const said = String(detail || '');
    console.log('FAIL  ' + name + (said ? ': ' + (said.length > 600 ? said.slice(0, 600) + '…' : said) : ''));
  }
}

const universityFile = path.join(root, 'examples/university.env');
// What the console writes for one line typed after loading an environment.
function nativeOutput(line, environmentFile = universityFile) {
  return execFileSync(native, [environmentFile], { input: line + '\n' }).toString('utf8');
}
// The row count the console shows for a line: schema, rows, empty line.
function nativeRows(line, environmentFile) {
  const lines = nativeOutput(line, environmentFile).slice(1).split('\n');
  return lines.indexOf('') - 1;
}
// The console's message for a line that fails.
function nativeMessage(line, environmentFile) { return nativeOutput(line, environmentFile).slice(1, -3); }

// What the converter writes for a command, or its message.
function nativeConvert(args) {
  try { return execFileSync(converter, args, { stdio: ['ignore', 'pipe', 'pipe'] }).toString('utf8'); }
  catch (error) { return 'failed: ' + String(error.stderr); }
}

function freePort() {
  return new Promise((resolve) => {
    const probe = createServer();
    probe.listen(0, '127.0.0.1', () => { const { port } = probe.address(); probe.close(() => resolve(port)); });
  });
}

const port = await freePort();
const origin = `http://127.0.0.1:${port}/`;
const server = spawn('python3', ['-m', 'http.server', String(port), '--bind', '127.0.0.1',
                                 '--directory', path.join(root, 'web/dist')], { stdio: 'ignore' });
const browser = await puppeteer.launch({
  executablePath: process.env.CHROMIUM || '/usr/bin/chromium',
  args: ['--no-sandbox', '--headless=new', '--disable-gpu', '--no-first-run'],
});

// A fresh page (its own storage) at a URL, ready once the interpreter has
// answered its first load.
async function openPage(url = origin, { keepStorage = false } = {}) {
  const context = keepStorage ? browser.defaultBrowserContext() : await browser.createIncognitoBrowserContext();
  const page = await context.newPage();
  page.on('pageerror', (error) => check('no page error', false, error.message));
  page.on('console', (message) => {
    if (message.type() === 'error' && !/Failed to load resource/.test(message.text())) check('no error in the console', false, message.text());
  });
  page.on('dialog', (dialog) => { check('no dialog opens', false, dialog.message()); dialog.dismiss(); });
  await page.evaluateOnNewDocument(() => {
    self.longTasks = [];
    new PerformanceObserver((list) => { for (const e of list.getEntries()) self.longTasks.push(Math.round(e.duration)); })
      .observe({ type: 'longtask', buffered: true });
  });
  await page.setViewport({ width: 1280, height: 900 });
  for (let attempt = 0; ; ++attempt) {
    try { await page.goto(url, { waitUntil: 'load' }); break; }
    catch (error) { if (attempt > 40) throw error; await new Promise((r) => setTimeout(r, 250)); }
  }
  await page.waitForFunction(() => document.body.dataset.started === 'yes', { timeout: 20000 });
  await waitIdle(page);
  return page;
}

function waitIdle(page, timeout = 20000) {
  // The first view complete (data-started), the module ready, nothing running.
  return page.waitForFunction(() => document.body.dataset.started === 'yes' &&
                              /WebAssembly|not running/.test(document.getElementById('version').textContent) &&
                              document.getElementById('stop').hidden && !document.querySelector('.status.working'),
                              { timeout });
}

const sleep = (ms) => new Promise((r) => setTimeout(r, ms));

// Replaces the expression editor's text by typing, as a user would.
async function typeExpression(page, line) {
  await page.focus('#expression-editor .cm-content');
  await page.keyboard.down('Control');
  await page.keyboard.press('a');
  await page.keyboard.up('Control');
  await page.keyboard.press('Backspace');
  if (line) await page.keyboard.type(line);
  await page.keyboard.press('Escape');  // closes a completion list
}

async function runLine(page, line) {
  await typeExpression(page, line);
  await page.keyboard.down('Control');
  await page.keyboard.press('Enter');
  await page.keyboard.up('Control');
  await sleep(50);
  await waitIdle(page);
}

const text = (page, selector) => page.$eval(selector, (e) => e.textContent);
const editorText = (page, id) => page.$eval(`#${id} .cm-content`, (e) => [...e.querySelectorAll('.cm-line')].map((l) => l.textContent).join('\n'));

async function chooseExample(page, name) {
  const index = await page.$$eval('#example option', (os, n) => os.find((o) => o.textContent === n)?.value, name);
  await page.select('#example', index);
  await sleep(50);
  // Over text of the user's own, the page asks first.
  if (!(await page.$eval('#replace-warning', (e) => e.hidden))) await page.click('#replace-yes');
  await sleep(50);
  await waitIdle(page);
  return index;
}

// Opens a file through "Open file…"; over text of the user's own the page
// asks, and answer ('replace', 'add' or 'keep') is clicked.
async function openFile(page, file, answer = 'replace') {
  await (await page.$('#file')).uploadFile(file);
  await sleep(100);
  if (!(await page.$eval('#replace-warning', (e) => e.hidden))) {
    await page.click({ replace: '#replace-yes', add: '#replace-add', keep: '#replace-no' }[answer]);
  }
  await sleep(100);
  await waitIdle(page);
}

// Sets an editor's whole text, as a paste would.
async function setEditor(page, id, value) {
  await page.focus(`#${id} .cm-content`);
  await page.keyboard.down('Control');
  await page.keyboard.press('a');
  await page.keyboard.up('Control');
  await page.keyboard.press('Backspace');
  if (!value) return;
  await page.$eval(`#${id} .cm-content`, (e, v) => {
    const transfer = new DataTransfer();
    transfer.setData('text/plain', v);
    e.dispatchEvent(new ClipboardEvent('paste', { clipboardData: transfer, bubbles: true, cancelable: true }));
  }, value);
}

// Times say little on a machine whose cores are shared by many more
// runnable processes: there they are printed but not judged.
function timesJudged() {
  const load = loadavg()[0], cores = cpus().length;
  if (load <= cores * 1.5) return true;
  console.log(`      times not judged: load average ${load.toFixed(1)} on ${cores} cores`);
  return false;
}

const tools = { timesJudged, browser, origin, root, artifacts, check, openPage, waitIdle, sleep, typeExpression, runLine, text,
                editorText, chooseExample, nativeOutput, nativeRows, nativeMessage, nativeConvert, universityFile, openFile,
                setEditor, freePort };
// FLOWS=name,name runs only those flows (while working on one).
const only = process.env.FLOWS ? process.env.FLOWS.split(',') : null;
for (const flow of [basics, answers, links, files, join, exercises, course, slips, phone, access].filter((f) => !only || only.includes(f.name))) {
  try {
    await flow(tools);
  } catch (error) {
    check(`${flow.name} flow`, false, error.stack);
  }
}
await browser.close();
server.kill();
console.log(`${passed} passed, ${failed} failed`);
process.exit(failed ? 1 : 0);
