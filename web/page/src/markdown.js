// Shows the bundled manual: a small reader of the Markdown it is written
// in (headings, paragraphs, lists, tables, code blocks and inline code),
// building elements with text only, so nothing in it can become markup.

function inline(parent, text) {
  const parts = text.split(/(`[^`]+`|\*\*[^*]+\*\*)/);
  for (const part of parts) {
    if (/^`[^`]+`$/.test(part)) parent.append(Object.assign(document.createElement('code'), { textContent: part.slice(1, -1) }));
    else if (/^\*\*[^*]+\*\*$/.test(part)) parent.append(Object.assign(document.createElement('strong'), { textContent: part.slice(2, -2) }));
    else if (part) parent.append(part);
  }
}

export function renderMarkdown(parent, source) {
  const lines = source.split('\n');
  let i = 0;
  const add = (tag, text) => {
    const element = document.createElement(tag);
    if (text !== undefined) inline(element, text);
    parent.append(element);
    return element;
  };
  while (i < lines.length) {
    const line = lines[i];
    const heading = /^(#{1,4})\s+(.*)$/.exec(line);
    if (heading) {
      add('h' + Math.min(6, heading[1].length + 2), heading[2]);
      i++;
    } else if (/^```/.test(line)) {
      const code = [];
      for (i++; i < lines.length && !/^```/.test(lines[i]); i++) code.push(lines[i]);
      i++;
      // A wide block scrolls, so the keyboard must reach it.
      const pre = add('pre');
      pre.textContent = code.join('\n');
      pre.tabIndex = 0;
    } else if (/^\|/.test(line)) {
      const table = add('table');
      for (; i < lines.length && /^\|/.test(lines[i]); i++) {
        if (/^\|[\s|:-]+\|$/.test(lines[i])) continue;
        const row = table.insertRow();
        for (const cell of lines[i].slice(1, -1).split(/(?<!\\)\|/)) inline(row.insertCell(), cell.trim());
      }
    } else if (/^\s*[-*]\s/.test(line)) {
      const list = add('ul');
      while (i < lines.length && /^\s*[-*]\s/.test(lines[i])) {
        let text = lines[i++].replace(/^\s*[-*]\s+/, '');
        while (i < lines.length && /^\s{2,}\S/.test(lines[i]) && !/^\s*[-*]\s/.test(lines[i])) text += ' ' + lines[i++].trim();
        inline(list.appendChild(document.createElement('li')), text);
      }
    } else if (!line.trim() || /^<\/?(details|summary)/.test(line.trim())) {
      i++;
    } else {
      const text = [];
      while (i < lines.length && lines[i].trim() && !/^(#|```|\||\s*[-*]\s)/.test(lines[i])) text.push(lines[i++].trim());
      add('p', text.join(' '));
    }
  }
}
