// What the page does: the frame in, the sign-in, the service's effects, the looks and the
// results out. It writes the one state and tells the view which part to show again; it never
// touches the DOM itself.

import { lookById } from './looks.js';
import { sameBox } from './lanes.js';
import { ACCOUNT_PAGE } from './service.js';
import { effectTimingLine } from './results.js';
import {
  Trouble,
  accessibilityStatus,
  applied,
  applying,
  asTrouble,
  busyTexts,
  buttonLabels,
  choiceStatus,
  creationForEarlierPicture,
  creationReady,
  editorClosed,
  effectWorking,
  failureStatus,
  importStatus,
  pictureReceived,
  readyNotification,
  serviceCardTexts,
  stageTexts,
  unreachable,
  uploadRefused,
} from './statuses.js';

// How a frame came to the panel, as window.__lumivoFilterInfo.arrival names it: the editor handed
// its picture over, the editor applied a result and sent what its document holds, or the panel
// installed the result it is having applied. A panel that doesn't say counts as a hand-off.
const ARRIVALS = ['handed-off', 'applied', 'result'];
const arrivalOf = (info) => (info && ARRIVALS.includes(info.arrival) ? info.arrival : 'handed-off');

// view: the parts it renders and what it measures (see view.js); filterInfo(): what the panel
// announced of the current frame, if anything ({ width, height, editor, arrival }); clock:
// { now() (ms, monotonic), wallNow() (ms since 1970), timeOrigin }.
export function createApp({
  state,
  view,
  bridge,
  service,
  lanes,
  results,
  autotest,
  filterInfo,
  clock,
}) {
  const log = bridge.log;
  let frameRequest = null; // the latest frame request; answers to older ones are dropped
  let connected = null; // the first connect(), for the unattended runs
  let timing = {}; // the steps of the last service effect and of its apply (clock.now())
  let applyTimes = {}; // the steps of the last "Apply" (clock.wallNow()), for the autotest
  let editorGone = false; // the editor quit and no frame has come since
  let saidBusy = null; // what the panel was last told of the user's work
  // Pictures from the editor so far (hand-offs and applied results): a creation is offered only
  // for the picture it was made from.
  let pictures = 0;
  let applyingResult = false; // a result is out, and the panel hasn't answered yet
  // How the editor's pictures came meanwhile ('applied', 'handed-off').
  let arrivedWhileApplying = new Set();
  // The panel's answer said what the editor did (applied the result, or sent its picture
  // instead): the picture that comes with it, after the answer, is already said.
  let answerSaid = null;
  let serviceTrouble = false; // the status shown tells of trouble with the service

  // --- The editor quit: the panel closes after a while unless the user is in the middle of
  // something here (a result on its way, a sign-in being typed), which it is told of. ---

  function reportBusy() {
    if (!editorGone) return;
    const busy = state.busy || view.signInDraft();
    if (busy === saidBusy) return;
    saidBusy = busy;
    bridge.post({ type: 'busy', busy });
  }

  // --- Button, status and service section ---

  function setBusy(busy, text) {
    state.busy = busy;
    if (busy) {
      state.busyText = text;
    } else {
      state.applyLabel = buttonLabels.apply;
      state.progress = 0;
    }
    view.busy();
    reportBusy();
  }

  function setProgress(fraction) {
    state.progress = fraction;
    view.busy();
  }

  // The one status: the last thing that happened. Under the autotest it is logged too, word
  // for word, for the end-to-end tests. `aboutService`: it tells of trouble with the service or
  // the sign-in, which goes once that works again.
  function showStatus(status, retry = null, { aboutService = false } = {}) {
    state.status = { ...status, retry };
    serviceTrouble = aboutService;
    view.status();
    autotest.status(state.status);
  }

  function hideStatus() {
    state.status = null;
    serviceTrouble = false;
    view.status();
  }

  // Any other status stays when the service answers again: it says what happened to the
  // picture.
  function hideServiceTrouble() {
    if (serviceTrouble) hideStatus();
  }

  // Whether "Apply" would change anything: a creation waits, an effect is chosen, or a look
  // that changes pixels.
  function somethingToApply() {
    if (state.ready && state.creations.has(state.ready)) return true;
    if (state.choice.kind === 'effect') return true;
    const look = lookById(state.choice.id);
    return !!look && look.steps.length > 0 && state.strength > 0;
  }

  function showButton() {
    state.canApply = !!state.frame && somethingToApply();
    view.busy();
  }

  // The look or effect is in the frame now: the choice goes back to Original, so the preview
  // shows the frame as it is rather than the look once more on top of it.
  function choiceIsInThePicture() {
    if (state.choice.kind === 'look' && state.choice.id === 'original') return;
    state.choice = { kind: 'look', id: 'original' };
    view.choice();
    view.preview();
    showButton();
  }

  // A creation waiting for "Apply result" was made from an earlier picture: no longer offered.
  // Returns its label, if one was set aside.
  function setCreationAside() {
    const creation = state.ready && state.creations.get(state.ready);
    state.ready = null;
    state.applyLabel = buttonLabels.apply;
    return creation ? creation.label : null;
  }

  // A frame arrived from the panel: what it means depends on how it came.
  function arrived(arrival) {
    if (arrival === 'result') {
      choiceIsInThePicture();
      return;
    }
    pictures++;
    const setAside = setCreationAside();
    if (applyingResult) {
      // The answer to the page's own result says it.
      arrivedWhileApplying.add(arrival);
      if (arrival === 'applied') choiceIsInThePicture();
    } else if (answerSaid === arrival) {
      answerSaid = null;
    } else if (arrival === 'applied') {
      // The editor's own run: the user chose Filters > Lumivo on a result that waited.
      choiceIsInThePicture();
      showStatus(applied(state.editor));
    } else {
      showStatus(pictureReceived(state.editor, setAside));
    }
    showButton();
  }

  function showSignedIn(account) {
    state.service = {
      card: state.effects.length > 0 ? null : serviceCardTexts.signedInAs(account),
      signInForm: false,
      effects: true,
      accountButtons: true,
    };
    view.service();
    view.effects();
  }

  function showSignedOut(text) {
    state.effects = [];
    if (state.choice.kind === 'effect') state.choice = { kind: 'look', id: 'original' };
    view.effects();
    state.service = {
      card: text || null,
      signInForm: true,
      effects: false,
      accountButtons: false,
    };
    view.service();
    view.preview();
  }

  function showUnreachable(trouble) {
    state.service = { ...state.service, card: trouble.text, signInForm: false, effects: false };
    view.service();
    showStatus(failureStatus(trouble), connect, { aboutService: true });
  }

  // --- Sign-in ---

  // Asks the panel for an access token and, with one, the service for its effects.
  async function connect() {
    hideServiceTrouble();
    try {
      await service.auth.refresh();
      const { effects, account } = await service.effects();
      state.effects = effects;
      showSignedIn(account === null ? serviceCardTexts.someAccount : account);
      log('signed-in effects=' + state.effects.map((e) => e.id).join(','));
      return true;
    } catch (e) {
      if (e instanceof Trouble && e.kind === 'signed-out') {
        showSignedOut('');
        log('signed-out');
      } else {
        showUnreachable(e instanceof Trouble ? e : unreachable('the service'));
        log('connect failed: ' + e);
      }
      return false;
    }
  }

  async function signIn(email, password) {
    state.signingIn = true;
    view.signingIn();
    try {
      await service.signIn(email, password);
      hideServiceTrouble();
      return await connect();
    } catch (e) {
      const t = e instanceof Trouble ? e : unreachable('the service');
      showStatus(failureStatus(t), null, { aboutService: true });
      log('sign-in failed: ' + t.message);
      return false;
    } finally {
      state.signingIn = false;
      view.signingIn();
    }
  }

  async function signOut() {
    await service.signOut();
    showSignedOut(serviceCardTexts.signedOutByUser);
    log('signed-out by the user');
  }

  // --- Frame in: the panel's preview, shown in the stage and the look tiles ---

  async function requestFrame(changed) {
    const mine = (frameRequest = {});
    const times = changed ? { changed } : {};
    times.requested = clock.wallNow();
    if (!state.frame) {
      state.stage = stageTexts.loading;
      view.stage();
    }
    try {
      const box = (state.box = view.stageBox());
      const shown = await lanes.preview(box.width, box.height);
      times.received = clock.wallNow();
      if (mine !== frameRequest) return;
      installFrame(shown);
      times.installed = clock.wallNow();
      view.afterPaint(() => {
        times.shown = clock.wallNow();
        times.size = state.frame.width + 'x' + state.frame.height;
        autotest.logWaits('frame', times);
      });
    } catch (e) {
      if (mine !== frameRequest) return;
      state.stage = stageTexts.failed(e);
      view.stage();
      log('frame failed: ' + e);
    }
  }

  function installFrame(shown) {
    const info = filterInfo() || { width: shown.image.width, height: shown.image.height };
    const changed = !state.frame || state.frame.number !== shown.frame;
    state.frame = { number: shown.frame, width: info.width, height: info.height };
    state.frameSize = { width: info.width, height: info.height };
    view.size();
    state.previewSource = shown.image;
    state.thumbSource = view.tileImage(shown.image);
    view.tiles();
    view.preview();
    state.stage = null;
    view.stage();
    showButton();
    if (changed) {
      log('frame-loaded ' + info.width + 'x' + info.height);
      autotest.run(app);
    }
  }

  // --- Choices ---

  function choose(choice) {
    if (state.busy) return;
    const look = choice.kind === 'look' && lookById(choice.id);
    const effect = choice.kind === 'effect' && state.effects.find((e) => e.id === choice.id);
    if (!look && !effect) return;
    state.choice = choice;
    answerSaid = null;
    view.choice();
    view.preview();
    showButton();
    showStatus(
      choiceStatus(
        state.editor,
        effect ? { effect: effect.label } : { look: look.steps.length > 0 ? look.label : null },
      ),
    );
  }

  function setStrength(percent) {
    state.strength = percent / 100;
    view.strength();
    view.preview();
    showButton();
  }

  // --- Results out ---

  function sent() {
    applyTimes.posted = clock.wallNow();
    applyingResult = true;
    arrivedWhileApplying = new Set();
    answerSaid = null;
    setBusy(true, busyTexts.applying);
    showStatus(applying(state.editor));
  }

  // The chosen look, applied by the panel to the whole of the frame the page shows.
  function applyLook() {
    timing.applyStart = clock.now();
    results.sendLook(state.frame.number, lookById(state.choice.id), state.strength);
    sent();
  }

  function applyCreation(creation) {
    log('applying creation ' + creation.id);
    timing.applyStart = clock.now();
    results.sendCreation(creation.url);
    sent();
  }

  // A service effect: the panel sends the frame up to storage, the service makes the creation,
  // the page follows it to the end and says so with a desktop notification.
  async function runEffect(effectId) {
    const effect = state.effects.find((e) => e.id === effectId);
    const t = (timing = { start: clock.now() });
    const madeFrom = pictures;
    setBusy(true, busyTexts.uploading);
    showStatus(effectWorking(effect.label));
    // Nothing to export: the panel sends the frame's own file.
    t.exported = clock.now();
    const slot = await service.api('POST', '/api/uploads', { contentType: 'image/png' });
    const put = await bridge.request(
      'upload-frame',
      { url: String(slot.uploadUrl), contentType: 'image/png', frame: state.frame.number },
      'upload',
    );
    t.uploaded = clock.now();
    log('uploaded status=' + put.status);
    if (!put.ok) throw uploadRefused(put.status);

    setBusy(true, busyTexts.waiting(effect.label));
    const creation = await service.makeCreation(slot.objectId, effectId, (fraction) => {
      setProgress(fraction);
      setBusy(true, busyTexts.progress(effect.label, fraction));
    });
    t.made = clock.now();
    // The result stays on the CDN until it is applied: the panel fetches it then.
    t.downloaded = t.made;
    const id = creation.id;
    log('creation ' + id + ' done');
    state.creations.clear(); // only the newest is kept
    setBusy(false);
    // Another picture came while it was made: it is not offered for that one.
    if (madeFrom !== pictures) {
      log('creation ' + id + ' set aside: made from an earlier picture');
      showButton();
      showStatus(creationForEarlierPicture(effect.label));
      return;
    }
    state.creations.set(id, { id, label: effect.label, url: String(creation.resultUrl) });
    bridge.post({ type: 'notify', id, ...readyNotification(effect.label) });
    log('notified ' + id);
    state.ready = id;
    state.applyLabel = buttonLabels.applyResult;
    showButton();
    showStatus(creationReady(effect.label));
  }

  function failed(e) {
    setBusy(false);
    const t = asTrouble(e);
    if (t.kind === 'signed-out') showSignedOut(t.text);
    const outOfReach = t.kind === 'unreachable';
    showStatus(failureStatus(t), outOfReach ? connect : null, { aboutService: outOfReach });
    log('failed: ' + t.message);
  }

  async function apply() {
    // Nothing to change (Original, no creation waiting) is no edit: nothing is sent, and the
    // button says so by being off.
    if (!state.frame || state.busy || !somethingToApply()) return;
    applyTimes = { clicked: clock.wallNow() };
    try {
      if (state.ready && state.creations.has(state.ready)) {
        const creation = state.creations.get(state.ready);
        state.ready = null;
        applyCreation(creation);
      } else if (state.choice.kind === 'effect') {
        await runEffect(state.choice.id);
      } else {
        applyLook();
      }
    } catch (e) {
      failed(e);
    }
  }

  const app = {
    state,
    choose,
    setStrength,
    apply,
    signIn,
    signOut,
    connected: () => connected,
    afterPaint: () => new Promise((resolve) => view.afterPaint(resolve)),

    repair: () => bridge.post({ type: 'accessibility-repair', ackId: bridge.nextAckId('repair') }),
    openAccount: () => bridge.post({ type: 'open-external', url: ACCOUNT_PAGE }),
    retry: () => state.status && state.status.retry && state.status.retry(),

    // A new stage size asks the panel for a preview that fits it.
    stageResized() {
      if (state.frame && !sameBox(view.stageBox(), state.box)) requestFrame();
    },

    // The panel installed a new frame, and said how it came.
    frameChanged() {
      const info = filterInfo();
      if (info && typeof info.editor === 'string') state.editor = info.editor;
      if (editorGone) {
        editorGone = false;
        saidBusy = null;
      }
      arrived(arrivalOf(info));
      requestFrame(clock.wallNow());
    },

    // The editor quit and the panel let go of the picture; it closes after closeSeconds unless
    // the user is busy here. A result on its way still arrives.
    editorGone(closeSeconds) {
      editorGone = true;
      frameRequest = null;
      state.frame = state.previewSource = state.thumbSource = null;
      state.frameSize = null; // the size shown is of a picture no longer here
      state.creations.clear();
      setCreationAside();
      state.stage = stageTexts.noFrame;
      view.size();
      view.stage();
      view.tiles();
      view.preview();
      showButton();
      setBusy(state.busy, state.busyText);
      showStatus(editorClosed(state.editor, closeSeconds));
    },

    // The sign-in form's fields changed.
    signInEdited: () => reportBusy(),

    // A click on a notification: that creation goes into the image. One from an earlier run is
    // looked up at the service first.
    async notificationClick(id) {
      log('notification clicked ' + id);
      if (state.busy || typeof id !== 'string' || !id) return;
      try {
        let creation = state.creations.get(id);
        if (!creation) {
          setBusy(true, busyTexts.fetchingCreation);
          const c = await service.finishedCreation(id);
          creation = { id, url: String(c.resultUrl) };
        }
        state.ready = null;
        applyCreation(creation);
      } catch (e) {
        failed(e);
      }
    },

    // The panel's answer to the result sent last: how the editor took it.
    importAck(ackId, ok, status) {
      if (!results.answers(ackId)) return;
      applyingResult = false;
      setBusy(false);
      showButton();
      const token = typeof status === 'string' ? status : '';
      timing.applied = clock.now();
      applyTimes.acked = clock.wallNow();
      autotest.logWaits('apply', applyTimes);
      log('import-ack ok=' + (ok === true) + ' status=' + token);
      if (timing.made) log(effectTimingLine(timing, clock.timeOrigin));
      // The editor applied the result, or sent its picture instead: the answer says it, for
      // the picture that comes with it, before or after.
      const editorDid = { '': 'applied', 'other-picture': 'handed-off' };
      const comes = ok === true && Object.hasOwn(editorDid, token) ? editorDid[token] : null;
      answerSaid = comes && !arrivedWhileApplying.has(comes) ? comes : null;
      arrivedWhileApplying = new Set();
      // With ok the result became the panel's frame before the editor was asked to apply it.
      if (ok === true) choiceIsInThePicture();
      showStatus(importStatus(ok, token, state.editor));
      autotest.finish();
    },

    accessibilityAck(ackId, granted) {
      log('accessibility-ack granted=' + (granted === true));
      showStatus(accessibilityStatus(granted));
    },

    // The frame first: the user waits for it; the sign-in follows in the same breath.
    start() {
      view.all();
      const info = filterInfo();
      if (info) {
        if (typeof info.editor === 'string') state.editor = info.editor;
        state.frameSize = { width: info.width, height: info.height };
        view.size();
        arrived(arrivalOf(info));
        requestFrame();
      } else {
        state.stage = stageTexts.noFrame;
        view.stage();
      }
      connected = connect();
    },
  };
  return app;
}
