// The npm qrcode package's segmentation of the corpus: for every record and level, the version
// QRCode.create chooses and the bits of its segments (mode indicator, count field and data).
//
// Usage: node npm_segments.js QRCODE_PACKAGE_DIR < corpus.jsonl > npm.tsv
// Japanese records (sjis) are given the package's Shift JIS helper, so that it writes Kanji mode
// where it can; every other record is written as the package writes strings (byte mode in UTF-8).
'use strict';

const path = require('path');
const readline = require('readline');

const packageDir = process.argv[2];
const QRCode = require(packageDir);
const toSJIS = require(path.join(packageDir, 'helper', 'to-sjis'));
const Mode = require(path.join(packageDir, 'lib', 'core', 'mode'));

const levels = ['L', 'M', 'Q', 'H'];
const lines = [];
readline.createInterface({ input: process.stdin }).on('line', (line) => lines.push(line)).on('close', () => {
  const out = ['category\tlevel\tnpm_version\tnpm_bits'];
  for (const line of lines) {
    const record = JSON.parse(line);
    for (const level of levels) {
      let version = 0;
      let bits = 0;
      try {
        const options = { errorCorrectionLevel: level };
        if (record.sjis) options.toSJISFunc = toSJIS;
        const symbol = QRCode.create(record.text, options);
        version = symbol.version;
        for (const segment of symbol.segments) {
          bits += 4 + Mode.getCharCountIndicator(segment.mode, version) + segment.getBitsLength();
        }
      } catch (error) {
        version = 0;  // the data fits no version
      }
      out.push(`${record.category}\t${level}\t${version}\t${bits}`);
    }
  }
  process.stdout.write(out.join('\n') + '\n');
});
