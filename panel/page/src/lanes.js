// The frame and its preview. What the page shows comes as raw pixels from the panel's own
// scheme (the lane), fitted within the size the page asks for, with no base64 and no decoding on
// the way.

import { laneTroubles } from './statuses.js';

// The largest side the page asks the panel for.
export const MAX_SIDE = 8192;

// The size asked for a box: whole pixels, 1 to MAX_SIDE on each side.
export const previewSize = (width, height) => ({
  width: Math.min(MAX_SIDE, Math.max(1, Math.round(width))),
  height: Math.min(MAX_SIDE, Math.max(1, Math.round(height))),
});

// The stage's inside (its 1-pixel border off each side) in device pixels: the box the preview
// is fitted within.
export const stageBox = (clientWidth, clientHeight, ratio) => {
  const r = ratio || 1;
  return {
    width: Math.max(1, (clientWidth - 2) * r),
    height: Math.max(1, (clientHeight - 2) * r),
  };
};

export const sameBox = (a, b) => !!a && !!b && a.width === b.width && a.height === b.height;

// The centred 4:3 crop of a width x height image that the look tiles show.
export const tileCrop = (width, height) => {
  const cropW = Math.min(width, (height * 4) / 3);
  const cropH = (cropW * 3) / 4;
  return { x: (width - cropW) / 2, y: (height - cropH) / 2, width: cropW, height: cropH };
};

// The lane: a base URI the panel hands out on request ("open-lanes"), good until the panel
// forgets it, under which the preview is fetched.
export function createLanes({ bridge, fetch }) {
  let base = null;
  let opening = null;
  let fetches = 0;

  // One request for a base at a time; the concurrent askers share its answer.
  const open = () => {
    if (!opening) {
      opening = bridge.request('open-lanes', {}, 'lanes').then((reply) => {
        opening = null;
        if (!reply.base) throw laneTroubles.noLane();
        base = reply.base;
        return base;
      });
    }
    return opening;
  };

  return {
    // The current frame fitted within width x height: { image: { data, width, height } (RGBA
    // bytes), frame (its number) }. Throws a Trouble the page can show.
    async preview(width, height) {
      const size = previewSize(width, height);
      for (let attempt = 0; ; attempt++) {
        const from = base || (await open());
        let response;
        try {
          response = await fetch(
            from + 'preview?width=' + size.width + '&height=' + size.height + '&n=' + ++fetches,
            { cache: 'no-store' },
          );
        } catch {
          throw laneTroubles.noAnswer();
        }
        // A key from before the panel forgot it: ask for a new one, once.
        if (response.status === 403 && attempt === 0) {
          base = null;
          continue;
        }
        if (!response.ok) throw laneTroubles.answered(response.status);
        const pw = Number(response.headers.get('Lumivo-Width'));
        const ph = Number(response.headers.get('Lumivo-Height'));
        const frame = Number(response.headers.get('Lumivo-Frame'));
        const data = new Uint8ClampedArray(await response.arrayBuffer());
        if (!(pw > 0 && ph > 0) || data.length !== pw * ph * 4) throw laneTroubles.otherSize();
        return { image: { data, width: pw, height: ph }, frame };
      }
    },
  };
}
