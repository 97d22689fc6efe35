import assert from 'node:assert/strict';
import { test } from 'node:test';

import { LOOKS, lookById, runLook, withLook } from '../../panel/page/src/looks.js';

// Three pixels (black, a mid colour, white) with alpha that no look may touch.
const PIXELS = [0, 0, 0, 255, 100, 150, 210, 128, 255, 255, 255, 0];

const looked = (id, strength = 1) => {
  const data = new Uint8ClampedArray(PIXELS);
  runLook(data, lookById(id).steps, strength);
  return [...data];
};

test('each look turns known pixels into known values', () => {
  // Worked out by hand from each look's formula, rounded as a clamped byte array stores them.
  const expected = {
    original: PIXELS,
    invert: [255, 255, 255, 255, 155, 105, 45, 128, 0, 0, 0, 0],
    warm: [14, 4, 0, 255, 122, 157, 181, 128, 255, 255, 219, 0],
    cool: [0, 3, 16, 255, 88, 153, 243, 128, 224, 255, 255, 0],
    bw: [0, 0, 0, 255, 144, 144, 144, 128, 255, 255, 255, 0],
    sepia: [0, 0, 0, 255, 194, 173, 135, 128, 255, 255, 239, 0],
    brighten: [0, 0, 0, 255, 126, 171, 220, 128, 255, 255, 255, 0],
    contrast: [0, 0, 0, 255, 92, 157, 235, 128, 255, 255, 255, 0],
  };
  assert.deepEqual(
    LOOKS.map((l) => l.id),
    Object.keys(expected),
  );
  for (const [id, pixels] of Object.entries(expected)) assert.deepEqual(looked(id), pixels, id);
});

test('strength blends the look with the pixels as they were', () => {
  const cases = [
    { strength: 0, pixels: PIXELS },
    { strength: -1, pixels: PIXELS },
    { strength: NaN, pixels: PIXELS },
    { strength: 0.5, pixels: [128, 128, 128, 255, 128, 128, 128, 128, 128, 128, 128, 0] },
    { strength: 0.25, pixels: [64, 64, 64, 255, 114, 139, 169, 128, 191, 191, 191, 0] },
  ];
  for (const { strength, pixels } of cases) {
    assert.deepEqual(looked('invert', strength), pixels, 'strength ' + strength);
  }
});

test('a look that changes nothing hands the same image back; any other a new one', () => {
  const image = { data: new Uint8ClampedArray(PIXELS), width: 3, height: 1 };
  assert.equal(withLook(image, lookById('original'), 1), image);
  assert.equal(withLook(image, lookById('invert'), 0), image);
  assert.equal(withLook(image, undefined, 1), image);
  const inverted = withLook(image, lookById('invert'), 1);
  assert.notEqual(inverted.data, image.data);
  assert.deepEqual([...image.data], PIXELS);
  assert.deepEqual([inverted.width, inverted.height, inverted.data[0]], [3, 1, 255]);
});

test('every curve is a table of 256 whole bytes, as the panel reads it', () => {
  for (const look of LOOKS) {
    for (const step of look.steps.filter((s) => s.curves)) {
      for (const table of step.curves) {
        assert.equal(table.length, 256, look.id);
        assert.ok(
          table.every((v) => Number.isInteger(v) && v >= 0 && v <= 255),
          look.id,
        );
      }
    }
  }
});
