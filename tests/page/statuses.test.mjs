import assert from 'node:assert/strict';
import { test } from 'node:test';

import {
  Trouble,
  accessibilityStatus,
  applying,
  asTrouble,
  busyTexts,
  choiceStatus,
  creationForEarlierPicture,
  creationReady,
  editorClosed,
  effectWorking,
  importStatus,
  pictureReceived,
  stageTexts,
  unreadable,
  uploadRefused,
} from '../../panel/page/src/statuses.js';

const GIMP2 = 'org.gimp.GIMP';
const GIMP3 = 'org.gimp.GIMP3';
const DEMO = 'com.lumivo.demo-host';
const MENU = 'Filters ▸ Lumivo';
const show = (s) => [s.kind, s.title, s.text, s.repair];

// Every status the page can show, word for word: the end-to-end tests read the same words, and
// each names the editor's real menu path.
test('every status says what happened, in the words of the editor it speaks of', () => {
  const applied = (name) =>
    'The result is in your picture in ' +
    name +
    ', as one step you can undo there. After an undo or other edits in ' +
    name +
    ', run ' +
    MENU +
    ' to bring the picture here again.';
  const cases = [
    [
      pictureReceived(GIMP2),
      'info',
      'Picture received',
      'Your picture from GIMP is here. Choose a look or an effect, then press Apply to image.',
    ],
    [
      pictureReceived('com.example.other', 'Remove background'),
      'info',
      'Picture received',
      'Your picture from your editor is here. The Remove background creation was made from the picture before, so it is set aside: choose Remove background again to make one for this picture.',
    ],
    [
      choiceStatus(DEMO, { look: 'Invert' }),
      'info',
      'Invert chosen',
      'The preview shows Invert. Press Apply to image to put it into your picture in the demo editor.',
    ],
    [
      choiceStatus(GIMP3, {}),
      'info',
      'Original',
      'The preview shows your picture without a look. Choose a look or an effect to change it in GIMP.',
    ],
    [
      choiceStatus(DEMO, { effect: 'Remove background' }),
      'info',
      'Remove background chosen',
      'Press Apply to image to send your picture to the Lumivo service for Remove background.',
    ],
    [
      applying(DEMO),
      'info',
      'Applying',
      'Lumivo is choosing ' +
        MENU +
        ' in the demo editor for you; your picture changes in a moment.',
    ],
    [
      effectWorking('Remove background'),
      'info',
      'Working on Remove background',
      'Your picture goes to the Lumivo service, which makes your creation; the bar above shows how far it is.',
    ],
    [importStatus(true, '', GIMP2), 'ok', 'Applied', applied('GIMP')],
    [importStatus(true, '', undefined), 'ok', 'Applied', applied('your editor')],
    [
      editorClosed(DEMO, 60),
      'warn',
      'Editor closed',
      'The demo editor has quit, so its picture is gone from here too. This panel closes in a minute unless you are in the middle of something here; run ' +
        MENU +
        ' in your editor to bring a picture in again.',
    ],
    [
      editorClosed('', 90),
      'warn',
      'Editor closed',
      'Your editor has quit, so its picture is gone from here too. This panel closes in 90 seconds unless you are in the middle of something here; run ' +
        MENU +
        ' in your editor to bring a picture in again.',
    ],
    [
      editorClosed(GIMP3, 'x'),
      'warn',
      'Editor closed',
      'GIMP has quit, so its picture is gone from here too. This panel closes soon unless you are in the middle of something here; run ' +
        MENU +
        ' in your editor to bring a picture in again.',
    ],
    [
      creationReady('Remove background'),
      'ok',
      'Your creation is ready',
      'Remove background is done. Press Apply result or click the notification to put it into your picture.',
    ],
    [
      creationForEarlierPicture('Remove background'),
      'warn',
      'Your creation is set aside',
      'Remove background is done, but it was made from the picture before the one shown now. Choose Remove background again to make one for this picture.',
    ],
  ];
  for (const [status, kind, title, text] of cases) {
    assert.deepEqual(show(status), [kind, title, text, false], title);
  }
});

