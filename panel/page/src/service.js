// The service client: sign-in, access tokens, the creations API with a refresh and one retry,
// and following a creation to its end. The refresh token goes to the panel, which keeps it in
// the keyring and hands the page only access tokens.

import {
  creationTroubles,
  serviceRefused,
  signedOut,
  signInTroubles,
  unreachable,
} from './statuses.js';

// The service's hosts, as the panel is built with them; the page runs on the auth host.
export const AUTH_ORIGIN = 'https://auth.lumivo.example';
export const ACCOUNT_PAGE = 'https://www.lumivo.example/account';
export const DEMO_ACCOUNT = { email: 'demo@lumivo.example', password: 'lumivo-demo' };

// How long the page follows one creation, and how often it asks.
export const CREATION_LIMIT_MS = 15 * 60 * 1000;
export const CREATION_POLL_MS = 200;

// origin: the service's auth host, where the page's API lives; fetch: the page's fetch; now():
// milliseconds since 1970; sleep(ms): a promise that resolves after ms.
export function createService({ bridge, fetch, origin, now = Date.now, sleep }) {
  const log = bridge.log;

  const auth = {
    token: null,
    expiresAt: 0,
    refreshing: null,
    // One refresh at a time: each rotates the refresh token, so two at once would race.
    refresh() {
      if (!this.refreshing) {
        this.refreshing = bridge.request('auth-refresh', {}).then(
          (reply) => {
            this.refreshing = null;
            if (!reply.ok) throw unreachable('the sign-in service (' + reply.text + ')');
            const value = JSON.parse(reply.text);
            if (value === null || typeof value.accessToken !== 'string') {
              this.token = null;
              throw signedOut();
            }
            this.token = value.accessToken;
            this.expiresAt = Number(value.expiresAt) || 0;
            log('auth refreshed');
            return this.token;
          },
          (e) => {
            this.refreshing = null;
            throw e;
          },
        );
      }
      return this.refreshing;
    },
    // A token that holds for two more seconds, else a fresh one.
    async accessToken() {
      if (this.token && now() < this.expiresAt - 2000) return this.token;
      return this.refresh();
    },
  };

  // A JSON request: { status, value } where value is the answer's object ({} for anything
  // else). Throws only when the service can't be reached.
  async function fetchJson(method, url, body, token) {
    const headers = {};
    if (body !== undefined) headers['Content-Type'] = 'application/json';
    if (token) headers.Authorization = 'Bearer ' + token;
    let response;
    try {
      response = await fetch(url, {
        method,
        headers,
        body: body === undefined ? undefined : JSON.stringify(body),
        cache: 'no-store',
      });
    } catch (e) {
      log('fetch failed: ' + method + ' ' + url + ': ' + e);
      throw unreachable('the service');
    }
    let value = null;
    try {
      value = await response.json();
    } catch {
      value = null;
    }
    return { status: response.status, value: value && typeof value === 'object' ? value : {} };
  }

  // A call of the creations API. An access token that expired on the way is refreshed and the
  // call made once more.
  async function api(method, path, body) {
    let reply = await fetchJson(method, origin + path, body, await auth.accessToken());
    if (reply.status === 401) {
      log('access token refused; refreshing once');
      reply = await fetchJson(method, origin + path, body, await auth.refresh());
      if (reply.status === 401) throw signedOut();
    }
    if (reply.status < 200 || reply.status > 299) {
      const message = typeof reply.value.message === 'string' ? reply.value.message : '';
      throw serviceRefused(message, reply.status);
    }
    return reply.value;
  }

  return {
    auth,
    fetchJson,
    api,

    // The service's effects for this account: { effects: [{ id, label, … }], account (its
    // name, or null) }; entries without a text id and label are left out.
    async effects() {
      const list = await api('GET', '/api/effects');
      const effects = Array.isArray(list.effects)
        ? list.effects.filter((e) => e && typeof e.id === 'string' && typeof e.label === 'string')
        : [];
      return { effects, account: typeof list.account === 'string' ? list.account : null };
    },

    // Signs in with a password and has the panel keep the sign-in.
    async signIn(email, password) {
      const reply = await fetchJson('POST', origin + '/api/sign-in', { email, password });
      if (reply.status === 401) throw signInTroubles.credentials();
      const v = reply.value;
      if (reply.status !== 200 || typeof v.refreshToken !== 'string') {
        throw signInTroubles.refused(reply.status);
      }
      const saved = await bridge.request('auth-save', {
        refreshToken: v.refreshToken,
        tokenEndpoint: v.tokenEndpoint,
        clientId: v.clientId,
      });
      if (!saved.ok) throw signInTroubles.notKept(saved.text);
      log('signed in; sign-in kept by the panel');
    },

    async signOut() {
      await bridge.request('auth-sign-out', {});
      auth.token = null;
    },

    // Has the service make a creation from an uploaded object and follows it until it is
    // done; onProgress(fraction) hears of each step on the way. Resolves with the finished
    // creation, whose id is a string.
    async makeCreation(objectId, effectId, onProgress) {
      let creation = await api('POST', '/api/creations', { objectId, effect: effectId });
      const id = String(creation.id);
      log('creation ' + id + ' ' + creation.state);
      for (const deadline = now() + CREATION_LIMIT_MS; ;) {
        if (creation.state === 'failed') throw creationTroubles.failed(creation.reason);
        if (creation.state === 'done') break;
        if (now() > deadline) throw creationTroubles.tooSlow();
        onProgress(Number(creation.progress) || 0);
        await sleep(CREATION_POLL_MS);
        creation = await api('GET', '/api/creations/' + encodeURIComponent(id));
      }
      return { ...creation, id };
    },

    // A finished creation of an earlier run, by its id.
    async finishedCreation(id) {
      const c = await api('GET', '/api/creations/' + encodeURIComponent(id));
      if (c.state !== 'done') throw creationTroubles.notReady();
      return c;
    },
  };
}
