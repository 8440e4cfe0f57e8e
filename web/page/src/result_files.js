// The download buttons: the environment text, and the shown result (all
// of its rows) as CSV or environment text, both made by the module: the
// CSV is the converter's, so that reading it back gives the same kinds.
import { download } from './downloads.js';

const $ = (id) => document.getElementById(id);

export function setUpDownloads({ interpreter, environment, page }) {
  $('download-environment').addEventListener('click', () => download('environment.txt', environment.state.doc.toString()));
  const result = (format, extension) => () => {
    if (page.current === null) return;
    interpreter.request({ op: 'file', line: page.current, format }).then((answer) => {
      if (!answer.reply || answer.reply.error || typeof answer.reply.text !== 'string') return;
      download(answer.reply.name + extension, answer.reply.text, format === 'csv' ? 'text/csv;charset=utf-8' : undefined);
    });
  };
  $('download-csv').addEventListener('click', result('csv', '.csv'));
  $('download-result').addEventListener('click', result('environment', '.txt'));
}