// ok true: the result file was written; a token says why it waits in the spool.
test('each answer to a result says why it waits, and the one thing to do in that editor', () => {
  const saved = 'Your result is saved: choose ' + MENU;
  const cases = [
    [
      'accessibility',
      DEMO,
      'warn',
      'Permission needed',
      'Lumivo chooses ' +
        MENU +
        ' for you through the desktop’s assistive technology, which is off. Press “Fix accessibility permission” below to switch it on. ' +
        saved +
        ' in the demo editor to apply it now.',
      true,
    ],
    [
      'accessibility-stale',
      GIMP2,
      'warn',
      'Permission no longer active',
      'The desktop’s assistive technology, through which Lumivo chooses ' +
        MENU +
        ' for you, was switched off. Press “Fix accessibility permission” below to switch it on again. ' +
        saved +
        ' in GIMP to apply it now.',
      true,
    ],
    [
      'host-gone',
      GIMP3,
      'warn',
      'Editor not found',
      'The editor that sent this picture is not running any more. Your result is saved: open the same picture again and run ' +
        MENU +
        ' within 15 minutes to apply it.',
      false,
    ],
    // GIMP 2.10 is on the bus only with its accessibility module: the one thing to do.
    [
      'menu-missing',
      GIMP2,
      'warn',
      'GIMP can’t be reached',
      'GIMP 2.10 is not on the accessibility bus, so Lumivo can’t choose ' +
        MENU +
        ' for you. ' +
        saved +
        ' in GIMP to apply it now. For next time, log out and back in once after installing Lumivo, or start GIMP as GTK_MODULES=gail:atk-bridge gimp.',
      false,
    ],
    [
      'menu-missing',
      GIMP3,
      'warn',
      'Filter menu not found',
      'Lumivo couldn’t find ' +
        MENU +
        ' in the menus of GIMP. ' +
        saved +
        ' there by hand to apply it.',
      false,
    ],
    [
      'filter-disabled',
      DEMO,
      'warn',
      'Filter unavailable',
      'The demo editor has ' +
        MENU +
        ' greyed out right now (an 8-bit RGB picture must be open and in front). ' +
        saved +
        ' once it is available.',
      false,
    ],
    [
      'press-failed',
      'com.example.other',
      'warn',
      'Editor didn’t respond',
      'Your editor didn’t react when Lumivo chose ' +
        MENU +
        '. ' +
        saved +
        ' there by hand to apply it.',
      false,
    ],
    [
      'timeout',
      GIMP2,
      'warn',
      'Still waiting for the editor',
      'GIMP hasn’t taken the result yet. If your picture doesn’t change, choose ' +
        MENU +
        ' there by hand.',
      false,
    ],
    [
      'other-picture',
      GIMP2,
      'warn',
      'Another picture in front',
      'The picture in GIMP is not the one this result was made from (another image, or an undo or other edits since), so the editor left it unchanged and sent it here instead. Choose a look and apply it to this picture; your result waits for the one it was made from.',
      false,
    ],
    [
      'new-token',
      DEMO,
      'warn',
      'Result saved',
      'The result is saved (new-token). Choose ' + MENU + ' in the demo editor to apply it.',
      false,
    ],
    [
      'constructor',
      '__proto__',
      'warn',
      'Result saved',
      'The result is saved (constructor). Choose ' + MENU + ' in your editor to apply it.',
      false,
    ],
  ];
  for (const [token, editor, kind, title, text, repair] of cases) {
    assert.deepEqual(show(importStatus(true, token, editor)), [kind, title, text, repair], token);
  }
});

// ok false: nothing was written, and the token says why when it can.
test('each refused result says that nothing was written, and why', () => {
  const notSaved = [
    'bad',
    'Couldn’t hand the picture over',
    'The edited picture could not be saved for the editor. Please try again.',
    false,
  ];
  const cases = [
    [
      'host-changed',
      [
        'warn',
        'Another editor window',
        'This result was made from a picture in another editor window than the one in front now, so nothing was written. Run ' +
          MENU +
          ' again in the window you want to change.',
        false,
      ],
    ],
    [
      'frame-changed',
      [
        'warn',
        'A new picture arrived',
        'The demo editor sent a new picture while this one was being applied, so nothing was written. Look at the new picture and apply again.',
        false,
      ],
    ],
    [
      'download-failed',
      [
        'bad',
        'Your creation could not be fetched',
        'Lumivo couldn’t bring your creation in from the service, so nothing was written. Check your connection and apply it again.',
        false,
      ],
    ],
    ['', notSaved],
    ['host-gone', notSaved],
    ['__proto__', notSaved],
  ];
  for (const [token, expected] of cases) {
    assert.deepEqual(show(importStatus(false, token, DEMO)), expected, token);
  }
  assert.deepEqual(show(importStatus('true', '', DEMO)), notSaved, 'ok must be true itself');
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
  assert.deepEqual(show(accessibilityStatus(true)), [
    'ok',
    'Permission granted',
    'Lumivo may now choose ' + MENU + ' for you. Apply again whenever you are ready.',
    false,
  ]);
  for (const granted of [false, 'true', undefined]) {
    assert.deepEqual(show(accessibilityStatus(granted)), [
      'warn',
      'Permission not granted yet',
      'Assistive technology is still off, so Lumivo can’t choose ' +
        MENU +
        ' for you. Press the button again to switch it on, or switch it on in your desktop’s accessibility settings.',
      true,
    ]);
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
  assert.equal(stageTexts.noFrame, 'Run ' + MENU + ' in your editor to start.');
  assert.equal(busyTexts.progress('Sketch', 0.426), 'Sketch: 43%');
});
