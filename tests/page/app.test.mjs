import assert from 'node:assert/strict';
import { test } from 'node:test';

import { createApp } from '../../panel/page/src/app.js';
import { createAutotest } from '../../panel/page/src/autotest.js';
import { createLanes } from '../../panel/page/src/lanes.js';
import { lookById } from '../../panel/page/src/looks.js';
import { createResults } from '../../panel/page/src/results.js';
import { createService } from '../../panel/page/src/service.js';
import { createState } from '../../panel/page/src/state.js';
import { fakePanel, response, signedOutAnswer, tokenAnswer } from './fakes.mjs';

const BASE = 'lumivo-lane://k/';
const picture = (frame, w = 6, h = 5) =>
  response(200, new Uint8ClampedArray(w * h * 4), {
    'Lumivo-Width': w,
    'Lumivo-Height': h,
    'Lumivo-Frame': frame,
  });

// A view that draws nothing: it keeps which parts were rendered, measures a fixed stage, and
// paints at once.
function fakeView() {
  const rendered = [];
  const part = (name) => () => rendered.push(name);
  const view = { rendered, afterPaint: (callback) => callback() };
  for (const name of ['size', 'stage', 'preview', 'tiles', 'effects', 'choice', 'strength']) {
    view[name] = part(name);
  }
  for (const name of ['service', 'signingIn', 'busy', 'status', 'all']) view[name] = part(name);
  view.stageBox = () => ({ width: 300, height: 200 });
  view.tileImage = (image) => image;
  view.draft = false;
  view.signInDraft = () => view.draft;
  return view;
}

// The page with its real parts, the panel and the network faked: routes maps a piece of a URL
// to the responses (or functions giving them) that fetch answers with, in turn.
function page({
  panel = {},
  routes = {},
  filterInfo = { width: 6, height: 5, editor: 'com.lumivo.demo-host', arrival: 'handed-off' },
  autotest = null,
} = {}) {
  const fake = fakePanel({ 'open-lanes': [{ base: BASE }], ...panel });
  const queues = Object.fromEntries(Object.entries(routes).map(([k, v]) => [k, [...v]]));
  const urls = [];
  const fetch = async (url, options = {}) => {
    urls.push([options.method || 'GET', url]);
    const key = Object.keys(queues).find((k) => url.includes(k));
    if (!key || queues[key].length === 0) throw new TypeError('Load failed');
    const reply = queues[key].shift();
    return typeof reply === 'function' ? reply() : reply;
  };
  const state = createState();
  const view = fakeView();
  const bridge = fake.bridge;
  const app = createApp({
    state,
    view,
    bridge,
    service: createService({
      bridge,
      fetch,
      origin: 'https://auth.test',
      sleep: async () => {},
    }),
    lanes: createLanes({ bridge, fetch }),
    results: createResults(bridge),
    autotest: createAutotest({
      name: autotest,
      bridge,
      fetch,
      origin: 'https://auth.test',
    }),
    filterInfo: () => info.current,
    clock: { now: () => 0, wallNow: () => 0, timeOrigin: 0 },
  });
  const info = { current: filterInfo };
  // The panel installs a frame that arrived as `arrival`, and says so.
  const arrive = (arrival) => {
    info.current = { ...info.current, arrival };
    app.frameChanged();
  };
  return { app, state, view, urls, arrive, ...fake };
}

const settle = () => new Promise((resolve) => setTimeout(resolve, 0));

const signedIn = {
  panel: { 'auth-refresh': [tokenAnswer('t1', Number.MAX_SAFE_INTEGER)] },
  effects: response(200, {
    account: 'demo@x',
    effects: [{ id: 'cutout', label: 'Remove background', transparent: true }, { id: 7 }],
  }),
};

