// The operator tree as SVG: laid out with each parent over its children,
// fitted to its box but never shrunk below a readable text size (a wide
// tree scrolls instead, by finger, wheel or drag), zoomed about the centre
// of what is shown with the buttons and Ctrl+wheel. Nodes are in the document root first, and one of them at a time
// takes Tab; the arrow keys walk the tree (Up the parent, Down the first
// operand, Left and Right the neighbours), Enter or Space shows a node's
// result.

const SVG = 'http://www.w3.org/2000/svg';
const CHAR = 7.9, NODE_H = 62, GAP_X = 18, GAP_Y = 42, PAD = 12, MAX_CHARS = 46;
// The smallest scale: the node's schema line (11 px) stays at 9 px or
// more, its label at 11 px or more.
export const MIN_SCALE = 0.85;
const MAX_HEIGHT = 560;

function svg(name, attributes, parent) {
  const element = document.createElementNS(SVG, name);
  for (const [key, value] of Object.entries(attributes)) element.setAttribute(key, value);
  if (parent) parent.append(element);
  return element;
}

function clip(text) { return text.length > MAX_CHARS ? text.slice(0, MAX_CHARS - 1) + '…' : text; }

export function rowsText(n) { return n + (n === 1 ? ' row' : ' rows'); }

// Each parent centred over its children; the right edge reached at each
// depth keeps neighbouring subtrees apart.
function layout(node, depth, state) {
  node.width = Math.max(110, CHAR * Math.max(node.shown.length, clip(node.evaluated ? node.schema : '').length) + 2 * PAD);
  node.y = PAD + depth * (NODE_H + GAP_Y);
  const bound = state.level[depth] || PAD;
  if (!node.children.length) {
    node.x = Math.max(state.x, bound);
  } else {
    for (const child of node.children) layout(child, depth + 1, state);
    const first = node.children[0], last = node.children[node.children.length - 1];
    node.x = (first.x + first.width / 2 + last.x + last.width / 2) / 2 - node.width / 2;
    if (node.x < bound) shift(node, bound - node.x, depth, state);
  }
  state.level[depth] = node.x + node.width + GAP_X;
  state.x = Math.max(state.x, state.level[depth]);
  state.depth = Math.max(state.depth, depth);
  state.width = Math.max(state.width, node.x + node.width);
}

function shift(node, dx, depth, state) {
  node.x += dx;
  state.level[depth] = Math.max(state.level[depth] || PAD, node.x + node.width + GAP_X);
  state.x = Math.max(state.x, state.level[depth]);
  state.width = Math.max(state.width, node.x + node.width);
  for (const child of node.children) shift(child, dx, depth + 1, state);
}

export class TreeView {
  constructor(box, { onChoose }) {
    this.box = box;
    this.onChoose = onChoose;
    this.symbols = false;
    this.tree = null;
    this.view = { scale: 1 };
    box.addEventListener('wheel', (event) => {
      if (!this.tree || !(event.ctrlKey || event.metaKey)) return;
      event.preventDefault();
      this.zoom(event.deltaY < 0 ? 1.2 : 1 / 1.2);
    }, { passive: false });
    // A mouse drag scrolls; a finger scrolls the box natively.
    let drag = null;
    box.addEventListener('pointerdown', (event) => {
      if (!this.tree || event.pointerType === 'touch' || event.target.closest('.node')) return;
      drag = { x: event.clientX, y: event.clientY, left: box.scrollLeft, top: box.scrollTop };
      box.setPointerCapture(event.pointerId);
    });
    box.addEventListener('pointermove', (event) => {
      if (!drag) return;
      box.scrollLeft = drag.left - (event.clientX - drag.x);
      box.scrollTop = drag.top - (event.clientY - drag.y);
    });
    box.addEventListener('pointerup', () => { drag = null; });
  }

