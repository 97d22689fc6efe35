import assert from 'node:assert/strict';
import { test } from 'node:test';

import {
  MAX_SIDE,
  createLanes,
  previewSize,
  stageBox,
  tileCrop,
} from '../../panel/page/src/lanes.js';
import { Trouble } from '../../panel/page/src/statuses.js';
import { fakeFetch, fakePanel, response } from './fakes.mjs';

test('the preview is asked for in whole pixels, 1 to MAX_SIDE a side', () => {
  const cases = [
    [
      [876, 562],
      [876, 562],
    ],
    [
      [875.5, 561.4],
      [876, 561],
    ],
    [
      [0, -3],
      [1, 1],
    ],
    [
      [0.4, 0.6],
      [1, 1],
    ],
    [
      [MAX_SIDE + 0.4, 20000],
      [MAX_SIDE, MAX_SIDE],
    ],
  ];
  for (const [[w, h], [width, height]] of cases) {
    assert.deepEqual(previewSize(w, h), { width, height }, w + 'x' + h);
  }
});

test("the stage's box is its inside in device pixels, never empty", () => {
  const cases = [
    { client: [440, 300, 1], box: { width: 438, height: 298 } },
    { client: [440, 300, 2], box: { width: 876, height: 596 } },
    { client: [440, 300, 1.5], box: { width: 657, height: 447 } },
    { client: [440, 300, undefined], box: { width: 438, height: 298 } },
    { client: [440, 300, 0], box: { width: 438, height: 298 } },
    { client: [2, 0, 2], box: { width: 1, height: 1 } },
  ];
  for (const { client, box } of cases) assert.deepEqual(stageBox(...client), box, String(client));
});

test('the look tiles show the centred 4:3 part of the image', () => {
  const cases = [
    [[400, 300], { x: 0, y: 0, width: 400, height: 300 }],
    [[800, 300], { x: 200, y: 0, width: 400, height: 300 }],
    [[300, 400], { x: 0, y: 87.5, width: 300, height: 225 }],
    [[1, 1], { x: 0, y: 0.125, width: 1, height: 0.75 }],
  ];
  for (const [[w, h], crop] of cases) assert.deepEqual(tileCrop(w, h), crop, w + 'x' + h);
});

const BASE = 'lumivo-lane://k1/';
const pixels = (w, h) => new Uint8ClampedArray(w * h * 4).fill(7);
const picture = (w, h, frame = 4, bytes = pixels(w, h)) =>
  response(200, bytes, { 'Lumivo-Width': w, 'Lumivo-Height': h, 'Lumivo-Frame': frame });

async function outcome(promise) {
  try {
    const { image, frame } = await promise;
    return { width: image.width, height: image.height, bytes: image.data.length, frame };
  } catch (e) {
    assert.ok(e instanceof Trouble, 'not a Trouble: ' + e);
    return { text: e.text };
  }
}

test('the preview comes from the lane, with a new key asked for once when the old one is refused', async () => {
  const cases = [
    {
      name: 'fitted picture',
      lanes: [{ base: BASE }],
      replies: [picture(3, 2, 9)],
      expected: { width: 3, height: 2, bytes: 24, frame: 9 },
      urls: [BASE + 'preview?width=300&height=200&n=1'],
    },
    {
      name: 'a forgotten key: one new one',
      lanes: [{ base: BASE }, { base: 'lumivo-lane://k2/' }],
      replies: [response(403), picture(3, 2)],
      expected: { width: 3, height: 2, bytes: 24, frame: 4 },
      urls: [
        BASE + 'preview?width=300&height=200&n=1',
        'lumivo-lane://k2/preview?width=300&height=200&n=2',
      ],
    },
    {
      name: 'refused with the new key too',
      lanes: [{ base: BASE }, { base: BASE }, { base: BASE }],
      replies: [response(403), response(403)],
      expected: { text: 'The panel answered 403.' },
      urls: [BASE + 'preview?width=300&height=200&n=1', BASE + 'preview?width=300&height=200&n=2'],
    },
    {
      name: 'no lane for this page',
      lanes: [{ base: '' }],
      replies: [],
      expected: { text: 'The panel has no lane for this page.' },
      urls: [],
    },
    {
      name: 'the panel does not answer',
      lanes: [{ base: BASE }],
      replies: [new TypeError('Load failed')],
      expected: { text: 'The panel did not answer.' },
      urls: [BASE + 'preview?width=300&height=200&n=1'],
    },
    {
      name: 'the panel fails',
      lanes: [{ base: BASE }],
      replies: [response(500)],
      expected: { text: 'The panel answered 500.' },
      urls: [BASE + 'preview?width=300&height=200&n=1'],
    },
    {
      name: 'bytes for another size',
      lanes: [{ base: BASE }],
      replies: [picture(3, 2, 4, pixels(3, 1))],
      expected: { text: 'The panel sent a picture of another size.' },
      urls: [BASE + 'preview?width=300&height=200&n=1'],
    },
  ];
  for (const c of cases) {
    const panel = fakePanel({ 'open-lanes': c.lanes });
    const net = fakeFetch(c.replies);
    const lanes = createLanes({ bridge: panel.bridge, fetch: net.fetch });
    assert.deepEqual(await outcome(lanes.preview(299.6, 200.2)), c.expected, c.name);
    assert.deepEqual(
      net.calls.map((call) => call.url),
      c.urls,
      c.name,
    );
    assert.ok(
      net.calls.every((call) => call.options.cache === 'no-store'),
      c.name,
    );
  }
});

test('a key is asked for once and kept while it serves', async () => {
  const panel = fakePanel({ 'open-lanes': [{ base: BASE }, { base: BASE }] });
  const net = fakeFetch([picture(1, 1), picture(1, 1), picture(1, 1)]);
  const lanes = createLanes({ bridge: panel.bridge, fetch: net.fetch });
  await Promise.all([lanes.preview(1, 1), lanes.preview(1, 1)]);
  await lanes.preview(1, 1);
  assert.equal(panel.requests('open-lanes').length, 1);
  assert.equal(net.calls.length, 3);
});