test('the page asks for its frame first, then for its sign-in', async () => {
  const cases = [
    {
      name: 'signed out',
      panel: { 'auth-refresh': [signedOutAnswer] },
      routes: { preview: [picture(4)] },
      service: {
        card: null,
        signInForm: true,
        effects: false,
        accountButtons: false,
      },
      logged: 'signed-out',
      status: 'Picture received',
    },
    {
      name: 'signed in',
      panel: signedIn.panel,
      routes: { preview: [picture(4)], '/api/effects': [signedIn.effects] },
      service: {
        card: null,
        signInForm: false,
        effects: true,
        accountButtons: true,
      },
      logged: 'signed-in effects=cutout',
      status: 'Picture received',
    },
    {
      name: 'the service out of reach',
      panel: signedIn.panel,
      routes: { preview: [picture(4)] },
      service: {
        card: 'Lumivo couldn’t reach the service. Check your connection and try again.',
        signInForm: false,
        effects: false,
        accountButtons: false,
      },
      status: 'Service unreachable',
      logged: 'connect failed: Error: Service unreachable: Lumivo couldn’t reach the service.',
    },
  ];
  for (const c of cases) {
    const p = page(c);
    p.app.start();
    assert.deepEqual(
      p.posted.filter((m) => m.type !== 'debug-log').map((m) => m.type),
      ['open-lanes', 'auth-refresh'],
      c.name,
    );
    await settle();
    assert.deepEqual(p.state.frame, { number: 4, width: 6, height: 5 }, c.name);
    assert.equal(p.state.stage, null, c.name);
    assert.deepEqual(p.state.service, c.service, c.name);
    const status = p.state.status || {};
    assert.equal(status.title, c.status, c.name);
    assert.equal(typeof status.retry === 'function', c.status === 'Service unreachable', c.name);
    assert.ok(p.logs().includes('frame-loaded 6x5'), c.name);
    assert.ok(
      p.logs().some((l) => l.startsWith(c.logged)),
      c.name + ': ' + p.logs(),
    );
  }
});

test('without a frame the stage asks the user to run the filter', () => {
  const p = page({
    filterInfo: null,
    panel: { 'auth-refresh': [signedOutAnswer] },
  });
  p.app.start();
  assert.equal(p.state.stage, 'Run Filters ▸ Lumivo in your editor to start.');
  assert.equal(p.requests('open-lanes').length, 0);
  p.app.apply();
  assert.equal(p.requests('apply-look').length, 0);
});

test('only the newest preview is shown when frames change quickly', async () => {
  let first;
  const p = page({
    panel: { 'auth-refresh': [signedOutAnswer] },
    routes: {
      preview: [() => new Promise((resolve) => (first = () => resolve(picture(1)))), picture(2)],
    },
  });
  p.app.start();
  await settle();
  p.app.frameChanged();
  await settle();
  assert.equal(p.state.frame.number, 2);
  first();
  await settle();
  assert.equal(p.state.frame.number, 2);
  assert.deepEqual(
    p.logs().filter((l) => l.startsWith('frame-loaded')),
    ['frame-loaded 6x5'],
  );
});

test('a look goes to the panel as data for the frame shown, and the answer for it is shown', async () => {
  const p = page({
    panel: { 'auth-refresh': [signedOutAnswer] },
    routes: { preview: [picture(4)] },
  });
  p.app.start();
  await settle();
  p.app.choose({ kind: 'look', id: 'sepia' });
  p.app.choose({ kind: 'look', id: 'no-such-look' });
  p.app.setStrength(40);
  p.app.apply();
  const [sent] = p.requests('apply-look');
  assert.deepEqual(sent.frame, 4);
  assert.deepEqual(sent.look, {
    steps: lookById('sepia').steps,
    strength: 0.4,
  });
  assert.deepEqual([p.state.busy, p.state.busyText], [true, 'Applying in the editor…']);

  // Busy: nothing else is chosen or sent until the panel answers.
  p.app.choose({ kind: 'look', id: 'invert' });
  p.app.apply();
  assert.equal(p.state.choice.id, 'sepia');
  assert.equal(p.requests('apply-look').length, 1);

  p.app.importAck('apply-0-99', true, '');
  assert.equal(p.state.busy, true, 'an answer to another result is dropped');
  p.app.importAck(sent.ackId, true, 'menu-missing');
  assert.equal(p.state.busy, false);
  assert.deepEqual([p.state.status.kind, p.state.status.title], ['warn', 'Filter menu not found']);
  assert.ok(p.logs().includes('import-ack ok=true status=menu-missing'));
});

