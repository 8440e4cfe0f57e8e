// Draws the checker's tables as the module gives them (the check reply's
// "tables"): relations with their columns and their rows of fields as the
// console writes them ('Bob' with its quotes, 42 in digits), and a result
// that failed as its message. Nothing here reads console text.

const rowsWord = (n) => n + (n === 1 ? ' row' : ' rows');

// relations: [{ schema, columns: [{ name, type }], count, rows: [[field]] }],
// or { error } for a result that failed; none is shown as (nothing). A
// relation cut by the module (count above its rows) says how many rows
// more, as the report's text does.
export function tablesElement(relations) {
  const box = document.createElement('div');
  box.className = 'check-tables';
  if (!Array.isArray(relations) || !relations.length) {
    const pre = document.createElement('pre');
    pre.className = 'console';
    pre.textContent = (relations && typeof relations.error === 'string' && relations.error.trim()) || '(nothing)';
    box.append(pre);
    return box;
  }
  for (const relation of relations) {
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
      row.forEach((field, i) => {
        const td = tr.insertCell();
        td.textContent = field;
        if (relation.columns[i] && relation.columns[i].type === 'int') td.className = 'number';
      });
    }
    if (!relation.rows.length) {
      const td = body.insertRow().insertCell();
      td.colSpan = Math.max(1, relation.columns.length);
      td.className = 'empty';
      td.textContent = 'no rows';
    }
    box.append(table);
    if (relation.count > relation.rows.length) {
      box.append(Object.assign(document.createElement('p'), {
        className: 'check-cut',
        textContent: `... and ${rowsWord(relation.count - relation.rows.length)} more, ${relation.count} in all`,
      }));
    }
  }
  return box;
}
