// The bridge client: the one owner of the channel to the panel. A request carries an ack id,
// and the panel's answer to it arrives through a page function that names that id first.

// channel() gives the panel's message handler, or nothing outside the panel (messages are then
// dropped); now() gives milliseconds for the ack ids.
export function createBridge({ channel, now = Date.now }) {
  let counter = 0;
  const waiting = new Map(); // ack id -> resolve of the request waiting for its answer

  const post = (message) => {
    const c = channel();
    if (c) c.postMessage(message);
  };
  const nextAckId = (kind) => kind + '-' + now().toString(36) + '-' + ++counter;

  return {
    post,
    log: (message) => post({ type: 'debug-log', message: String(message) }),
    nextAckId,

    // Posts a request and resolves with the answer for its ack id (kind names the id, the type
    // by default). A request the panel never answers stays pending.
    request(type, fields, kind) {
      const ackId = nextAckId(kind || type);
      return new Promise((resolve) => {
        waiting.set(ackId, resolve);
        post({ type, ackId, ...fields });
      });
    },

    // An answer resolves the request with its ack id, once; any other is dropped.
    answer(ackId, value) {
      const resolve = waiting.get(ackId);
      if (!resolve) return;
      waiting.delete(ackId);
      resolve(value);
    },
  };
}

// The panel's answers, read from the page functions' arguments as whatever the panel sent.
export const uploadAnswer = (ok, status) => ({ ok: ok === true, status: Number(status) || 0 });
export const authAnswer = (ok, text) => ({
  ok: ok === true,
  text: typeof text === 'string' ? text : '',
});
export const lanesAnswer = (base) => ({ base: typeof base === 'string' ? base : '' });
