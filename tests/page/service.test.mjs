import assert from 'node:assert/strict';
import { test } from 'node:test';

import {
  CREATION_LIMIT_MS,
  CREATION_POLL_MS,
  createService,
} from '../../panel/page/src/service.js';
import { Trouble } from '../../panel/page/src/statuses.js';
import { fakeFetch, fakePanel, response, signedOutAnswer, tokenAnswer } from './fakes.mjs';

const ORIGIN = 'https://auth.test';
const NOW = 1_000_000;

function service({ refreshes = [], replies = [], saves = [] } = {}) {
  const panel = fakePanel({ 'auth-refresh': refreshes, 'auth-save': saves });
  const net = fakeFetch(replies);
  const clock = { now: NOW, slept: [] };
  const s = createService({
    bridge: panel.bridge,
    fetch: net.fetch,
    origin: ORIGIN,
    now: () => clock.now,
    sleep: async (ms) => {
      clock.slept.push(ms);
      clock.now += ms;
    },
  });
  return { s, panel, net, clock };
}

// What a call came to: its value, or the kind and sentence of its trouble.
async function outcome(promise) {
  try {
    return { value: await promise };
  } catch (e) {
    assert.ok(e instanceof Trouble, 'not a Trouble: ' + e);
    return { kind: e.kind, text: e.text };
  }
}

test('a call of the API refreshes its token when it must, and retries a refusal once', async () => {
  const cases = [
    {
      name: 'a token that holds is used as it is',
      token: ['t0', NOW + 10_000],
      replies: [response(200, { effects: [] })],
      expected: { value: { effects: [] } },
      bearers: ['t0'],
    },
    {
      name: 'without a token, one refresh comes first',
      refreshes: [tokenAnswer('t1', NOW + 60_000)],
      replies: [response(200, { a: 1 })],
      expected: { value: { a: 1 } },
      bearers: ['t1'],
    },
    {
      name: 'a token in its last two seconds is refreshed',
      token: ['t0', NOW + 1_999],
      refreshes: [tokenAnswer('t1', NOW + 60_000)],
      replies: [response(200, { a: 1 })],
      expected: { value: { a: 1 } },
      bearers: ['t1'],
    },
    {
      name: 'a refused token is refreshed and the call made once more',
      token: ['t0', NOW + 10_000],
      refreshes: [tokenAnswer('t1', NOW + 60_000)],
      replies: [response(401), response(200, { a: 2 })],
      expected: { value: { a: 2 } },
      bearers: ['t0', 't1'],
      logged: 'access token refused; refreshing once',
    },
    {
      name: 'refused again after the refresh: signed out, and no third call',
      token: ['t0', NOW + 10_000],
      refreshes: [tokenAnswer('t1', NOW + 60_000), tokenAnswer('t2', NOW + 60_000)],
      replies: [response(401), response(401)],
      expected: { kind: 'signed-out', text: 'Sign in again to use the service’s effects.' },
      bearers: ['t0', 't1'],
    },
    {
      name: 'the panel has no sign-in',
      refreshes: [signedOutAnswer],
      expected: { kind: 'signed-out', text: 'Sign in again to use the service’s effects.' },
      bearers: [],
    },
    {
      name: 'the panel could not refresh',
      refreshes: [{ ok: false, text: 'HTTP 503' }],
      expected: {
        kind: 'unreachable',
        text: 'Lumivo couldn’t reach the sign-in service (HTTP 503). Check your connection and try again.',
      },
      bearers: [],
    },
    {
      name: 'the service refuses with its own words',
      token: ['t0', NOW + 10_000],
      replies: [response(409, { message: 'That upload is gone.' })],
      expected: { kind: 'refused', text: 'That upload is gone. (HTTP 409)' },
      bearers: ['t0'],
    },
    {
      name: 'the service refuses without words',
      token: ['t0', NOW + 10_000],
      replies: [response(500, '<html>')],
      expected: { kind: 'refused', text: 'It refused the request. (HTTP 500)' },
      bearers: ['t0'],
    },
    {
      name: 'the service is out of reach',
      token: ['t0', NOW + 10_000],
      replies: [new TypeError('Load failed')],
      expected: {
        kind: 'unreachable',
        text: 'Lumivo couldn’t reach the service. Check your connection and try again.',
      },
      bearers: ['t0'],
    },
    {
      name: 'an answer that is no object reads as an empty one',
      token: ['t0', NOW + 10_000],
      replies: [response(200, '"done"')],
      expected: { value: {} },
      bearers: ['t0'],
    },
  ];
  for (const c of cases) {
    const { s, panel, net } = service(c);
    if (c.token) [s.auth.token, s.auth.expiresAt] = c.token;
    assert.deepEqual(await outcome(s.api('GET', '/api/effects')), c.expected, c.name);
    assert.deepEqual(
      net.calls.map((call) => call.options.headers.Authorization),
      c.bearers.map((t) => 'Bearer ' + t),
      c.name,
    );
    assert.ok(
      net.calls.every((call) => call.url === ORIGIN + '/api/effects'),
      c.name,
    );
    const refreshes = panel.requests('auth-refresh').length;
    assert.equal(refreshes, (c.refreshes || []).length > 0 ? 1 : 0, c.name);
    if (c.logged) assert.ok(panel.logs().includes(c.logged), c.name);
  }
});

