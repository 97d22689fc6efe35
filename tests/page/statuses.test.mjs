import assert from 'node:assert/strict';
import { test } from 'node:test';

import {
  Trouble,
  accessibilityStatus,
  asTrouble,
  busyTexts,
  importStatus,
  stageTexts,
  unreadable,
  uploadRefused,
} from '../../panel/page/src/statuses.js';

test("each answer to a result says what became of it, from the panel's status token", () => {
  // [ok, token] -> [kind, title, start of the sentence, repair offered]
  const cases = [
    [true, '', 'ok', 'Applied', 'Your image was updated in the editor.', false],
    [true, 'accessibility', 'warn', 'Permission needed', 'Lumivo needs the accessibility', true],
    [
      true,
      'accessibility-stale',
      'warn',
      'Permission no longer active',
      'The accessibility permission Lumivo had',
      true,
    ],
    [true, 'host-gone', 'warn', 'Editor not found', 'The editor that sent this image', false],
    [
      true,
      'menu-missing',
      'warn',
      'Filter menu not found',
      'Lumivo couldn’t find its entry',
      false,
    ],
    [
      true,
      'filter-disabled',
      'warn',
      'Filter unavailable',
      'The editor has the Lumivo filter disabled',
      false,
    ],
    [true, 'press-failed', 'warn', 'Editor didn’t respond', 'The editor didn’t react', false],
    [true, 'timeout', 'warn', 'Still waiting for the editor', 'The editor hasn’t picked up', false],
    [true, 'new-token', 'warn', 'Result saved', 'The result is saved (new-token). Choose', false],
    [
      false,
      'host-changed',
      'warn',
      'Another editor window',
      'This result was made from an image in another',
      false,
    ],
    [false, 'frame-changed', 'warn', 'A new image arrived', 'The editor sent a new image', false],
    [
      false,
      'download-failed',
      'bad',
      'Your creation could not be fetched',
      'Lumivo couldn’t bring',
      false,
    ],
    [
      false,
      'write-failed',
      'bad',
      'Couldn’t hand the image over',
      'The edited image could not be saved',
      false,
    ],
    [
      false,
      '',
      'bad',
      'Couldn’t hand the image over',
      'The edited image could not be saved',
      false,
    ],
    [
      false,
      'host-gone',
      'bad',
      'Couldn’t hand the image over',
      'The edited image could not be saved',
      false,
    ],
    [true, 'constructor', 'warn', 'Result saved', 'The result is saved (constructor).', false],
    [false, '__proto__', 'bad', 'Couldn’t hand the image over', 'The edited image', false],
    ['true', '', 'bad', 'Couldn’t hand the image over', 'The edited image', false],
  ];
  for (const [ok, token, kind, title, start, repair] of cases) {
    const s = importStatus(ok, token);
    const name = ok + ' ' + token;
    assert.deepEqual([s.kind, s.title, s.repair], [kind, title, repair], name);
    assert.ok(s.text.startsWith(start), name + ': ' + s.text);
  }
});

test('each refused upload says why, from its HTTP status', () => {
  const cases = [
    [0, 'Lumivo couldn’t reach the storage service. (HTTP 0)'],
    [400, 'Storage found the upload link malformed. (HTTP 400)'],
    [403, 'Storage refused the upload: its signature did not match. (HTTP 403)'],
    [410, 'The upload link had expired. (HTTP 410)'],
    [413, 'The image is too large for the service. (HTTP 413)'],
    [500, 'Storage answered with an error. (HTTP 500)'],
  ];
  for (const [status, text] of cases) {
    const t = uploadRefused(status);
    assert.deepEqual([t.kind, t.title, t.text], ['upload', 'Upload refused', text], String(status));
  }
});

test('the accessibility answer says whether to go on or to allow it first', () => {
  assert.deepEqual(accessibilityStatus(true), {
    kind: 'ok',
    title: 'Permission granted',
    text: 'Lumivo may now run the filter for you. Apply again whenever you are ready.',
    repair: false,
  });
  for (const granted of [false, 'true', undefined]) {
    const s = accessibilityStatus(granted);
    assert.deepEqual([s.kind, s.title, s.repair], ['warn', 'Permission not granted yet', true]);
  }
});

test('anything thrown reaches the user as a sentence', () => {
  const cases = [
    [new Trouble('upload', 'Upload refused', 'x'), ['upload', 'Upload refused', 'x']],
    [new TypeError('a is undefined'), ['error', 'Something went wrong', 'a is undefined']],
    ['plain text', ['error', 'Something went wrong', 'plain text']],
    [null, ['error', 'Something went wrong', 'null']],
  ];
  for (const [thrown, expected] of cases) {
    const t = asTrouble(thrown);
    assert.deepEqual([t.kind, t.title, t.text], expected);
  }
  assert.equal(
    stageTexts.failed(unreadable('The panel did not answer.')),
    'The image could not be loaded: The panel did not answer.',
  );
  assert.equal(stageTexts.failed(new Error('x')), 'The image could not be read.');
  assert.equal(busyTexts.progress('Sketch', 0.426), 'Sketch: 43%');
});
