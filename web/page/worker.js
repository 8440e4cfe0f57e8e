// Runs the interpreter off the page's thread, so that a long evaluation
// leaves the page responsive and can be stopped by ending the worker.
// The module takes and returns bytes as one character per byte; text
// crosses as UTF-8.
'use strict';
importScripts('qorvantel.js');

const encoder = new TextEncoder();
const decoder = new TextDecoder('utf-8');

function toBytes(text) {
  const bytes = encoder.encode(text);
  let binary = '';
  for (let i = 0; i < bytes.length; i += 8192)
    binary += String.fromCharCode.apply(null, bytes.subarray(i, i + 8192));
  return binary;
}

// A file is read here rather than on the page's thread; its bytes are
// already what the module takes.
function fileBytes(blob) {
  const bytes = new Uint8Array(new FileReaderSync().readAsArrayBuffer(blob));
  let binary = '';
  for (let i = 0; i < bytes.length; i += 8192)
    binary += String.fromCharCode.apply(null, bytes.subarray(i, i + 8192));
  return binary;
}

function fromBytes(binary) {
  const bytes = new Uint8Array(binary.length);
  for (let i = 0; i < binary.length; ++i) bytes[i] = binary.charCodeAt(i);
  return decoder.decode(bytes);
}

let module = null;
const queue = [];

function answer(request) {
  const { id, op } = request;
  try {
    if (op === 'load') {
      const content = request.file ? fileBytes(request.file) : toBytes(request.text);
      const message = fromBytes(module.loadEnvironment(content));
      const loaded = JSON.parse(fromBytes(module.environmentJson()));
      postMessage({ id, message, relations: loaded.relations, place: loaded });
    } else if (op === 'exercises') {
      postMessage({ id, reply: JSON.parse(fromBytes(module.exercisesJson(toBytes(request.name), toBytes(request.text)))) });
    } else if (op === 'check') {
      const report = module.checkAnswer(toBytes(request.environment), toBytes(request.references.join('\0')),
                                        toBytes(request.answer), !!request.strictNames,
                                        toBytes(request.forbidden.join('\0')), toBytes(request.constraints || ''));
      postMessage({ id, reply: JSON.parse(fromBytes(report)) });
    } else if (op === 'csv') {
      const converted = module.csvToEnvironment(toBytes(request.file.name), fileBytes(request.file));
      postMessage({ id, reply: JSON.parse(fromBytes(converted)) });
    } else if (op === 'file') {
      postMessage({ id, reply: JSON.parse(fromBytes(module.resultFile(toBytes(request.line), request.format))) });
    } else if (op === 'complete') {
      postMessage({ id, reply: JSON.parse(fromBytes(module.completions(toBytes(request.before), toBytes(request.prefix)))) });
    } else if (op === 'run') {
      const reply = JSON.parse(fromBytes(module.runJson(toBytes(request.line), request.textLimit, request.rowLimit)));
      postMessage({ id, reply });
    }
  } catch (error) {
    // A trap or an exhausted call stack leaves the module unusable: the
    // page replaces this worker.
    postMessage({ id, crashed: String(error && error.message || error) });
  }
}

onmessage = (event) => {
  if (module) answer(event.data);
  else queue.push(event.data);
};

createQorvantel().then((ready) => {
  module = ready;
  postMessage({ ready: true, version: module.version(), words: JSON.parse(fromBytes(module.wordsJson())) });
  while (queue.length) answer(queue.shift());
}, (error) => postMessage({ failed: String(error) }));
