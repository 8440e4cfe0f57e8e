// Textbook notation of an operator tree (the run reply's "tree"): σ, π, ρ,
// ∪, −, ×, ∧, ∨, ¬, as pieces for the page (subscripts as elements, never
// markup) and as LaTeX.

// Reads a condition's written form, such as AND(EQ(id, sid), GTE(grade, 4)),
// into { op, args } with leaves as { leaf: text }.
export function readCondition(text) {
  const tokens = text.match(/'[^']*'|[A-Za-z_]\w*|[+-]?\d+|[(),]|\S/g) || [];
  let at = 0;
  function term() {
    const token = tokens[at++];
    if (tokens[at] === '(') {
      at++;
      const args = [];
      while (at < tokens.length && tokens[at] !== ')') {
        args.push(term());
        if (tokens[at] === ',') at++;
      }
      at++;
      return { op: token, args };
    }
    return { leaf: token === undefined ? '' : token };
  }
  return term();
}

const UNICODE = {
  EQ: '=', NEQ: '≠', LT: '<', LTE: '≤', GT: '>', GTE: '≥', AND: ' ∧ ', OR: ' ∨ ', NOT: '¬',
  union: ' ∪ ', minus: ' − ', product: ' × ', select: 'σ', project: 'π', rename: 'ρ',
};
const LATEX = {
  EQ: '=', NEQ: '\\neq', LT: '<', LTE: '\\leq', GT: '>', GTE: '\\geq', AND: ' \\land ', OR: ' \\lor ', NOT: '\\lnot ',
  union: ' \\cup ', minus: ' - ', product: ' \\times ', select: '\\sigma', project: '\\pi', rename: '\\rho',
};

function latexName(text) {
  if (text.startsWith("'")) return '\\text{' + text.replace(/[\\{}$&#^_%~]/g, (c) => ({
    '\\': '\\textbackslash{}', '~': '\\textasciitilde{}', '^': '\\textasciicircum{}' }[c] || '\\' + c)) + '}';
  if (/^[+-]?\d+$/.test(text)) return text;
  return '\\mathit{' + text.replace(/_/g, '\\_') + '}';
}

// The symbols, how a name is written and how a subscript is made, for
// each output.
const STYLES = {
  pieces: { symbols: UNICODE, name: (t) => t, sub: (parts) => ({ sub: parts }), space: ' ' },
  latex: { symbols: LATEX, name: latexName, sub: (parts) => '_{' + flat(parts) + '}', space: '\\ ' },
};

function flat(parts) { return parts.map((p) => (typeof p === 'string' ? p : flat(p))).join(''); }

function condition(node, style, outer) {
  const s = style.symbols;
  if (node.leaf !== undefined) return [style.name(node.leaf)];
  const args = node.args || [];
  if (node.op === 'NOT') return [s.NOT, ...wrap(condition(args[0] || { leaf: '' }, style, 'NOT'), true)];
  if (node.op === 'AND' || node.op === 'OR') {
    const parts = [];
    args.forEach((a, i) => { if (i) parts.push(s[node.op]); parts.push(...condition(a, style, node.op)); });
    return wrap(parts, outer !== undefined && outer !== node.op && args.length > 1);
  }
  const parts = [];
  args.forEach((a, i) => { if (i) parts.push(' ' + (s[node.op] || node.op) + ' '); parts.push(...condition(a, style, node.op)); });
  return parts;
}

function wrap(parts, yes) { return yes ? ['(', ...parts, ')'] : parts; }

function detail(node) { return node.label.slice(node.kind.length).trim(); }

function expression(node, style, infixParent) {
  const s = style.symbols;
  const children = node.children || [];
  switch (node.kind) {
  case 'relation':
    return [style.name(node.label)];
  case 'union': case 'minus': case 'product': {
    const parts = [];
    children.forEach((c, i) => { if (i) parts.push(s[node.kind]); parts.push(...expression(c, style, true)); });
    return wrap(parts, infixParent);
  }
  case 'select':
    return [s.select, style.sub(condition(readCondition(detail(node)), style)), '(', ...expression(children[0], style), ')'];
  case 'project':
    return [s.project, style.sub([detail(node).split(/,\s*/).map(style.name).join(', ')]),
            '(', ...expression(children[0], style), ')'];
  case 'rename': {
    const renamed = /^([A-Za-z_]\w*)\s*\((.*)\)$/.exec(detail(node));
    const target = renamed ? style.name(renamed[1]) + '(' + renamed[2].split(/,\s*/).map(style.name).join(', ') + ')' : detail(node);
    return [s.rename, style.sub([target]), '(', ...expression(children[0], style), ')'];
  }
  default:
    return [node.expression || node.label || ''];
  }
}

// The formula as pieces: strings and { sub: pieces }.
export function formulaPieces(tree) { return expression(tree, STYLES.pieces, false); }

export function formulaLatex(tree) { return flat(expression(tree, STYLES.latex, false)); }

// Plain text of pieces (for a node's label in the tree and for tests).
export function piecesText(parts) {
  return parts.map((p) => (typeof p === 'string' ? p : '[' + piecesText(p.sub) + ']')).join('');
}

// The symbol line of one node, for the tree drawn in textbook notation.
export function nodeSymbol(node) {
  if (node.kind === 'relation' || !node.children) return node.label;
  if (['union', 'minus', 'product'].includes(node.kind)) return UNICODE[node.kind].trim();
  const one = { ...node, children: [{ kind: 'relation', label: '…' }] };
  return piecesText(formulaPieces(one)).replace(/\[(.*)\]\(…\)$/, ' $1');
}

// Adds pieces to an element as text and <sub> elements.
export function renderPieces(parent, parts) {
  for (const part of parts) {
    if (typeof part === 'string') parent.append(part);
    else {
      const sub = document.createElement('sub');
      renderPieces(sub, part.sub);
      parent.append(sub);
    }
  }
}
