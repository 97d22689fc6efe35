// Fakes of what the page talks to: the panel behind the bridge and the network behind fetch.
// Plain data: the messages posted and the requests made are kept for the tests to read.

import { createBridge } from '../../panel/page/src/bridge.js';

// A panel that answers each request type from its own queue of answers (as the page functions
// would deliver them, after the post returns). A type with no answers left is not answered.
export function fakePanel(answers = {}) {
  const posted = [];
  const queues = Object.fromEntries(Object.entries(answers).map(([k, v]) => [k, [...v]]));
  const channel = {
    postMessage(message) {
      posted.push(message);
      const queue = queues[message.type];
      if (queue && queue.length > 0) {
        const value = queue.shift();
        queueMicrotask(() => bridge.answer(message.ackId, value));
      }
    },
  };
  const bridge = createBridge({ channel: () => channel, now: () => 0 });
  const logs = () => posted.filter((m) => m.type === 'debug-log').map((m) => m.message);
  const requests = (type) => posted.filter((m) => m.type === type);
  return { bridge, posted, logs, requests };
}

// A response as fetch gives it: a status, headers and a body (an object becomes JSON, an
// ArrayBuffer or typed array stays bytes).
export function response(status, body = null, headers = {}) {
  const lower = Object.fromEntries(Object.entries(headers).map(([k, v]) => [k.toLowerCase(), v]));
  return {
    status,
    ok: status >= 200 && status <= 299,
    headers: {
      get: (name) => (name.toLowerCase() in lower ? String(lower[name.toLowerCase()]) : null),
    },
    async json() {
      if (body === null || ArrayBuffer.isView(body)) throw new SyntaxError('not JSON');
      return typeof body === 'string' ? JSON.parse(body) : body;
    },
    async arrayBuffer() {
      return ArrayBuffer.isView(body) ? body.buffer.slice(0) : new ArrayBuffer(0);
    },
  };
}

// A fetch that answers from a queue: each entry a response, or an Error to throw. Every call is
// kept as { url, options }.
export function fakeFetch(replies) {
  const queue = [...replies];
  const calls = [];
  const fetch = async (url, options = {}) => {
    calls.push({ url, options });
    if (queue.length === 0) throw new Error('fetch: no reply left for ' + url);
    const reply = queue.shift();
    if (reply instanceof Error) throw reply;
    return reply;
  };
  return { fetch, calls, left: () => queue.length };
}

// What the panel answers to "auth-refresh": an access token good until expiresAt, or signed out.
export const tokenAnswer = (token, expiresAt) => ({
  ok: true,
  text: JSON.stringify({ accessToken: token, expiresAt }),
});
export const signedOutAnswer = { ok: true, text: 'null' };
