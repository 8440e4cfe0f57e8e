// The two editors: the environment text and the expression. Both
// highlight the language, match brackets and report errors as
// diagnostics; the expression editor completes names and keeps a history.
import { EditorState, Prec, Transaction } from '@codemirror/state';
import { EditorView, keymap, placeholder, drawSelection, highlightActiveLine, lineNumbers } from '@codemirror/view';
import { bracketMatching, syntaxHighlighting, HighlightStyle } from '@codemirror/language';
import { defaultKeymap, history as undoHistory, historyKeymap, insertNewlineAndIndent } from '@codemirror/commands';
import { autocompletion, completionKeymap, closeBrackets, closeBracketsKeymap, completionStatus } from '@codemirror/autocomplete';
import { setDiagnostics } from '@codemirror/lint';
import { Compartment } from '@codemirror/state';
import { tags } from '@lezer/highlight';
import { expressionLanguage, environmentLanguage, completeExpression } from './language.js';

const style = HighlightStyle.define([
  { tag: tags.keyword, color: 'var(--syntax-keyword)', fontWeight: '600' },
  { tag: tags.operatorKeyword, color: 'var(--syntax-condition)', fontWeight: '600' },
  { tag: tags.className, color: 'var(--syntax-relation)' },
  { tag: tags.propertyName, color: 'var(--syntax-column)' },
  { tag: tags.typeName, color: 'var(--syntax-type)' },
  { tag: tags.string, color: 'var(--syntax-string)' },
  { tag: tags.number, color: 'var(--syntax-number)' },
  { tag: tags.invalid, color: 'var(--bad)' },
]);

// The language of each editor stands in a compartment: when the module's
// word table arrives, every editor reads its text again with it.
const languages = [];
function languageOf(make) {
  const compartment = new Compartment();
  languages.push({ compartment, make, views: [] });
  return languages[languages.length - 1];
}
export function refreshLanguages() {
  for (const each of languages)
    for (const view of each.views) view.dispatch({ effects: each.compartment.reconfigure(each.make()) });
}

const common = [
  undoHistory(), drawSelection(), bracketMatching(), closeBrackets(), syntaxHighlighting(style),
  EditorView.contentAttributes.of({ spellcheck: 'false', autocorrect: 'off', autocapitalize: 'off', tabindex: '0' }),
];

// Turns a reported place (1-based line, column counted in bytes) into an
// offset in the document; a place past the end is the end.
export function offsetOfPlace(doc, line, column) {
  if (!(line >= 1)) return null;
  if (line > doc.lines) return doc.length;
  const text = doc.line(line);
  const bytes = new TextEncoder().encode(text.text).subarray(0, Math.max(0, column - 1));
  return text.from + Math.min(new TextDecoder().decode(bytes).length, text.length);
}

// Shows one error at an offset, scrolled into view; null clears.
export function markError(view, offset, message) {
  if (offset === null || offset === undefined) {
    if (view.marked) view.dispatch(setDiagnostics(view.state, []));
    view.marked = false;
    return;
  }
  view.marked = true;
  const length = view.state.doc.length;
  const from = Math.min(offset, length);
  const to = Math.min(from + 1, length);
  view.dispatch(setDiagnostics(view.state, [{ from, to, severity: 'error', message }]),
                { effects: EditorView.scrollIntoView(from, { y: 'nearest', x: 'center' }) });
}

// Marks several ranges (an evaluation error's names) as errors.
export function markRanges(view, ranges, message) {
  view.marked = true;
  view.dispatch(setDiagnostics(view.state, ranges.map(([from, to]) => ({ from, to, severity: 'error', message }))));
}

export function createEnvironmentEditor(parent, { onLoad, onChange }) {
  const language = languageOf(environmentLanguage);
  const view = new EditorView({
    parent,
    state: EditorState.create({
      extensions: [
        ...common, lineNumbers(), highlightActiveLine(), language.compartment.of(environmentLanguage()),
        Prec.highest(keymap.of([{ key: 'Mod-Enter', run: () => { onLoad(); return true; } }])),
        keymap.of([...closeBracketsKeymap, ...defaultKeymap, ...historyKeymap]),
        EditorView.updateListener.of((update) => { if (update.docChanged) onChange(); }),
        EditorView.contentAttributes.of({ 'aria-label': 'Environment text (Ctrl+Enter loads it)' }),
      ],
    }),
  });
  language.views.push(view);
  return view;
}

