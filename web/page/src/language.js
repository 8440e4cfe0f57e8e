// The expression and environment language for the editors: a tokenizer for
// highlighting and completion. The words themselves are the module's (its
// word table, sent when the interpreter is ready) and so are the
// completions (the console's completer); the page keeps no copy of either.
import { StreamLanguage } from '@codemirror/language';

// The names the page knows: the word table once the module has sent it,
// and after each load the relations and their columns. complete asks the
// module for the completions of a prefix.
export const known = {
  words: [],              // [{ text, role, syntax }]
  relations: new Map(),   // name -> [column names]
  complete: null,         // (before, prefix) => Promise of [words]
};

// Keywords match as prefixes, so the longest one that starts here wins
// (LTE before LT) and a name such as "selected" reads as select + ed, as
// the interpreter reads it.
let keywords = [];
export function setWords(words) {
  known.words = words;
  keywords = words.filter((w) => w.role !== 'type').sort((a, b) => b.text.length - a.text.length);
}

const isType = (word) => known.words.some((w) => w.role === 'type' && w.text === word);

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
      if (state.header && isType(word)) return 'typeName';
      if (state.header) return stream.start === stream.string.search(/\S/) ? 'className' : 'propertyName';
      return 'variableName';
    }
    for (const word of keywords) {
      if (stream.match(word.text)) return word.role === 'operator' ? 'keyword' : 'operatorKeyword';
    }
    stream.eatWhile(/\w/);
    return known.relations.has(stream.current()) ? 'className' : 'propertyName';
  }
  if (c === '(' || c === ')') { stream.next(); return 'paren'; }
  if (c === ',') { stream.next(); return 'separator'; }
  stream.next();
  return 'invalid';
}

export function expressionLanguage() {
  return StreamLanguage.define({
    name: 'qorvantel',
    startState: () => ({}),
    token: (stream, state) => token(stream, state, false),
    languageData: { closeBrackets: { brackets: ['(', "'"] } },
  });
}

export function environmentLanguage() {
  return StreamLanguage.define({
    name: 'qorvantel-environment',
    startState: () => ({ header: false }),
    copyState: (state) => ({ header: state.header }),
    token: (stream, state) => token(stream, state, true),
  });
}

// The module's completions of the word before the cursor, typed as the
// word table and the loaded relations say.
export async function completeExpression(context) {
  const word = context.matchBefore(/[A-Za-z_]\w*/);
  if ((!word && !context.explicit) || !known.complete) return null;
  const from = word ? word.from : context.pos;
  const before = context.state.sliceDoc(0, from);
  const found = await known.complete(before, word ? word.text : '');
  if (context.aborted) return null;
  const options = found.map((label) => {
    const keyword = known.words.find((w) => w.text === label);
    if (keyword) return { label, type: 'keyword', apply: label + '(', detail: keyword.syntax };
    if (known.relations.has(label)) return { label, type: 'class', detail: 'relation' };
    return { label, type: 'property', detail: 'column' };
  });
  return { from, options, validFor: /^\w*$/ };
}
