import assert from 'node:assert/strict';
import { test } from 'node:test';

import { SCRIPT_TAG, STYLES_LINK, assemblePage } from '../../panel/page/assemble.mjs';

const MARKUP = '<head>\n' + STYLES_LINK + '\n</head>\n<body>\n' + SCRIPT_TAG + '\n</body>\n';

test('the styles and the script are written into the markup in place of their tags', () => {
  const page = assemblePage(MARKUP, 'a { b: c }\n', '(() => { go(); })();\n');
  assert.equal(
    page,
    '<head>\n<style>\na { b: c }\n</style>\n</head>\n<body>\n' +
      "<script>\n'use strict';\n(() => { go(); })();\n</script>\n</body>\n",
  );
});

test('parts that would break the page are refused', () => {
  const cases = [
    ['markup without the script tag', MARKUP.replace(SCRIPT_TAG, ''), '', ''],
    ['markup with the styles twice', MARKUP + STYLES_LINK, '', ''],
    ['a script that ends its element', MARKUP, '', 'x = "</script>";'],
    ['a script that ends it in capitals', MARKUP, '', 'x = "</SCRIPT ";'],
    ['a script that opens a comment', MARKUP, '', 'x = "<!--";'],
    ['styles that end their element', MARKUP, 'a::after { content: "</style>" }', ''],
  ];
  for (const [name, markup, styles, script] of cases) {
    assert.throws(() => assemblePage(markup, styles, script), Error, name);
  }
});
