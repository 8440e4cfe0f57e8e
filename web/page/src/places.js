// Where an error belongs in the text the user wrote: a parse error at the
// line and column it reports, an evaluation error at the first place the
// expression names the relation or column that is missing.
import { known } from './language.js';

// { line, column } of an error (1-based; the column counts bytes), or
// { end: true } for an error at the end of the text, or null for one that
// reports no place. The place comes from the reply's error_line,
// error_column and error_at_end.
export function errorPlace(reply) {
  if (typeof reply.error_line !== 'number' || typeof reply.error_column !== 'number') return null;
  return reply.error_at_end ? { end: true } : { line: reply.error_line, column: reply.error_column };
}

const NAME = /'[^'\n]*'|[A-Za-z_]\w*/g;

// The names a failed node uses that nothing below it provides: a relation
// that is not loaded, or the columns a select or project names that its
// operand does not have.
export function missingNames(node) {
  if (!node) return [];
  if (node.kind === 'relation') return [node.label];
  if (node.kind !== 'select' && node.kind !== 'project') return [];
  const operand = node.children && node.children[0];
  if (!operand || !operand.evaluated || !operand.columns) return [];
  const have = new Set(operand.columns.map((c) => c.name));
  const used = node.label.slice(node.kind.length).match(NAME) || [];
  return used.filter((name) => !name.startsWith("'") && !known.words.some((w) => w.text === name) && !have.has(name));
}

// [from, to] of the first whole name in text (outside strings) that is one
// of names, or null.
export function firstMention(text, names) {
  if (!names.length) return null;
  for (const match of text.matchAll(NAME)) {
    if (names.includes(match[0])) return [match.index, match.index + match[0].length];
  }
  return null;
}