test('calls made at once share one refresh, since each refresh rotates the sign-in', async () => {
  const { s, panel } = service({
    refreshes: [tokenAnswer('t1', NOW + 60_000), tokenAnswer('t2', NOW + 60_000)],
    replies: [response(200, { a: 1 }), response(200, { b: 2 })],
  });
  const both = await Promise.all([s.api('GET', '/a'), s.api('GET', '/b')]);
  assert.deepEqual(both, [{ a: 1 }, { b: 2 }]);
  assert.equal(panel.requests('auth-refresh').length, 1);
  // Once it is over, the next one that is needed is asked for anew.
  s.auth.expiresAt = 0;
  await s.auth.accessToken();
  assert.equal(panel.requests('auth-refresh').length, 2);
  assert.equal(s.auth.token, 't2');
});

test('signing in hands the panel the refresh token and nothing of the password', async () => {
  const cases = [
    {
      name: 'wrong password',
      replies: [response(401, { error: 'invalid_grant' })],
      expected: { kind: 'credentials', text: 'Wrong email or password.' },
    },
    {
      name: 'the service fails',
      replies: [response(500)],
      expected: { kind: 'refused', text: 'The service could not sign you in (HTTP 500).' },
    },
    {
      name: 'no refresh token in the answer',
      replies: [response(200, { accessToken: 'a' })],
      expected: { kind: 'refused', text: 'The service could not sign you in (HTTP 200).' },
    },
    {
      name: 'the keyring refuses',
      replies: [response(200, { refreshToken: 'r', tokenEndpoint: 'e', clientId: 'c' })],
      saves: [{ ok: false, text: 'the keyring is locked' }],
      expected: {
        kind: 'keyring',
        text: 'Your sign-in could not be kept: the keyring is locked.',
      },
      saved: true,
    },
    {
      name: 'kept',
      replies: [response(200, { refreshToken: 'r', tokenEndpoint: 'e', clientId: 'c', x: 1 })],
      saves: [{ ok: true, text: '' }],
      expected: { value: undefined },
      saved: true,
    },
  ];
  for (const c of cases) {
    const { s, panel, net } = service(c);
    assert.deepEqual(await outcome(s.signIn('me@x', 'secret')), c.expected, c.name);
    assert.equal(net.calls[0].url, ORIGIN + '/api/sign-in', c.name);
    assert.deepEqual(JSON.parse(net.calls[0].options.body), { email: 'me@x', password: 'secret' });
    const saves = panel.requests('auth-save');
    assert.equal(saves.length, c.saved ? 1 : 0, c.name);
    if (c.saved) {
      const { refreshToken, tokenEndpoint, clientId, ...rest } = saves[0];
      assert.deepEqual(
        { refreshToken, tokenEndpoint, clientId },
        { refreshToken: 'r', tokenEndpoint: 'e', clientId: 'c' },
      );
      assert.deepEqual(Object.keys(rest), ['type', 'ackId'], c.name);
    }
  }
});

test('a creation is followed until it is done, fails or takes too long', async () => {
  const token = ['t0', Number.MAX_SAFE_INTEGER];
  const cases = [
    {
      name: 'done after two polls',
      replies: [
        response(200, { id: 7, state: 'queued' }),
        response(200, { id: 7, state: 'running', progress: 0.5 }),
        response(200, { id: 7, state: 'done', resultUrl: 'https://cdn/r.png' }),
      ],
      expected: { value: { id: '7', state: 'done', resultUrl: 'https://cdn/r.png' } },
      progress: [0, 0.5],
    },
    {
      name: 'failed with a reason',
      replies: [
        response(200, { id: 'c', state: 'running' }),
        response(200, { state: 'failed', reason: 'No subject found.' }),
      ],
      expected: { kind: 'failed', text: 'No subject found.' },
      progress: [0],
    },
    {
      name: 'failed without one',
      replies: [response(200, { id: 'c', state: 'failed' })],
      expected: { kind: 'failed', text: 'The service could not make it.' },
      progress: [],
    },
  ];
  for (const c of cases) {
    const { s, net, clock } = service(c);
    [s.auth.token, s.auth.expiresAt] = token;
    const progress = [];
    assert.deepEqual(
      await outcome(s.makeCreation('o1', 'cutout', (f) => progress.push(f))),
      c.expected,
      c.name,
    );
    assert.deepEqual(progress, c.progress, c.name);
    assert.deepEqual(JSON.parse(net.calls[0].options.body), { objectId: 'o1', effect: 'cutout' });
    assert.ok(net.calls.slice(1).every((call) => call.url.startsWith(ORIGIN + '/api/creations/')));
    assert.ok(clock.slept.every((ms) => ms === CREATION_POLL_MS));
  }

  // One that never ends is given up at the limit.
  const polls = Math.ceil(CREATION_LIMIT_MS / CREATION_POLL_MS) + 1;
  const running = Array.from({ length: polls + 1 }, () =>
    response(200, { id: 'slow', state: 'running' }),
  );
  const { s } = service({ replies: running });
  [s.auth.token, s.auth.expiresAt] = token;
  assert.deepEqual(await outcome(s.makeCreation('o1', 'cutout', () => {})), {
    kind: 'failed',
    text: 'The service took too long.',
  });
});
