// Every sentence the page shows or sends the user, and the status each stands for. Nothing else
// in the page words anything: the rest asks this module and shows what it gets.

// A failure as a value: its kind (what the page does about it), and the title and sentence the
// user reads.
export class Trouble extends Error {
  constructor(kind, title, text) {
    super(title + ': ' + text);
    this.kind = kind;
    this.title = title;
    this.text = text;
  }
}

// A status the page shows under its button: kind 'info', 'ok', 'warn' or 'bad', a title and a
// sentence; repair offers the accessibility repair.
const statusOf = (kind, title, text, repair = false) => ({ kind, title, text, repair });

// --- Failures ---

export const signedOut = () =>
  new Trouble('signed-out', 'Signed out', 'Sign in again to use the service’s effects.');

export const unreachable = (what) =>
  new Trouble(
    'unreachable',
    'Service unreachable',
    'Lumivo couldn’t reach ' + what + '. Check your connection and try again.',
  );

export const unreadable = (why) => new Trouble('frame', 'Couldn’t read the image', why);

// Why the frame could not be read from the panel's lane.
export const laneTroubles = {
  noLane: () => unreadable('The panel has no lane for this page.'),
  noAnswer: () => unreadable('The panel did not answer.'),
  answered: (status) => unreadable('The panel answered ' + status + '.'),
  otherSize: () => unreadable('The panel sent a picture of another size.'),
};

export const signInTroubles = {
  credentials: () => new Trouble('credentials', 'Not signed in', 'Wrong email or password.'),
  refused: (status) =>
    new Trouble(
      'refused',
      'Not signed in',
      'The service could not sign you in (HTTP ' + status + ').',
    ),
  notKept: (text) =>
    new Trouble('keyring', 'Not signed in', 'Your sign-in could not be kept: ' + text + '.'),
};

export const serviceRefused = (message, status) =>
  new Trouble(
    'refused',
    'The service said no',
    (message || 'It refused the request.') + ' (HTTP ' + status + ')',
  );

const UPLOAD_REFUSALS = {
  0: 'Lumivo couldn’t reach the storage service.',
  400: 'Storage found the upload link malformed.',
  403: 'Storage refused the upload: its signature did not match.',
  410: 'The upload link had expired.',
  413: 'The image is too large for the service.',
};

export const uploadRefused = (status) =>
  new Trouble(
    'upload',
    'Upload refused',
    (UPLOAD_REFUSALS[status] || 'Storage answered with an error.') + ' (HTTP ' + status + ')',
  );

export const creationTroubles = {
  failed: (reason) =>
    new Trouble(
      'failed',
      'The creation failed',
      String(reason || 'The service could not make it.'),
    ),
  tooSlow: () => new Trouble('failed', 'The creation failed', 'The service took too long.'),
  notReady: () => new Trouble('failed', 'Not ready', 'That creation is not finished.'),
};

// Anything thrown that is not a Trouble.
export const asTrouble = (e) =>
  e instanceof Trouble
    ? e
    : new Trouble('error', 'Something went wrong', String((e && e.message) || e));

// --- The editor, as the sentences name it ---

// The editors the panel knows, by the host's bundle identifier the panel names in
// window.__lumivoFilterInfo.editor; any other is "your editor".
const EDITORS = {
  'org.gimp.GIMP': { name: 'GIMP', offTheBus: true },
  'org.gimp.GIMP3': { name: 'GIMP' },
  'com.lumivo.demo-host': { name: 'the demo editor' },
};
const editorOf = (id) =>
  (typeof id === 'string' && Object.hasOwn(EDITORS, id) && EDITORS[id]) || {
    name: 'your editor',
  };
const capital = (text) => text.charAt(0).toUpperCase() + text.slice(1);
// The menu item the panel presses, and the user can choose, in every editor it serves.
const MENU = 'Filters ▸ Lumivo';

// --- Statuses ---

// The one status under the button says what happened last: a picture arrived, a look was
// chosen, a result is being applied, was applied, waits (and why), or was refused (and why), the
// editor quit. Each names the editor it speaks of (`editor`: its bundle identifier, if known).

export const failureStatus = (trouble) => statusOf('bad', trouble.title, trouble.text);

// The editor handed its picture over. `setAside`: the label of a finished creation that was
// made from the picture before and is no longer offered.
export function pictureReceived(editor, setAside = null) {
  const from = 'Your picture from ' + editorOf(editor).name + ' is here.';
  return statusOf(
    'info',
    'Picture received',
    setAside
      ? from +
          ' The ' +
          setAside +
          ' creation was made from the picture before, so it is set aside: choose ' +
          setAside +
          ' again to make one for this picture.'
      : from + ' Choose a look or an effect, then press Apply to image.',
  );
}