test('a service effect: the frame goes up, the creation is followed, and its result is applied', async () => {
  const p = page({
    panel: { ...signedIn.panel, 'upload-frame': [{ ok: true, status: 200 }] },
    routes: {
      preview: [picture(4)],
      '/api/effects': [signedIn.effects],
      '/api/uploads': [
        response(200, {
          uploadUrl: 'https://storage.test/u?sig=1',
          objectId: 'o1',
        }),
      ],
      '/api/creations': [
        response(200, { id: 'c1', state: 'queued' }),
        response(200, { id: 'c1', state: 'running', progress: 0.5 }),
        response(200, {
          id: 'c1',
          state: 'done',
          resultUrl: 'https://cdn.test/c1.png',
        }),
      ],
    },
  });
  p.app.start();
  await settle();
  p.app.choose({ kind: 'effect', id: 'cutout' });
  await p.app.apply();
  assert.deepEqual(p.requests('upload-frame')[0].frame, 4);
  assert.deepEqual(p.requests('notify')[0], {
    type: 'notify',
    id: 'c1',
    title: 'Your creation is ready',
    body: 'Remove background is done. Click to apply it to your image.',
  });
  assert.deepEqual(
    [p.state.busy, p.state.applyLabel, p.state.ready],
    [false, 'Apply result', 'c1'],
  );
  assert.equal(p.state.status.title, 'Your creation is ready');

  p.app.apply();
  assert.deepEqual(
    p.requests('apply-url').map((m) => m.url),
    ['https://cdn.test/c1.png'],
  );
  assert.equal(p.state.ready, null);
});

test('a failed effect says why, and offers to try again only when the service was out of reach', async () => {
  const cases = [
    {
      name: 'upload refused',
      upload: { ok: false, status: 410 },
      title: 'Upload refused',
      retry: false,
    },
    {
      name: 'service gone',
      upload: null,
      title: 'Service unreachable',
      retry: true,
    },
  ];
  for (const c of cases) {
    const uploads = c.upload
      ? [response(200, { uploadUrl: 'https://storage.test/u', objectId: 'o1' })]
      : [];
    const p = page({
      panel: { ...signedIn.panel, 'upload-frame': c.upload ? [c.upload] : [] },
      routes: {
        preview: [picture(4)],
        '/api/effects': [signedIn.effects],
        '/api/uploads': uploads,
      },
    });
    p.app.start();
    await settle();
    p.app.choose({ kind: 'effect', id: 'cutout' });
    await p.app.apply();
    assert.equal(p.state.busy, false, c.name);
    assert.equal(p.state.status.title, c.title, c.name);
    assert.equal(typeof p.state.status.retry === 'function', c.retry, c.name);
  }
});

test('when the editor quits the picture goes, and the panel hears whether the user is busy', async () => {
  const p = page({ routes: { preview: [picture(1), picture(2)] } });
  p.app.frameChanged();
  await settle();
  assert.ok(p.state.frame);
  const busy = () => p.requests('busy').map((m) => m.busy);

  p.app.editorGone(60);
  assert.equal(p.state.frame, null);
  assert.equal(p.state.previewSource, null);
  assert.equal(p.state.frameSize, null, 'no size is shown for a picture that is gone');
  assert.equal(p.state.status.title, 'Editor closed');
  assert.match(p.state.status.text, /closes in a minute/);
  assert.deepEqual(busy(), [false], 'told once, at once');
  p.view.draft = true;
  p.app.signInEdited();
  p.app.signInEdited();
  assert.deepEqual(busy(), [false, true], 'a sign-in being typed keeps the panel open');

  // A new frame from an editor: it is what the status says now, and nothing more is reported.
  p.app.frameChanged();
  await settle();
  assert.equal(p.state.status.title, 'Picture received');
  assert.equal(p.state.frame.number, 2);
  p.view.draft = false;
  p.app.signInEdited();
  assert.deepEqual(busy(), [false, true]);
});

// The page's one status after each thing that happens, and what "Apply" would do then.
const titles = (p) => [p.state.status && p.state.status.title, p.state.choice.id, p.state.canApply];

