// The operator palette: a button per operator that inserts its template at
// the cursor, with its first blank selected; the derived operators as the
// manual writes them (section 6).
export const TEMPLATES = [
  { symbol: 'σ', name: 'select', text: 'select(R, EQ(a, 1))' },
  { symbol: 'π', name: 'project', text: 'project(R, a, b)' },
  { symbol: 'ρ', name: 'rename', text: 'rename(R, S(a, b))' },
  { symbol: '×', name: 'product', text: 'product(A, B)' },
  { symbol: '∪', name: 'union', text: 'union(A, B)' },
  { symbol: '−', name: 'minus', text: 'minus(A, B)' },
  { symbol: '⋈', name: 'natural join (derived)', text: 'project(select(product(A, rename(B, B2(b1, b2))), EQ(a1, b1)), a1, a2, b2)' },
  { symbol: '∩', name: 'intersection (derived)', text: 'minus(A, minus(A, B))' },
  { symbol: '÷', name: 'division (derived)', text: 'minus(project(A, x), project(minus(product(project(A, x), B), A), x))' },
];

// The first blank of a template: the first operand after the first bracket.
function firstBlank(text) {
  const open = text.indexOf('(');
  const inner = text.slice(open + 1);
  const length = inner.search(/[(),]/);
  return [open + 1, open + 1 + length];
}

export function setUpPalette(box, insert) {
  box.replaceChildren(...TEMPLATES.map((template) => {
    const button = Object.assign(document.createElement('button'), { type: 'button', className: 'secondary small palette-key' });
    button.textContent = template.symbol;
    button.title = template.name + ': inserts ' + template.text;
    button.setAttribute('aria-label', 'Insert ' + template.name);
    button.dataset.template = template.text;
    button.addEventListener('click', () => insert({ text: template.text, select: firstBlank(template.text) }));
    return button;
  }));
}
