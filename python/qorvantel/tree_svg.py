"""The operator tree as inline SVG, as the web page draws it: a box per
operator and relation reference with its label, its result's schema and its
row count (or the error that stopped it), the root at the top."""
from html import escape

CHAR = 7.2      # width of a character of the 12px monospace font
LINE = 16
GAP_X = 16
GAP_Y = 28
PAD = 6


def _lines(node):
    lines = [node['label']]
    if node.get('error'):
        lines.append(node['error'])
    elif node.get('evaluated'):
        rows = node['rows']
        lines.append(node['schema'])
        lines.append(f'{rows} row{"" if rows == 1 else "s"}')
    else:
        lines.append('not evaluated')
    return [line if len(line) <= 60 else line[:57] + '...' for line in lines]


def _measure(node):
    node['_lines'] = _lines(node)
    node['_w'] = max(len(line) for line in node['_lines']) * CHAR + 2 * PAD
    node['_h'] = len(node['_lines']) * LINE + PAD
    for child in node['children']:
        _measure(child)
    children = sum(c['_span'] for c in node['children']) + GAP_X * max(len(node['children']) - 1, 0)
    node['_span'] = max(node['_w'], children)


def _place(node, left, top, out, depth_heights):
    node['_x'] = left + node['_span'] / 2
    node['_y'] = top
    x = left + (node['_span'] - (sum(c['_span'] for c in node['children']) +
                                 GAP_X * max(len(node['children']) - 1, 0))) / 2
    for child in node['children']:
        _place(child, x, top + node['_h'] + GAP_Y, out, depth_heights)
        x += child['_span'] + GAP_X
    out.append(node)


def tree_svg(tree):
    _measure(tree)
    nodes = []
    _place(tree, 0, 0, nodes, {})
    width = tree['_span'] + 2
    height = max(n['_y'] + n['_h'] for n in nodes) + 2
    parts = [f'<svg xmlns="http://www.w3.org/2000/svg" class="qorvantel-tree" width="{width:.0f}" '
             f'height="{height:.0f}" font-family="monospace" font-size="12">']
    for node in nodes:
        for child in node['children']:
            parts.append(f'<line x1="{node["_x"]:.1f}" y1="{node["_y"] + node["_h"]:.1f}" '
                         f'x2="{child["_x"]:.1f}" y2="{child["_y"]:.1f}" stroke="#888"/>')
    for node in nodes:
        x = node['_x'] - node['_w'] / 2
        fill = '#fee' if node.get('error') else ('#eef' if node.get('evaluated') else '#eee')
        parts.append(f'<g class="qorvantel-node"><title>{escape(node["expression"])}</title>'
                     f'<rect x="{x + 1:.1f}" y="{node["_y"] + 1:.1f}" width="{node["_w"]:.1f}" '
                     f'height="{node["_h"]:.1f}" rx="4" fill="{fill}" stroke="#558"/>')
        for i, line in enumerate(node['_lines']):
            weight = ' font-weight="bold"' if i == 0 else ''
            parts.append(f'<text x="{node["_x"]:.1f}" y="{node["_y"] + PAD + LINE * (i + 0.75):.1f}" '
                         f'text-anchor="middle"{weight}>{escape(line)}</text>')
        parts.append('</g>')
    parts.append('</svg>')
    return ''.join(parts)
