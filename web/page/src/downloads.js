// Files the page hands to the user: a result as CSV or as environment
// text, the environment, a session. Everything is made here; nothing is
// fetched.

export function download(name, text, type) {
  const url = URL.createObjectURL(new Blob([text], { type: type || 'text/plain;charset=utf-8' }));
  const link = document.createElement('a');
  link.href = url;
  link.download = name;
  document.body.append(link);
  link.click();
  link.remove();
  setTimeout(() => URL.revokeObjectURL(url), 10000);
}

// A string cell is written between apostrophes; CSV holds its characters.
function plain(cell, column) {
  return column.type !== 'int' && cell.length >= 2 && cell.startsWith("'") && cell.endsWith("'") ? cell.slice(1, -1) : cell;
}

function csvField(text) {
  return /[",\r\n]/.test(text) || /^\s|\s$/.test(text) ? '"' + text.replace(/"/g, '""') + '"' : text;
}

// A header of column names, then one line per row (RFC 4180).
export function resultCsv(result) {
  const lines = [result.columns.map((c) => csvField(c.name)).join(',')];
  for (const row of result.rows) lines.push(row.map((cell, i) => csvField(plain(cell, result.columns[i]))).join(','));
  return lines.join('\r\n') + '\r\n';
}

// The result as one relation of an environment; a result without a name
// (a product, say) is called Result, so that the file loads again.
export function resultEnvironment(result) {
  const schema = /^\(/.test(result.schema) ? 'Result' + result.schema : result.schema;
  return schema + '\n' + result.rows.map((row) => row.join(', ') + '\n').join('');
}

export function resultName(result) {
  const name = /^([A-Za-z_]\w*)\(/.exec(result.schema);
  return name ? name[1] : 'result';
}
