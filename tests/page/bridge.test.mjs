import assert from 'node:assert/strict';
import { test } from 'node:test';

import {
  authAnswer,
  createBridge,
  lanesAnswer,
  uploadAnswer,
} from '../../panel/page/src/bridge.js';

function recordingBridge() {
  const posted = [];
  const bridge = createBridge({
    channel: () => ({ postMessage: (m) => posted.push(m) }),
    now: () => 35,
  });
  return { bridge, posted };
}

// Which requests a promise settled with, after everything queued has run.
async function settled(promises) {
  const seen = promises.map(() => 'pending');
  promises.forEach((p, i) => p.then((v) => (seen[i] = v)));
  await new Promise((resolve) => setImmediate(resolve));
  return seen;
}

test('a request is posted with its type, a fresh ack id and its fields', () => {
  const { bridge, posted } = recordingBridge();
  bridge.request('auth-refresh', {});
  bridge.request('upload-frame', { url: 'u', frame: 3 }, 'upload');
  assert.deepEqual(posted, [
    { type: 'auth-refresh', ackId: 'auth-refresh-z-1' },
    { type: 'upload-frame', ackId: 'upload-z-2', url: 'u', frame: 3 },
  ]);
});

test('answers reach the request with their ack id, once each', async () => {
  const cases = [
    {
      name: 'answered in the order asked',
      answers: [
        ['a-z-1', 'first'],
        ['a-z-2', 'second'],
      ],
      expected: ['first', 'second'],
    },
    {
      name: 'answered the other way round',
      answers: [
        ['a-z-2', 'second'],
        ['a-z-1', 'first'],
      ],
      expected: ['first', 'second'],
    },
    {
      name: 'an id nobody asked with is dropped',
      answers: [
        ['a-z-9', 'stray'],
        ['', 'empty'],
        ['a-z-1', 'first'],
      ],
      expected: ['first', 'pending'],
    },
    {
      name: 'a second answer for one id is dropped',
      answers: [
        ['a-z-1', 'first'],
        ['a-z-1', 'again'],
      ],
      expected: ['first', 'pending'],
    },
    { name: 'no answer leaves the request waiting', answers: [], expected: ['pending', 'pending'] },
  ];
  for (const { name, answers, expected } of cases) {
    const { bridge } = recordingBridge();
    const requests = [bridge.request('x', {}, 'a'), bridge.request('x', {}, 'a')];
    for (const [id, value] of answers) bridge.answer(id, value);
    assert.deepEqual(await settled(requests), expected, name);
  }
});

test("the panel's answers are read as whatever it sent", () => {
  const cases = [
    [uploadAnswer(true, 200), { ok: true, status: 200 }],
    [uploadAnswer(false, 403), { ok: false, status: 403 }],
    [uploadAnswer('true', '413'), { ok: false, status: 413 }],
    [uploadAnswer(true, 'none'), { ok: true, status: 0 }],
    [authAnswer(true, '{"accessToken":"a"}'), { ok: true, text: '{"accessToken":"a"}' }],
    [authAnswer(1, { text: 'x' }), { ok: false, text: '' }],
    [lanesAnswer(null), { base: '' }],
  ];
  for (const [got, expected] of cases) assert.deepEqual(got, expected);
});
