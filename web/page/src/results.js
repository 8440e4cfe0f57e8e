// The answer to a run: the error with its hint, the result as a table or
// as the console's text, and the formula in textbook notation (the
// module's pieces: text, and subscripts as nested pieces).
import { rowsText } from './tree.js';

// Adds pieces to an element as text and <sub> elements, never as markup.
export function renderPieces(parent, parts) {
  for (const part of parts || []) {
    if (typeof part === 'string') parent.append(part);
    else if (part && Array.isArray(part.sub)) {
      const sub = document.createElement('sub');
      renderPieces(sub, part.sub);
      parent.append(sub);
    }
  }
}

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

export function showFormula(notation) {
  const box = $('formula-box');
  box.hidden = !notation;
  $('formula').replaceChildren();
  $('latex-status').textContent = '';
  if (notation) renderPieces($('formula'), notation.formula);
}

// Clears every trace of the previous answer.
export function clearAnswer() {
  showError('');
  $('slip').hidden = true;
  $('result-heading').hidden = true;
  showTable(null);
  $('text').textContent = '';
  showTextOrTable(false);
  showFormula(null);
  $('download-csv').disabled = true;
  $('download-result').disabled = true;
}

export function showAnswer(reply, textLimit) {
  showError(reply.error || '');
  if (!reply.error) $('slip').hidden = true;
  showTable(reply.result || null);
  let text = reply.text;
  if (reply.text_bytes > textLimit) text += '\n… ' + (reply.text_bytes - textLimit) + ' more bytes not shown';
  $('text').textContent = text;
  showTextOrTable(Boolean(reply.result), Boolean(reply.error));
  $('download-csv').disabled = !reply.result;
  $('download-result').disabled = !reply.result;
}

// Beside the console's message (which stays as it is): where reading
// stopped, when the module reports it, and the module's hint for a common
// slip.
export function showSlip(reply, furthest) {
  const place = furthest ? `Reading stopped at line ${furthest.line}, column ${furthest.column}.` : '';
  const hint = reply.error && reply.hint ? reply.hint : '';
  $('slip').hidden = !reply.error || (!place && !hint);
  $('slip-place').textContent = reply.error ? place : '';
  $('slip-place').hidden = !place;
  $('slip-hint').textContent = hint;
  $('slip-hint').hidden = !hint;
  if (reply.slip) $('slip').dataset.slip = reply.slip;
  else delete $('slip').dataset.slip;
}

// The heading over the table: which node's rows it shows, and the way back
// to the whole query (null line: the whole query is shown).
export function showHeading(line, whole) {
  $('result-heading').hidden = whole === undefined || whole === null;
  $('result-title').textContent = line === null ? 'Rows of the whole query' : 'Rows of ' + line;
  $('whole-query').hidden = line === null;
}