  // Draws a tree (or nothing); the chosen node is the root. symbols are
  // the module's symbol lines of the nodes, root first, each node's
  // operands after it.
  draw(tree, symbols) {
    if (symbols !== undefined) this.symbolLines = symbols || [];
    this.box.replaceChildren();
    this.tree = tree;
    this.nodes = [];
    if (!tree) return;
    let at = 0;
    const prepare = (node, parent) => {
      node.parent = parent;
      node.symbol = (this.symbolLines || [])[at++] || node.label;
      node.shown = clip(this.symbols ? node.symbol : node.label);
      node.children.forEach((child) => prepare(child, node));
    };
    prepare(tree, null);
    const state = { x: PAD, level: [], depth: 0, width: 0 };
    layout(tree, 0, state);
    this.width = state.width + PAD;
    this.height = PAD * 2 + (state.depth + 1) * NODE_H + state.depth * GAP_Y;
    this.svg = svg('svg', { role: 'tree', 'aria-label': 'Operator tree' }, this.box);
    this.content = svg('g', {}, this.svg);
    const edges = svg('g', { 'aria-hidden': 'true' }, this.content);
    const nodes = svg('g', { role: 'none' }, this.content);
    const drawNode = (node, level, index, siblings) => {
      const kind = node.error ? 'failed' : node.evaluated ? (node.kind === 'relation' ? 'relation' : '') : 'skipped';
      const g = svg('g', { class: 'node ' + kind, transform: `translate(${node.x},${node.y})`, tabindex: -1,
                           role: 'treeitem', 'aria-level': level, 'aria-setsize': siblings, 'aria-posinset': index + 1,
                           'aria-selected': 'false', 'data-expression': node.expression,
                           'data-rows': node.evaluated ? node.rows : '' }, nodes);
      if (node.children.length) g.setAttribute('aria-expanded', 'true');
      node.element = g;
      this.nodes.push(node);
      const schema = clip(node.evaluated ? node.schema : '');
      const count = node.error ? 'error' : node.evaluated ? rowsText(node.rows) : 'not evaluated';
      // The title is the node's name for a screen reader too: it starts
      // with the text the box shows.
      svg('title', {}, g).textContent = [node.shown, schema, count, node.expression, node.error].filter(Boolean).join('\n');
      svg('rect', { width: node.width, height: NODE_H, rx: 6 }, g);
      svg('text', { class: 'label', x: PAD, y: 19 }, g).textContent = node.shown;
      svg('text', { class: 'schema-text', x: PAD, y: 36 }, g).textContent = schema;
      svg('text', { class: 'count', x: PAD, y: 53 }, g).textContent = count;
      g.addEventListener('click', () => this.choose(node));
      g.addEventListener('keydown', (event) => this.key(event, node));
      g.addEventListener('focus', () => this.reveal(node));
      node.children.forEach((child, i) => {
        const x1 = node.x + node.width / 2, y1 = node.y + NODE_H, x2 = child.x + child.width / 2, y2 = child.y;
        svg('path', { class: 'edge', d: `M${x1},${y1} C${x1},${(y1 + y2) / 2} ${x2},${(y1 + y2) / 2} ${x2},${y2}` }, edges);
        drawNode(child, level + 1, i, node.children.length);
      });
    };
    drawNode(tree, 1, 0, 1);
    tree.element.setAttribute('tabindex', 0);
    this.fit();
  }

  // Marks a node as the one whose rows are shown; silent marks only.
  choose(node, silent) {
    if (!node) return;
    for (const each of this.nodes) {
      each.element.classList.toggle('chosen', each === node);
      each.element.setAttribute('aria-selected', String(each === node));
    }
    this.focusable(node);
    if (!silent) this.onChoose(node);
  }

  focusable(node) {
    for (const each of this.nodes) each.element.setAttribute('tabindex', each === node ? 0 : -1);
  }

  key(event, node) {
    const siblings = node.parent ? node.parent.children : [node];
    const at = siblings.indexOf(node);
    const target = {
      ArrowUp: node.parent, ArrowDown: node.children[0], ArrowLeft: siblings[at - 1], ArrowRight: siblings[at + 1],
      Home: this.tree, End: this.nodes[this.nodes.length - 1],
    }[event.key];
    if (event.key === 'Enter' || event.key === ' ') {
      event.preventDefault();
      this.choose(node);
    } else if (event.key in { ArrowUp: 1, ArrowDown: 1, ArrowLeft: 1, ArrowRight: 1, Home: 1, End: 1 }) {
      event.preventDefault();
      if (target) { this.focusable(target); target.element.focus(); }
    }
  }

  // Scales the tree to the box's width, never above its natural size nor
  // below the readable one.
  fit() {
    if (!this.tree) return;
    const width = this.box.clientWidth || this.width;
    this.view = { scale: Math.max(MIN_SCALE, Math.min(1, width / this.width)) };
    this.apply();
    this.box.scrollLeft = 0;
    this.box.scrollTop = 0;
  }

  // Zooms about the centre of what the box shows.
  zoom(factor) {
    if (!this.tree) return;
    const box = this.box, old = this.view.scale;
    const cx = (box.scrollLeft + box.clientWidth / 2) / old, cy = (box.scrollTop + box.clientHeight / 2) / old;
    this.view.scale = Math.min(3, Math.max(MIN_SCALE / 2, old * factor));
    this.apply();
    box.scrollLeft = cx * this.view.scale - box.clientWidth / 2;
    box.scrollTop = cy * this.view.scale - box.clientHeight / 2;
  }

  // The drawing at its scale: the box grows with it up to a bound, then
  // scrolls.
  apply() {
    const { scale } = this.view;
    this.svg.setAttribute('width', Math.ceil(this.width * scale));
    this.svg.setAttribute('height', Math.ceil(this.height * scale));
    this.box.style.maxHeight = MAX_HEIGHT + 'px';
    this.content.setAttribute('transform', `scale(${scale})`);
  }

  // Scrolls a focused node into sight.
  reveal(node) {
    const { scale } = this.view;
    const box = this.box;
    const left = node.x * scale, right = (node.x + node.width) * scale;
    const top = node.y * scale, bottom = (node.y + NODE_H) * scale;
    if (left < box.scrollLeft) box.scrollLeft = left - PAD;
    else if (right > box.scrollLeft + box.clientWidth) box.scrollLeft = right - box.clientWidth + PAD;
    if (top < box.scrollTop) box.scrollTop = top - PAD;
    else if (bottom > box.scrollTop + box.clientHeight) box.scrollTop = bottom - box.clientHeight + PAD;
  }

  setSymbols(on) {
    this.symbols = on;
    if (this.tree) this.draw(this.tree);
  }

}