test('one status at a time: each thing that happens replaces the last', async () => {
  const p = page({
    panel: { 'auth-refresh': [signedOutAnswer] },
    routes: { preview: [picture(1), picture(2), picture(3), picture(4), picture(5)] },
  });
  p.app.start();
  await settle();
  assert.deepEqual(titles(p), ['Picture received', 'original', false]);
  p.app.choose({ kind: 'look', id: 'invert' });
  assert.deepEqual(titles(p), ['Invert chosen', 'invert', true]);
  p.app.apply();
  assert.deepEqual(titles(p), ['Applying', 'invert', true]);
  // The panel installs its result: the look is in the frame now, not to be shown twice.
  p.arrive('result');
  assert.deepEqual(titles(p), ['Applying', 'original', false]);
  const [sent] = p.requests('apply-look');
  p.app.importAck(sent.ackId, true, '');
  assert.deepEqual(titles(p), ['Applied', 'original', false]);
  // What the editor applied comes back: still "Applied", said once.
  p.arrive('applied');
  assert.deepEqual(titles(p), ['Applied', 'original', false]);
  p.arrive('handed-off');
  assert.deepEqual(titles(p), ['Picture received', 'original', false]);
  await settle();
  assert.equal(p.state.frame.number, 4);

  // Original, or a look at no strength, changes nothing: nothing is sent, nothing is said.
  p.app.choose({ kind: 'look', id: 'warm' });
  p.app.setStrength(0);
  assert.deepEqual(titles(p), ['Warm chosen', 'warm', false]);
  p.app.apply();
  p.app.choose({ kind: 'look', id: 'original' });
  p.app.setStrength(100);
  assert.deepEqual(titles(p), ['Original', 'original', false]);
  p.app.apply();
  assert.equal(p.requests('apply-look').length, 1);
  assert.equal(p.state.busy, false);
  assert.deepEqual(
    p.logs().filter((l) => l.startsWith('status ')),
    [],
    'statuses are logged only for an autotest',
  );
});

test('a result the editor answered with another picture says so, whichever comes first', async () => {
  for (const ackFirst of [true, false]) {
    const p = page({
      panel: { 'auth-refresh': [signedOutAnswer] },
      routes: { preview: [picture(1), picture(2), picture(3), picture(4)] },
    });
    p.app.start();
    await settle();
    p.app.choose({ kind: 'look', id: 'warm' });
    p.app.apply();
    p.arrive('result');
    const [sent] = p.requests('apply-look');
    if (!ackFirst) p.arrive('handed-off');
    p.app.importAck(sent.ackId, true, 'other-picture');
    if (ackFirst) p.arrive('handed-off');
    assert.deepEqual(titles(p), ['Another picture in front', 'original', false], ackFirst);
    // The next picture the editor hands over is news again.
    p.arrive('handed-off');
    assert.deepEqual(titles(p), ['Picture received', 'original', false], ackFirst);
  }
});

test('an applied result is said once, whether the editor’s picture comes before the answer or after', async () => {
  for (const ackFirst of [true, false]) {
    const p = page({
      panel: { 'auth-refresh': [signedOutAnswer] },
      routes: { preview: [picture(1), picture(2), picture(3), picture(4)] },
      autotest: 'session',
    });
    p.app.start();
    await settle();
    p.app.choose({ kind: 'look', id: 'invert' });
    p.app.apply();
    p.arrive('result');
    const [sent] = p.requests('apply-look');
    if (!ackFirst) p.arrive('applied');
    p.app.importAck(sent.ackId, true, '');
    if (ackFirst) p.arrive('applied');
    assert.deepEqual(titles(p), ['Applied', 'original', false], ackFirst);
    const said = p.logs().filter((l) => l.startsWith('status Applied:'));
    assert.equal(said.length, 1, 'said once, ack first: ' + ackFirst);
    // The user's own Filters > Lumivo run on a result that waited is news again.
    p.app.choose({ kind: 'look', id: 'warm' });
    p.arrive('applied');
    assert.deepEqual(titles(p), ['Applied', 'original', false], ackFirst);
  }
});

