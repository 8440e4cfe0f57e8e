// The help dialog: the syntax at a glance, the sample queries of the
// loaded example, and the manual.
import { renderMarkdown } from './markdown.js';

const $ = (id) => document.getElementById(id);

export function setUpHelp() {
  const dialog = $('help');
  let rendered = false;
  // The manual is read only when help is first opened.
  const manual = () => new Promise((resolve) => {
    if (self.QORVANTEL_MANUAL !== undefined) { resolve(); return; }
    const script = Object.assign(document.createElement('script'), { src: 'manual.js' });
    script.onload = script.onerror = resolve;
    document.head.append(script);
  });
  $('help-open').addEventListener('click', () => {
    dialog.showModal();
    $('help-close').focus();
    if (!rendered) {
      rendered = true;
      manual().then(() => renderMarkdown($('manual'), self.QORVANTEL_MANUAL || 'The manual could not be read.'));
    }
  });
  $('help-close').addEventListener('click', () => dialog.close());
  dialog.addEventListener('close', () => $('help-open').focus());
}

// Lists the example's queries, each with a button that runs it.
export function showSamples(example, use) {
  const list = $('samples');
  list.replaceChildren();
  const queries = example ? example.queries : [];
  if (!queries.length) {
    list.append(Object.assign(document.createElement('li'), { textContent: 'Choose an example to see its sample queries.' }));
    return;
  }
  for (const query of queries) {
    const item = document.createElement('li');
    const button = Object.assign(document.createElement('button'), { type: 'button', className: 'secondary small', textContent: 'Run' });
    button.setAttribute('aria-label', 'Run ' + query);
    button.addEventListener('click', () => { $('help').close(); use(query); });
    item.append(button, ' ', Object.assign(document.createElement('code'), { textContent: query }));
    list.append(item);
  }
}
