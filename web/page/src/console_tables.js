// Reads the console's text of relations (a schema line, a row per line, an
// empty line after each) back into tables for showing. Text that is not
// relations (an error message) is returned as { text }.

const SCHEMA = /^([A-Za-z_]\w*)\((.*)\)$/;

// A row's values: integers, and strings between apostrophes (which never
// hold an apostrophe themselves).
function splitRow(line) {
  const values = [];
  let at = 0;
  while (at < line.length) {
    while (line[at] === ' ') at++;
    let end;
    if (line[at] === "'") {
      end = line.indexOf("'", at + 1);
      if (end < 0) return null;
      values.push(line.slice(at + 1, end));
      end++;
    } else {
      end = line.indexOf(',', at);
      if (end < 0) end = line.length;
      values.push(line.slice(at, end).trim());
    }
    at = end;
    while (line[at] === ' ') at++;
    if (at < line.length && line[at++] !== ',') return null;
  }
  return values;
}

function columnsOf(list) {
  return list.split(',').map((c) => c.trim()).filter(Boolean).map((c) => {
    const space = c.indexOf(' ');
    return { name: c.slice(0, space), type: c.slice(space + 1).replace(/\s+/g, '') };
  });
}

// [{ name, schema, columns: [{ name, type }], rows: [[text]] }] or { text }.
export function consoleTables(text) {
  const tables = [];
  let table = null;
  for (const line of text.split('\n')) {
    if (!table) {
      if (line === '') continue;
      const match = SCHEMA.exec(line);
      if (!match || !match[2].includes(' ')) return { text };
      table = { name: match[1], schema: line, columns: columnsOf(match[2]), rows: [] };
      tables.push(table);
    } else if (line === '') {
      table = null;
    } else {
      const row = splitRow(line);
      if (!row || row.length !== table.columns.length) return { text };
      table.rows.push(row);
    }
  }
  return tables.length ? tables : { text };
}

// The tables of a text as elements, or the text itself when it holds none.
export function tablesElement(text) {
  const box = document.createElement('div');
  box.className = 'check-tables';
  const read = consoleTables(text);
  if (!Array.isArray(read)) {
    const pre = document.createElement('pre');
    pre.className = 'console';
    pre.textContent = read.text.trim() || '(nothing)';
    box.append(pre);
    return box;
  }
  for (const relation of read) {
    const table = document.createElement('table');
    table.createCaption().textContent = relation.schema;
    const head = table.createTHead().insertRow();
    for (const column of relation.columns) {
      const th = document.createElement('th');
      th.scope = 'col';
      th.textContent = column.name;
      head.append(th);
    }
    const body = table.createTBody();
    for (const row of relation.rows) {
      const tr = body.insertRow();
      row.forEach((cell, i) => {
        const td = tr.insertCell();
        td.textContent = cell;
        if (relation.columns[i].type === 'int') td.className = 'number';
      });
    }
    if (!relation.rows.length) {
      const td = body.insertRow().insertCell();
      td.colSpan = Math.max(1, relation.columns.length);
      td.className = 'empty';
      td.textContent = 'no rows';
    }
    box.append(table);
  }
  return box;
}
