// Reads an ADIF file with an ADIF library that is not ours and prints what it found as JSON:
// { "header": {field: value, ...}, "records": [{field: value, ...}, ...] }, field names in
// lower case. The file is 8-bit text: read as Latin-1 so every byte is one character.
//   node read_adif.js FILE.adi
'use strict';
const fs = require('fs');
const { AdifParser } = require('adif-parser-ts');

const text = fs.readFileSync(process.argv[2], 'latin1');
const parsed = AdifParser.parseAdi(text);
process.stdout.write(JSON.stringify({ header: parsed.header || {}, records: parsed.records || [] }) + '\n');
