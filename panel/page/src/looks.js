// Instant looks, as data: steps that change each pixel's red, green and blue, then a blend with
// the original by strength. { curves: [red, green, blue] } maps each channel through its own
// table of 256 bytes; { matrix: [m0 … m8] } makes each channel a weighted sum of the three.
// The page runs the steps on its preview; the panel applies the same steps to the whole frame
// ("apply-look"), and both store each value as a clamped byte array does, so what is applied
// is what was shown.

const clamp = (v) => (v < 0 ? 0 : v > 255 ? 255 : v);
const table = (f) => Array.from({ length: 256 }, (_, v) => clamp(Math.round(f(v))));
const curves = (fr, fg, fb) => ({ curves: [table(fr), table(fg), table(fb)] });
const matrix = (m) => ({ matrix: m });
const each = (f) => [f, f, f];

export const LOOKS = [
  { id: 'original', label: 'Original', steps: [] },
  { id: 'invert', label: 'Invert', steps: [curves(...each((v) => 255 - v))] },
  {
    id: 'warm',
    label: 'Warm',
    steps: [
      curves(
        (v) => v * 1.08 + 14,
        (v) => v * 1.02 + 4,
        (v) => v * 0.86,
      ),
    ],
  },
  {
    id: 'cool',
    label: 'Cool',
    steps: [
      curves(
        (v) => v * 0.88,
        (v) => v * 1.0 + 3,
        (v) => v * 1.08 + 16,
      ),
    ],
  },
  {
    id: 'bw',
    label: 'B & W',
    steps: [matrix([0.2126, 0.7152, 0.0722, 0.2126, 0.7152, 0.0722, 0.2126, 0.7152, 0.0722])],
  },
  {
    id: 'sepia',
    label: 'Sepia',
    steps: [matrix([0.393, 0.769, 0.189, 0.349, 0.686, 0.168, 0.272, 0.534, 0.131])],
  },
  {
    id: 'brighten',
    label: 'Brighten',
    steps: [curves(...each((v) => 255 * Math.pow(v / 255, 0.75)))],
  },
  { id: 'contrast', label: 'Contrast', steps: [curves(...each((v) => (v - 128) * 1.3 + 128))] },
];

export const lookById = (id) => LOOKS.find((look) => look.id === id);

// Runs a look's steps over RGBA bytes (a clamped byte array) in place; below full strength the
// outcome is blended with the bytes as they were. At strength 0 nothing changes.
export function runLook(d, steps, strength) {
  if (steps.length === 0 || !(strength > 0)) return;
  const a = strength < 1 ? d.slice() : null;
  for (const step of steps) {
    if (step.curves) {
      const [r, g, b] = step.curves;
      for (let i = 0; i < d.length; i += 4) {
        d[i] = r[d[i]];
        d[i + 1] = g[d[i + 1]];
        d[i + 2] = b[d[i + 2]];
      }
    } else {
      const m = step.matrix;
      for (let i = 0; i < d.length; i += 4) {
        const r = d[i];
        const g = d[i + 1];
        const b = d[i + 2];
        d[i] = m[0] * r + m[1] * g + m[2] * b;
        d[i + 1] = m[3] * r + m[4] * g + m[5] * b;
        d[i + 2] = m[6] * r + m[7] * g + m[8] * b;
      }
    }
  }
  if (a) {
    const s = strength;
    const t = 1 - strength;
    for (let i = 0; i < d.length; i += 4) {
      d[i] = a[i] * t + d[i] * s;
      d[i + 1] = a[i + 1] * t + d[i + 1] * s;
      d[i + 2] = a[i + 2] * t + d[i + 2] * s;
    }
  }
}

// An image ({ data, width, height }) with a look, as a new image; the same image when the look
// changes nothing.
export function withLook(image, look, strength) {
  if (!look || look.steps.length === 0 || !(strength > 0)) return image;
  const data = new Uint8ClampedArray(image.data);
  runLook(data, look.steps, strength);
  return { data, width: image.width, height: image.height };
}
