// The expression and environment language for the editors: its words,
// a tokenizer for highlighting, and completion of keywords, relation names
// and the columns in scope.
import { StreamLanguage } from '@codemirror/language';

export const OPERATORS = ['union', 'minus', 'product', 'select', 'project', 'rename'];
export const CONDITIONS = ['EQ', 'NEQ', 'LT', 'LTE', 'GT', 'GTE', 'NOT', 'AND', 'OR'];
export const TYPES = ['int', 'char'];

// Keywords match as prefixes, so the longest one that starts here wins
// (LTE before LT) and a name such as "selected" reads as select + ed, as
// the interpreter reads it.
const WORDS = [...OPERATORS, ...CONDITIONS].sort((a, b) => b.length - a.length);

// The names the page knows: set after each load, read by the tokenizer to
// tell relation names from column names.
export const known = { relations: new Map() };  // name -> [column names]

function isNameStart(c) { return /[A-Za-z_]/.test(c); }

function token(stream, state, environment) {
  if (stream.eatSpace()) return null;
  if (environment && stream.sol()) state.header = /^\s*[A-Za-z_]\w*\s*\(\s*[A-Za-z_]\w*\s+(int|char)/.test(stream.string);
  const c = stream.peek();
  if (c === "'") {
    stream.next();
    while (!stream.eol() && stream.next() !== "'") { /* to the closing apostrophe */ }
    return 'string';
  }
  if (/[0-9]/.test(c) || ((c === '-' || c === '+') && /[0-9]/.test(stream.string.charAt(stream.pos + 1)))) {
    stream.next();
    stream.eatWhile(/[0-9]/);
    return 'number';
  }
  if (isNameStart(c)) {
    if (environment) {
      stream.eatWhile(/\w/);
      const word = stream.current();
      if (state.header && TYPES.includes(word)) return 'typeName';
      if (state.header) return stream.start === stream.string.search(/\S/) ? 'className' : 'propertyName';
      return 'variableName';
    }
    for (const word of WORDS) {
      if (stream.match(word)) return CONDITIONS.includes(word) ? 'operatorKeyword' : 'keyword';
    }
    stream.eatWhile(/\w/);
    return known.relations.has(stream.current()) ? 'className' : 'propertyName';
  }
  if (c === '(' || c === ')') { stream.next(); return 'paren'; }
  if (c === ',') { stream.next(); return 'separator'; }
  stream.next();
  return 'invalid';
}

export const expressionLanguage = StreamLanguage.define({
  name: 'qorvantel',
  startState: () => ({}),
  token: (stream, state) => token(stream, state, false),
  languageData: { closeBrackets: { brackets: ['(', "'"] } },
});

export const environmentLanguage = StreamLanguage.define({
  name: 'qorvantel-environment',
  startState: () => ({ header: false }),
  copyState: (state) => ({ header: state.header }),
  token: (stream, state) => token(stream, state, true),
});

// The names of relations the text before the cursor mentions; their
// columns, and the names a rename gives, are the columns in scope.
function columnsInScope(before) {
  const columns = new Set();
  for (const match of before.matchAll(/[A-Za-z_]\w*/g)) {
    const columnsOf = known.relations.get(match[0]);
    if (columnsOf) columnsOf.forEach((c) => columns.add(c));
  }
  // rename(E, N(a, b)): a and b are columns from there on.
  for (const match of before.matchAll(/rename\s*\([^()]*,\s*[A-Za-z_]\w*\s*\(([^()]*)\)/g))
    for (const name of match[1].split(',')) if (name.trim()) columns.add(name.trim());
  if (!columns.size) for (const list of known.relations.values()) list.forEach((c) => columns.add(c));
  return [...columns];
}

export function completeExpression(context) {
  const word = context.matchBefore(/[A-Za-z_]\w*/);
  if (!word && !context.explicit) return null;
  const before = context.state.sliceDoc(0, context.pos);
  const options = [
    ...OPERATORS.map((label) => ({ label, type: 'keyword', apply: label + '(', detail: 'operator' })),
    ...CONDITIONS.map((label) => ({ label, type: 'keyword', apply: label + '(', detail: 'condition' })),
    ...[...known.relations.keys()].map((label) => ({ label, type: 'class', detail: 'relation' })),
    ...columnsInScope(before).map((label) => ({ label, type: 'property', detail: 'column' })),
  ];
  return { from: word ? word.from : context.pos, options, validFor: /^\w*$/ };
}
