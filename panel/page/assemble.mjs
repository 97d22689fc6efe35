// Assembles the one page the panel ships: the markup of index.html with its style sheet and its
// bundled script (esbuild's output of src/main.js) written into it. The panel loads the page as
// a string with the service's origin, so the page can't load sibling files.
//
// usage: node assemble.mjs index.html styles.css page.js out.html

import { readFileSync, renameSync, writeFileSync } from 'node:fs';
import { fileURLToPath } from 'node:url';

// Where the sources stand in the markup: the lines that load them in a browser during work on
// the page.
export const STYLES_LINK = '<link rel="stylesheet" href="styles.css">';
export const SCRIPT_TAG = '<script type="module" src="src/main.js"></script>';

// Text that would end or unsettle the element it is written into.
const ENDS_STYLE = /<\/style/i;
const ENDS_SCRIPT = /<\/script|<!--/i;

function replaceOnce(text, marker, replacement) {
  const at = text.indexOf(marker);
  if (at < 0 || text.indexOf(marker, at + 1) >= 0) {
    throw new Error('the markup must hold ' + marker + ' exactly once');
  }
  return text.slice(0, at) + replacement + text.slice(at + marker.length);
}

// The page, or an Error that says what is wrong with the parts.
export function assemblePage(markup, styles, script) {
  if (ENDS_STYLE.test(styles)) throw new Error('the styles hold </style');
  if (ENDS_SCRIPT.test(script)) throw new Error('the script holds </script or <!--');
  // Strict, as the modules it was bundled from are.
  const page = replaceOnce(markup, STYLES_LINK, '<style>\n' + styles + '</style>');
  return replaceOnce(page, SCRIPT_TAG, "<script>\n'use strict';\n" + script + '</script>');
}

if (process.argv[1] === fileURLToPath(import.meta.url)) {
  const [markup, styles, script, out] = process.argv.slice(2);
  if (!out) {
    console.error('usage: node assemble.mjs index.html styles.css page.js out.html');
    process.exit(2);
  }
  try {
    const read = (path) => readFileSync(path, 'utf8');
    const page = assemblePage(read(markup), read(styles), read(script));
    // Written whole or not at all: a build stopped halfway leaves no half page in the bundle.
    writeFileSync(out + '.part', page);
    renameSync(out + '.part', out);
  } catch (e) {
    console.error('assemble: ' + e.message);
    process.exit(1);
  }
}
