// The download buttons: the environment text, and the shown result (all
// of its rows, asked of the interpreter again) as CSV or environment text.
import { download, resultCsv, resultEnvironment, resultName } from './downloads.js';

const $ = (id) => document.getElementById(id);
const ALL_ROWS = 0xffffffff;

export function setUpDownloads({ interpreter, environment, page }) {
  $('download-environment').addEventListener('click', () => download('environment.txt', environment.state.doc.toString()));
  const result = (make, extension) => () => {
    if (page.current === null) return;
    interpreter.request({ op: 'run', line: page.current, textLimit: 0, rowLimit: ALL_ROWS }).then((answer) => {
      if (!answer.reply || !answer.reply.result) return;
      const whole = answer.reply.result;
      download(resultName(whole) + extension, make(whole), extension === '.csv' ? 'text/csv;charset=utf-8' : undefined);
    });
  };
  $('download-csv').addEventListener('click', result(resultCsv, '.csv'));
  $('download-result').addEventListener('click', result(resultEnvironment, '.txt'));
}