// The user chose a look (`look`: its label; null for Original) or an effect (`effect`: its
// label).
export function choiceStatus(editor, { look = null, effect = null }) {
  const name = editorOf(editor).name;
  if (effect) {
    return statusOf(
      'info',
      effect + ' chosen',
      'Press Apply to image to send your picture to the Lumivo service for ' + effect + '.',
    );
  }
  if (look) {
    return statusOf(
      'info',
      look + ' chosen',
      'The preview shows ' +
        look +
        '. Press Apply to image to put it into your picture in ' +
        name +
        '.',
    );
  }
  return statusOf(
    'info',
    'Original',
    'The preview shows your picture without a look. Choose a look or an effect to change it in ' +
      name +
      '.',
  );
}

export const applying = (editor) =>
  statusOf(
    'info',
    'Applying',
    'Lumivo is choosing ' +
      MENU +
      ' in ' +
      editorOf(editor).name +
      ' for you; your picture changes in a moment.',
  );

export const effectWorking = (label) =>
  statusOf(
    'info',
    'Working on ' + label,
    'Your picture goes to the Lumivo service, which makes your creation; the bar above shows how far it is.',
  );

export const applied = (editor) => {
  const name = editorOf(editor).name;
  return statusOf(
    'ok',
    'Applied',
    'The result is in your picture in ' +
      name +
      ', as one step you can undo there. After an undo or other edits in ' +
      name +
      ', run ' +
      MENU +
      ' to bring the picture here again.',
  );
};

// Why a written result was not applied yet, by the panel's status token: the result file waits
// in the spool for a filter run. Permission and menu troubles say the one thing to do in that
// editor.
const WAITING = {
  accessibility: (e) =>
    statusOf(
      'warn',
      'Permission needed',
      'Lumivo chooses ' +
        MENU +
        ' for you through the desktop’s assistive technology, which is off. Press “Fix accessibility permission” below to switch it on. Your result is saved: choose ' +
        MENU +
        ' in ' +
        e.name +
        ' to apply it now.',
      true,
    ),
  'accessibility-stale': (e) =>
    statusOf(
      'warn',
      'Permission no longer active',
      'The desktop’s assistive technology, through which Lumivo chooses ' +
        MENU +
        ' for you, was switched off. Press “Fix accessibility permission” below to switch it on again. Your result is saved: choose ' +
        MENU +
        ' in ' +
        e.name +
        ' to apply it now.',
      true,
    ),
  'host-gone': () =>
    statusOf(
      'warn',
      'Editor not found',
      'The editor that sent this picture is not running any more. Your result is saved: open the same picture again and run ' +
        MENU +
        ' within 15 minutes to apply it.',
    ),
  'menu-missing': (e) =>
    e.offTheBus
      ? statusOf(
          'warn',
          'GIMP can’t be reached',
          'GIMP 2.10 is not on the accessibility bus, so Lumivo can’t choose ' +
            MENU +
            ' for you. Your result is saved: choose ' +
            MENU +
            ' in GIMP to apply it now. For next time, log out and back in once after installing Lumivo, or start GIMP as GTK_MODULES=gail:atk-bridge gimp.',
        )
      : statusOf(
          'warn',
          'Filter menu not found',
          'Lumivo couldn’t find ' +
            MENU +
            ' in the menus of ' +
            e.name +
            '. Your result is saved: choose ' +
            MENU +
            ' there by hand to apply it.',
        ),
  'filter-disabled': (e) =>
    statusOf(
      'warn',
      'Filter unavailable',
      capital(e.name) +
        ' has ' +
        MENU +
        ' greyed out right now (an 8-bit RGB picture must be open and in front). Your result is saved: choose ' +
        MENU +
        ' once it is available.',
    ),
  'press-failed': (e) =>
    statusOf(
      'warn',
      'Editor didn’t respond',
      capital(e.name) +
        ' didn’t react when Lumivo chose ' +
        MENU +
        '. Your result is saved: choose ' +
        MENU +
        ' there by hand to apply it.',
    ),
  timeout: (e) =>
    statusOf(
      'warn',
      'Still waiting for the editor',
      capital(e.name) +
        ' hasn’t taken the result yet. If your picture doesn’t change, choose ' +
        MENU +
        ' there by hand.',
    ),
  'other-picture': (e) =>
    statusOf(
      'warn',
      'Another picture in front',
      'The picture in ' +
        e.name +
        ' is not the one this result was made from (another image, or an undo or other edits since), so the editor left it unchanged and sent it here instead. Choose a look and apply it to this picture; your result waits for the one it was made from.',
    ),
};
// Why nothing was written, by the token that comes with ok false.
const NOTHING_WRITTEN = {
  'host-changed': () =>
    statusOf(
      'warn',
      'Another editor window',
      'This result was made from a picture in another editor window than the one in front now, so nothing was written. Run ' +
        MENU +
        ' again in the window you want to change.',
    ),
  'frame-changed': (e) =>
    statusOf(
      'warn',
      'A new picture arrived',
      capital(e.name) +
        ' sent a new picture while this one was being applied, so nothing was written. Look at the new picture and apply again.',
    ),
  'download-failed': () =>
    statusOf(
      'bad',
      'Your creation could not be fetched',
      'Lumivo couldn’t bring your creation in from the service, so nothing was written. Check your connection and apply it again.',
    ),
};
const own = (table, key) => (Object.hasOwn(table, key) ? table[key] : undefined);