test('a result that waited and lands later is then said to be applied', async () => {
  const p = page({
    panel: { 'auth-refresh': [signedOutAnswer] },
    routes: { preview: [picture(1), picture(2), picture(3)] },
  });
  p.app.start();
  await settle();
  p.app.choose({ kind: 'look', id: 'sepia' });
  p.app.apply();
  p.arrive('result');
  p.app.importAck(p.requests('apply-look')[0].ackId, true, 'timeout');
  assert.deepEqual(titles(p), ['Still waiting for the editor', 'original', false]);
  // The user chose Filters > Lumivo by hand: the editor applied it and sent its picture.
  p.arrive('applied');
  assert.deepEqual(titles(p), ['Applied', 'original', false]);
});

test('a creation is offered only for the picture it was made from', async () => {
  const creationRoutes = () => ({
    '/api/effects': [signedIn.effects],
    '/api/uploads': [response(200, { uploadUrl: 'https://storage.test/u', objectId: 'o1' })],
    '/api/creations': [
      response(200, { id: 'c1', state: 'done', resultUrl: 'https://cdn.test/c1.png' }),
    ],
  });
  // A new picture after the creation was ready: the creation is set aside.
  {
    const p = page({
      panel: { ...signedIn.panel, 'upload-frame': [{ ok: true, status: 200 }] },
      routes: { preview: [picture(1), picture(2)], ...creationRoutes() },
    });
    p.app.start();
    await settle();
    p.app.choose({ kind: 'effect', id: 'cutout' });
    await p.app.apply();
    assert.deepEqual([p.state.ready, p.state.applyLabel], ['c1', 'Apply result']);
    p.arrive('handed-off');
    assert.deepEqual([p.state.ready, p.state.applyLabel], [null, 'Apply to image']);
    assert.equal(
      p.state.status.text,
      'Your picture from the demo editor is here. The Remove background creation was made from the picture before, so it is set aside: choose Remove background again to make one for this picture.',
    );
    // "Apply" now makes a creation for this picture, never applies the old one.
    assert.equal(p.state.canApply, true);
    p.app.apply();
    assert.equal(p.requests('apply-url').length, 0);
  }
  // A new picture while the creation was being made: it is not offered at all.
  {
    let finish;
    const p = page({
      panel: { ...signedIn.panel, 'upload-frame': [{ ok: true, status: 200 }] },
      routes: {
        preview: [picture(1), picture(2)],
        ...creationRoutes(),
        '/api/creations': [
          () =>
            new Promise((resolve) => {
              finish = () =>
                resolve(
                  response(200, { id: 'c1', state: 'done', resultUrl: 'https://cdn.test/c1.png' }),
                );
            }),
        ],
      },
    });
    p.app.start();
    await settle();
    p.app.choose({ kind: 'effect', id: 'cutout' });
    const done = p.app.apply();
    await settle();
    assert.equal(p.state.status.title, 'Working on Remove background');
    p.arrive('handed-off');
    finish();
    await done;
    assert.deepEqual([p.state.ready, p.state.status.title], [null, 'Your creation is set aside']);
    assert.equal(p.requests('notify').length, 0, 'no notification offers it');
  }
});

test('a session autotest leaves the page to the test and logs each status word for word', async () => {
  const p = page({
    autotest: 'session',
    panel: { 'auth-refresh': [signedOutAnswer] },
    routes: { preview: [picture(1)] },
  });
  p.app.start();
  await settle();
  p.app.choose({ kind: 'look', id: 'invert' });
  assert.equal(p.requests('apply-look').length, 0, 'nothing applied by itself');
  assert.deepEqual(
    p.logs().filter((l) => l.startsWith('status ')),
    [
      'status Picture received: Your picture from the demo editor is here. Choose a look or an effect, then press Apply to image.',
      'status Invert chosen: The preview shows Invert. Press Apply to image to put it into your picture in the demo editor.',
    ],
  );
});

test('a failure of the service goes once it answers again; what happened to the picture stays', async () => {
  const refresh = tokenAnswer('t1', Number.MAX_SAFE_INTEGER);
  const p = page({
    panel: { 'auth-refresh': [refresh, refresh] },
    routes: {
      preview: [picture(1)],
      '/api/effects': [
        () => {
          throw new TypeError('Load failed');
        },
        signedIn.effects,
      ],
    },
  });
  p.app.start();
  await settle();
  assert.equal(p.state.status.title, 'Service unreachable');
  await p.app.retry();
  assert.equal(p.state.status, null);
  assert.equal(p.state.service.effects, true);
});
