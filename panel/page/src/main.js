// The page's start: the parts wired together, the page functions through which the panel
// answers, then the frame and the sign-in.

import { authAnswer, createBridge, lanesAnswer, uploadAnswer } from './bridge.js';
import { createApp } from './app.js';
import { createAutotest } from './autotest.js';
import { createLanes } from './lanes.js';
import { createResults } from './results.js';
import { AUTH_ORIGIN, createService } from './service.js';
import { createState } from './state.js';
import { createView } from './view.js';

const wallNow = () => performance.timeOrigin + performance.now();
const origin = location.origin && location.origin !== 'null' ? location.origin : AUTH_ORIGIN;
const fetch = (url, options) => window.fetch(url, options);

const bridge = createBridge({
  channel: () =>
    window.webkit && window.webkit.messageHandlers && window.webkit.messageHandlers.lumivo,
});
const autotest = createAutotest({
  name: typeof window.__lumivoAutotest === 'string' ? window.__lumivoAutotest : null,
  bridge,
  fetch,
  origin,
});
autotest.logWaits('page', { origin: performance.timeOrigin, script: wallNow() });

const state = createState();
const view = createView(window, state);
const app = createApp({
  state,
  view,
  bridge,
  service: createService({
    bridge,
    fetch,
    origin,
    sleep: (ms) => new Promise((resolve) => setTimeout(resolve, ms)),
  }),
  lanes: createLanes({ bridge, fetch }),
  results: createResults(bridge),
  autotest,
  filterInfo: () => window.__lumivoFilterInfo,
  clock: { now: () => performance.now(), wallNow, timeOrigin: performance.timeOrigin },
});
view.bind(app);

// The page functions the panel calls, each with the ack id of the request it answers first.
window.__lumivoUploadAck = (ackId, ok, status) => bridge.answer(ackId, uploadAnswer(ok, status));
window.__lumivoAuthAck = (ackId, ok, text) => {
  autotest.record(text);
  bridge.answer(ackId, authAnswer(ok, text));
};
window.__lumivoLanesAck = (ackId, base) => bridge.answer(ackId, lanesAnswer(base));
window.__lumivoImportAck = (ackId, ok, status) => app.importAck(ackId, ok, status);
window.__lumivoAccessibilityAck = (ackId, granted) => app.accessibilityAck(ackId, granted);
window.__lumivoNotificationClick = (id) => app.notificationClick(id);
window.__lumivoFrameChanged = () => app.frameChanged();
window.__lumivoEditorGone = (closeSeconds) => app.editorGone(closeSeconds);

app.start();