// What the panel's answer to a result means for the user, in `editor`.
export function importStatus(ok, token, editor) {
  const e = editorOf(editor);
  if (ok !== true) {
    const refusal = own(NOTHING_WRITTEN, token);
    return refusal
      ? refusal(e)
      : statusOf(
          'bad',
          'Couldn’t hand the picture over',
          'The edited picture could not be saved for the editor. Please try again.',
        );
  }
  if (token === '') return applied(editor);
  const waiting = own(WAITING, token);
  return waiting
    ? waiting(e)
    : statusOf(
        'warn',
        'Result saved',
        'The result is saved (' + token + '). Choose ' + MENU + ' in ' + e.name + ' to apply it.',
      );
}

export const accessibilityStatus = (granted) =>
  granted === true
    ? statusOf(
        'ok',
        'Permission granted',
        'Lumivo may now choose ' + MENU + ' for you. Apply again whenever you are ready.',
      )
    : statusOf(
        'warn',
        'Permission not granted yet',
        'Assistive technology is still off, so Lumivo can’t choose ' +
          MENU +
          ' for you. Press the button again to switch it on, or switch it on in your desktop’s accessibility settings.',
        true,
      );

// How long the panel stays once its editor has quit, in words.
const inWords = (seconds) => {
  const s = Math.round(Number(seconds));
  if (!(s > 0)) return 'soon';
  if (s % 60 === 0) return s === 60 ? 'in a minute' : 'in ' + s / 60 + ' minutes';
  return s === 1 ? 'in a second' : 'in ' + s + ' seconds';
};

// The editor the panel serves has quit: the picture is gone from the panel too, which closes
// after `closeSeconds` unless the user is in the middle of something in it.
export const editorClosed = (editor, closeSeconds) =>
  statusOf(
    'warn',
    'Editor closed',
    capital(editorOf(editor).name) +
      ' has quit, so its picture is gone from here too. This panel closes ' +
      inWords(closeSeconds) +
      ' unless you are in the middle of something here; run ' +
      MENU +
      ' in your editor to bring a picture in again.',
  );

export const creationReady = (label) =>
  statusOf(
    'ok',
    'Your creation is ready',
    label + ' is done. Press Apply result or click the notification to put it into your picture.',
  );

// A creation that finished after another picture arrived: it is not for the picture shown.
export const creationForEarlierPicture = (label) =>
  statusOf(
    'warn',
    'Your creation is set aside',
    label +
      ' is done, but it was made from the picture before the one shown now. Choose ' +
      label +
      ' again to make one for this picture.',
  );

// The desktop notification for a finished creation.
export const readyNotification = (label) => ({
  title: 'Your creation is ready',
  body: label + ' is done. Click to apply it to your image.',
});

// --- What the button, the stage and the service card say ---

export const buttonLabels = { apply: 'Apply to image', applyResult: 'Apply result' };

export const busyTexts = {
  applying: 'Applying in the editor…',
  uploading: 'Uploading…',
  fetchingCreation: 'Fetching your creation…',
  waiting: (label) => label + ': waiting for the service…',
  progress: (label, fraction) => label + ': ' + Math.round(fraction * 100) + '%',
};

export const stageTexts = {
  loading: 'Loading image…',
  noFrame: 'Run ' + MENU + ' in your editor to start.',
  failed: (e) =>
    e instanceof Trouble
      ? 'The image could not be loaded: ' + e.text
      : 'The image could not be read.',
};

export const serviceCardTexts = {
  connecting: 'Connecting to the service…',
  signedInAs: (account) => 'Signed in as ' + account + '.',
  someAccount: 'your account',
  signedOutByUser: 'You are signed out.',
};

// What an effect's tile says under its name.
export const effectHint = (effect) =>
  effect.transparent ? 'keeps transparency' : 'by the service';

export const sizeText = (size) => (size ? size.width + ' × ' + size.height : 'No image');
