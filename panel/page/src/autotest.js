// Unattended runs, for the end-to-end roads and the benchmarks: with a name set by the panel
// (window.__lumivoAutotest), the page applies a look ("invert") or a service effect
// ("service:cutout") once to the first frame; a service effect signs in with the demo account
// first. With the name "session" it does nothing by itself: a test drives it as a user would.
// Under any name every status the page shows is logged word for word ("status <title>:
// <text>"). Without a name all of this does nothing.

import { lookById } from './looks.js';
import { ACCOUNT_PAGE, DEMO_ACCOUNT } from './service.js';

// name: the autotest's name or null; fetch and origin: the page's fetch and the auth host, to
// which a service run reports what the panel answered to its sign-in requests.
export const SESSION = 'session';

export function createAutotest({ name, bridge, fetch, origin }) {
  const effect = name && name.startsWith('service:') ? name.slice('service:'.length) : null;
  const received = []; // every text the panel answered to the sign-in requests
  let started = false;

  return {
    // When each step of the user's two waits happened, frame in and result out, as "waits ..."
    // lines in milliseconds since 1970 (the editor's clock too), for the benchmark.
    logWaits(what, times) {
      if (name === null) return;
      bridge.log(
        'waits ' +
          what +
          Object.entries(times)
            .map(([k, v]) => ' ' + k + '=' + (typeof v === 'number' ? v.toFixed(1) : v))
            .join(''),
      );
    },

    // The status the page shows now, for the tests that read what the user reads.
    status(shown) {
      if (name === null) return;
      bridge.log('status ' + shown.title + ': ' + shown.text);
    },

    // A sign-in answer, for the test that checks no refresh token ever reached the page.
    record(text) {
      if (name) received.push(String(text));
    },

    // Runs once, on the first frame.
    async run(app) {
      if (name === null || name === SESSION || started) return;
      started = true;
      if (!effect) {
        bridge.log('autotest edit=' + name);
        app.choose({ kind: 'look', id: lookById(name) ? name : 'invert' });
        // Applied once the frame could have been seen, as a user's press would be.
        await app.afterPaint();
        app.apply();
        return;
      }
      bridge.log('autotest effect=' + effect);
      if (
        !(await app.connected()) &&
        !(await app.signIn(DEMO_ACCOUNT.email, DEMO_ACCOUNT.password))
      ) {
        return;
      }
      app.choose({ kind: 'effect', id: effect });
      if (app.state.choice.id !== effect) {
        bridge.log('autotest: no such effect');
        return;
      }
      app.apply();
    },

    // What the panel answered, for that test; then the account page, through the browser.
    finish() {
      if (!effect) return;
      fetch(origin + '/autotest/received', { method: 'POST', body: received.join('\n') })
        .catch(() => {})
        .then(() => {
          bridge.post({ type: 'open-external', url: ACCOUNT_PAGE });
          bridge.log('autotest done');
        });
    },
  };
}
