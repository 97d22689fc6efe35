// The page's one state: everything the view shows is read from here, and only the app writes
// it.

import { buttonLabels, serviceCardTexts, stageTexts } from './statuses.js';

export function createState() {
  return {
    frameSize: null, // the frame's size as the panel announced it: { width, height }
    frame: null, // the frame shown: { number, width, height } as the panel named it
    editor: '', // the editor the frame belongs to: its bundle identifier, as the panel named it
    // Images as { data (RGBA bytes), width, height }: the frame fitted within the stage as the
    // panel made it, and a small crop of it for the look tiles.
    previewSource: null,
    thumbSource: null,
    box: null, // the stage, in device pixels, that the last preview was asked for
    stage: stageTexts.loading, // what the stage says over the preview; null shows the preview
    choice: { kind: 'look', id: 'original' }, // or { kind: 'effect', id }
    strength: 1,

    // The service section: the card's sentence (null hides it), and which parts are shown.
    service: {
      card: serviceCardTexts.connecting,
      signInForm: false,
      effects: false,
      accountButtons: false,
    },
    signingIn: false,
    effects: [], // the service's effects for this account
    creations: new Map(), // id -> { id, label, url }, the finished ones of this run
    ready: null, // the id of a creation waiting for "Apply result"

    busy: false,
    busyText: '',
    applyLabel: buttonLabels.apply,
    canApply: false, // whether "Apply" would change anything
    progress: 0, // 0 to 1
    status: null, // the one status under the button: { kind, title, text, repair, retry }
  };
}
