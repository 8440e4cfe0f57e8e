// Replays console sessions through the WebAssembly module: for each case
// the environment is loaded, then every line is answered, and the whole
// transcript the console would write is recorded.
// usage: node --no-experimental-fetch replay.cjs MODULE.js CASES.json OUT.json
// Strings in the JSON files are bytes, one character per byte.
'use strict';
const fs = require('fs');
const [modulePath, casesPath, outPath] = process.argv.slice(2);
const cases = JSON.parse(fs.readFileSync(casesPath, 'latin1'));

require(require('path').resolve(modulePath))().then((module) => {
  const transcripts = cases.map(({ environment, console: typed }) => {
    const failure = module.loadEnvironment(environment);
    if (failure) return failure;
    // The console reads lines as std::getline does: a final line without
    // a newline still counts, an empty remainder does not.
    const lines = typed.split('\n');
    if (lines[lines.length - 1] === '') lines.pop();
    let transcript = '';
    for (const line of lines) {
      // The page's reply, evaluated node by node for the tree, must carry
      // the same text; a difference spoils the transcript visibly.
      const answer = module.consoleLine(line);
      const page = JSON.parse(module.runJson(line, 1 << 30, 0)).text;
      transcript += '$' + (page === answer ? answer : '[page: ' + page + ']');
    }
    return transcript + '$\n';
  });
  fs.writeFileSync(outPath, JSON.stringify(transcripts), 'latin1');
});
