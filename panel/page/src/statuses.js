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

// A status the page shows under its button: kind 'ok', 'warn' or 'bad', a title and a
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

// --- Statuses ---

export const failureStatus = (trouble) => statusOf('bad', trouble.title, trouble.text);

// What the panel's answer to a result means for the user. Tokens that come with ok false say
// why nothing was written.
const IMPORT_OUTCOMES = {
  '': statusOf('ok', 'Applied', 'Your image was updated in the editor.'),
  accessibility: statusOf(
    'warn',
    'Permission needed',
    'Lumivo needs the accessibility permission to run the filter for you. Your result is saved: choose Filter ▸ Lumivo in the editor to apply it now, and fix the permission for next time.',
    true,
  ),
  'accessibility-stale': statusOf(
    'warn',
    'Permission no longer active',
    'The accessibility permission Lumivo had is not in effect any more. Your result is saved: choose Filter ▸ Lumivo in the editor to apply it, then renew the permission.',
    true,
  ),
  'host-gone': statusOf(
    'warn',
    'Editor not found',
    'The editor that sent this image is not running any more. Open the image again and run Filter ▸ Lumivo.',
  ),
  'menu-missing': statusOf(
    'warn',
    'Filter menu not found',
    'Lumivo couldn’t find its entry in the editor’s menus. Your result is saved: choose Filter ▸ Lumivo by hand to apply it.',
  ),
  'filter-disabled': statusOf(
    'warn',
    'Filter unavailable',
    'The editor has the Lumivo filter disabled right now (an 8-bit RGB document must be open and selected). Your result is saved: run Filter ▸ Lumivo once it is available.',
  ),
  'press-failed': statusOf(
    'warn',
    'Editor didn’t respond',
    'The editor didn’t react to the menu command. Your result is saved: choose Filter ▸ Lumivo by hand to apply it.',
  ),
  timeout: statusOf(
    'warn',
    'Still waiting for the editor',
    'The editor hasn’t picked up the result yet. If your image doesn’t change, choose Filter ▸ Lumivo by hand.',
  ),
};
const NOTHING_WRITTEN = {
  'host-changed': statusOf(
    'warn',
    'Another editor window',
    'This result was made from an image in another editor window than the one in front now, so nothing was written. Run Filter ▸ Lumivo again in the window you want to change.',
  ),
  'frame-changed': statusOf(
    'warn',
    'A new image arrived',
    'The editor sent a new image while this one was being applied, so nothing was written. Look at the new image and apply again.',
  ),
  'download-failed': statusOf(
    'bad',
    'Your creation could not be fetched',
    'Lumivo couldn’t bring your creation in from the service, so nothing was written. Check your connection and apply it again.',
  ),
};
const own = (table, key) => (Object.hasOwn(table, key) ? table[key] : undefined);

export function importStatus(ok, token) {
  if (ok !== true) {
    return (
      own(NOTHING_WRITTEN, token) ||
      statusOf(
        'bad',
        'Couldn’t hand the image over',
        'The edited image could not be saved for the editor. Please try again.',
      )
    );
  }
  return (
    own(IMPORT_OUTCOMES, token) ||
    statusOf(
      'warn',
      'Result saved',
      'The result is saved (' + token + '). Choose Filter ▸ Lumivo in the editor to apply it.',
    )
  );
}

export const accessibilityStatus = (granted) =>
  granted === true
    ? statusOf(
        'ok',
        'Permission granted',
        'Lumivo may now run the filter for you. Apply again whenever you are ready.',
      )
    : statusOf(
        'warn',
        'Permission not granted yet',
        'Allow Lumivo in the system’s accessibility settings, then press Apply again.',
        true,
      );

// The editor the panel serves has quit: the picture is gone from the panel too.
export const editorClosed = () =>
  statusOf(
    'warn',
    'Editor closed',
    'Run the Lumivo filter in your editor to bring a picture in again.',
  );

export const creationReady = (label) =>
  statusOf(
    'ok',
    'Your creation is ready',
    label + ' is done. Press “Apply result” or click the notification to put it into your image.',
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
  noFrame: 'Run the Lumivo filter in your editor to start.',
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
