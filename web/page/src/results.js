// The answer to a run: the error, the result as a table or as the
// console's text, and the formula in textbook notation.
import { rowsText } from './tree.js';
import { formulaPieces, renderPieces } from './notation.js';

const $ = (id) => document.getElementById(id);

export function showTable(result) {
  const box = $('table-box');
  box.replaceChildren();
  if (!result) { $('count').textContent = ''; return; }
  const shown = result.rows.length;
  $('count').textContent = rowsText(result.count) + (shown < result.count ? ' (the first ' + shown + ' shown)' : '');
  const table = document.createElement('table');
  table.createCaption().textContent = result.schema;
  const head = table.createTHead().insertRow();
  const numeric = result.columns.map((c) => c.type === 'int');
  for (const column of result.columns) {
    const th = document.createElement('th');
    th.scope = 'col';
    const type = document.createElement('span');
    type.className = 'type';
    type.textContent = column.type;
    th.append(column.name, type);
    head.append(th);
  }
  const body = table.createTBody();
  // Rows are laid out a batch at a time, the next batch when the reader
  // scrolls near the end: a thousand rows at once hold the page up.
  let next = 0;
  const more = () => {
    const end = Math.min(result.rows.length, next + BATCH);
    for (; next < end; ++next) {
      const tr = body.insertRow();
      result.rows[next].forEach((cell, i) => {
        const td = tr.insertCell();
        td.textContent = cell;
        if (numeric[i]) td.className = 'number';
      });
    }
  };
  more();
  box.onscroll = () => {
    if (next < result.rows.length && box.scrollTop + box.clientHeight > box.scrollHeight - 200) more();
  };
  box.append(table);
}

const BATCH = 100;

// The console text is shown when asked for, and when there is nothing
// else to show (an empty line: the whole environment); the box's tick is
// the user's alone.
export function showTextOrTable(hasTable, failed) {
  const asText = $('show-text').checked || (!hasTable && !failed);
  $('text').hidden = !asText || !$('text').textContent;
  $('table-box').hidden = asText;
}

export function showError(message) {
  $('error').hidden = !message;
  $('error').textContent = message || '';
}

export function showFormula(tree) {
  const box = $('formula-box');
  box.hidden = !tree;
  $('formula').replaceChildren();
  $('latex-status').textContent = '';
  if (tree) renderPieces($('formula'), formulaPieces(tree));
}

// Clears every trace of the previous answer.
export function clearAnswer() {
  showError('');
  showTable(null);
  $('text').textContent = '';
  showTextOrTable(false);
  showFormula(null);
  $('download-csv').disabled = true;
  $('download-result').disabled = true;
}

export function showAnswer(reply, textLimit) {
  showError(reply.error || '');
  showTable(reply.result || null);
  let text = reply.text;
  if (reply.text_bytes > textLimit) text += '\n… ' + (reply.text_bytes - textLimit) + ' more bytes not shown';
  $('text').textContent = text;
  showTextOrTable(Boolean(reply.result), Boolean(reply.error));
  $('download-csv').disabled = !reply.result;
  $('download-result').disabled = !reply.result;
}