// The expression editor. Enter runs a one-line expression whose brackets
// are balanced and otherwise starts a new line, as Shift+Enter always does;
// Ctrl+Enter always runs; Up and Down on a one-line expression walk the
// history.
// The answer editor of the exercises is the same editor with its own
// label; there Enter always starts a new line and only Ctrl+Enter checks.
export function createExpressionEditor(parent, { onRun, onChange, history, label, enterRuns = true }) {
  const hint = new Compartment();
  const language = languageOf(expressionLanguage);
  const oneLine = (view) => view.state.doc.lines === 1;
  const balanced = (text) => {
    let depth = 0;
    for (const c of text.replace(/'[^'\n]*'/g, '')) if ((depth += c === '(' ? 1 : c === ')' ? -1 : 0) < 0) return false;
    return depth === 0;
  };
  const walk = (step) => (view) => {
    if (!history || !oneLine(view) || completionStatus(view.state)) return false;
    const text = history.walk(step, view.state.doc.toString());
    if (text === null) return false;
    view.dispatch({ changes: { from: 0, to: view.state.doc.length, insert: text }, selection: { anchor: text.length } });
    return true;
  };
  const view = new EditorView({
    parent,
    state: EditorState.create({
      extensions: [
        ...common, language.compartment.of(expressionLanguage()), EditorView.lineWrapping, hint.of(placeholder('')),
        autocompletion({ override: [completeExpression], activateOnTyping: true }),
        Prec.highest(keymap.of([
          { key: 'Mod-Enter', run: () => { onRun(); return true; } },
          { key: 'Enter', run: (v) => {
            if (!enterRuns || !oneLine(v) || !balanced(v.state.doc.toString()) || completionStatus(v.state) === 'active') return false;
            onRun();
            return true;
          } },
          { key: 'Shift-Enter', run: insertNewlineAndIndent },
          { key: 'ArrowUp', run: walk(-1) },
          { key: 'ArrowDown', run: walk(1) },
        ])),
        keymap.of([...completionKeymap, ...closeBracketsKeymap, ...defaultKeymap, ...historyKeymap]),
        EditorView.updateListener.of((update) => { if (update.docChanged) onChange(); }),
        EditorView.contentAttributes.of({ 'aria-label': label || 'Expression (Enter or Ctrl+Enter runs it, Up and Down walk the history)' }),
      ],
    }),
  });
  language.views.push(view);
  view.setPlaceholder = (text) => view.dispatch({ effects: hint.reconfigure(placeholder(text)) });
  return view;
}

export function setText(view, text) {
  view.dispatch({ changes: { from: 0, to: view.state.doc.length, insert: text } });
}

// Puts a file's text in an editor as it is read, 256 KB at a time,
// so that a large file does not hold the page up while it is decoded and
// laid out. Resolves when all of it is in.
export async function streamText(view, file) {
  const reader = file.stream().pipeThrough(new TextDecoderStream()).getReader();
  const quiet = Transaction.addToHistory.of(false);
  view.dispatch({ changes: { from: 0, to: view.state.doc.length, insert: '' } });
  let pending = '';
  const flush = (keep) => {
    // A CR at the end may be the first half of a CRLF: it waits.
    const held = keep && pending.endsWith('\r') ? 1 : 0;
    view.dispatch({ changes: { from: view.state.doc.length, insert: pending.slice(0, pending.length - held) }, annotations: quiet });
    pending = pending.slice(pending.length - held);
  };
  for (;;) {
    const { done, value } = await reader.read();
    if (done) break;
    pending += value;
    if (pending.length >= 1 << 18) {
      flush(true);
      await new Promise((resolve) => setTimeout(resolve));
    }
  }
  flush(false);
}

// Inserts text at the cursor (replacing the selection); select is the
// [from, to] inside the text to select afterwards (a template's first
// blank), else the cursor goes after it.
export function insertText(view, text, select) {
  const { from, to } = view.state.selection.main;
  const selection = select ? { anchor: from + select[0], head: from + select[1] } : { anchor: from + text.length };
  view.dispatch({ changes: { from, to, insert: text }, selection, scrollIntoView: true });
}
