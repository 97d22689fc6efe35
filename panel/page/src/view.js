// The view: shows the state in the page's elements, part by part, and turns the user's clicks
// into the app's actions. Nothing here decides anything; it reads the state and draws it.

import { LOOKS, lookById, withLook } from './looks.js';
import { stageBox, tileCrop } from './lanes.js';
import { DEMO_ACCOUNT } from './service.js';
import { effectHint, sizeText } from './statuses.js';

const TILE_W = 96;
const TILE_H = 72;
// A stage that changed size asks for a new preview once it has kept still this long.
const RESIZE_SETTLE_MS = 120;

export function createView(window, state) {
  const document = window.document;
  const $ = (id) => document.getElementById(id);
  let actions = null; // the app, once bound

  // An image of the state ({ data, width, height }) drawn at the canvas's top left.
  const draw = (context, image) =>
    context.putImageData(new window.ImageData(image.data, image.width, image.height), 0, 0);

  const view = {
    size() {
      $('size').textContent = sizeText(state.frameSize);
    },

    stage() {
      if (state.stage === null) {
        $('overlay').classList.add('hidden');
      } else {
        $('overlay-text').textContent = state.stage;
        $('overlay').classList.remove('hidden');
      }
    },

    preview() {
      const image =
        state.previewSource &&
        withLook(
          state.previewSource,
          state.choice.kind === 'look' ? lookById(state.choice.id) : null,
          state.strength,
        );
      if (!image) return;
      const canvas = $('preview');
      canvas.width = image.width;
      canvas.height = image.height;
      draw(canvas.getContext('2d'), image);
    },

    tiles() {
      const box = $('edits');
      box.textContent = '';
      for (const look of LOOKS) {
        const button = document.createElement('button');
        button.className = 'edit';
        button.dataset.look = look.id;
        button.id = 'edit-' + look.id;
        const canvas = document.createElement('canvas');
        canvas.width = TILE_W;
        canvas.height = TILE_H;
        if (state.thumbSource) draw(canvas.getContext('2d'), withLook(state.thumbSource, look, 1));
        button.append(canvas, document.createTextNode(look.label));
        button.addEventListener('click', () => actions.choose({ kind: 'look', id: look.id }));
        box.append(button);
      }
      view.choice();
    },

    effects() {
      const box = $('effects');
      box.textContent = '';
      for (const effect of state.effects) {
        const button = document.createElement('button');
        button.className = 'effect';
        button.dataset.effect = effect.id;
        button.id = 'effect-' + effect.id;
        const hint = document.createElement('small');
        hint.textContent = effectHint(effect);
        button.append(document.createTextNode(effect.label), hint);
        button.addEventListener('click', () => actions.choose({ kind: 'effect', id: effect.id }));
        box.append(button);
      }
      view.choice();
    },

    choice() {
      const { kind, id } = state.choice;
      for (const b of document.querySelectorAll('.edit')) {
        b.classList.toggle('selected', kind === 'look' && b.dataset.look === id);
      }
      for (const b of document.querySelectorAll('.effect')) {
        b.classList.toggle('selected', kind === 'effect' && b.dataset.effect === id);
      }
      $('strength-row').classList.toggle('hidden', kind !== 'look');
    },

    strength() {
      $('strength-value').textContent = Math.round(state.strength * 100) + '%';
    },

    service() {
      const { card, signInForm, effects, accountButtons } = state.service;
      $('service-card').classList.toggle('hidden', card === null);
      $('service-card').textContent = card === null ? '' : card;
      $('sign-in').classList.toggle('hidden', !signInForm);
      $('effects').classList.toggle('hidden', !effects);
      $('account').classList.toggle('hidden', !accountButtons);
      $('sign-out').classList.toggle('hidden', !accountButtons);
    },

    signingIn() {
      $('sign-in-button').disabled = state.signingIn;
    },

    busy() {
      const button = $('apply');
      button.disabled = state.busy || !state.canApply;
      button.textContent = state.busy ? state.busyText : state.applyLabel;
      $('progress').classList.toggle('hidden', !state.busy);
      $('progress-bar').style.width = Math.round(state.progress * 100) + '%';
    },

    status() {
      const s = state.status;
      if (!s) {
        $('status').className = 'status';
        return;
      }
      $('status').className = 'status show ' + s.kind;
      $('status-title').textContent = s.title;
      $('status-text').textContent = s.text;
      $('repair').classList.toggle('hidden', !s.repair);
      $('retry').classList.toggle('hidden', !s.retry);
    },

    all() {
      view.size();
      view.stage();
      view.tiles();
      view.effects();
      view.strength();
      view.service();
      view.signingIn();
      view.busy();
      view.status();
    },

    // --- What the app asks of the page ---

    stageBox() {
      const stage = $('stage');
      return stageBox(stage.clientWidth, stage.clientHeight, window.devicePixelRatio);
    },

    // The look tiles' picture of an image: its centred 4:3 crop, scaled to a tile.
    tileImage(image) {
      const source = document.createElement('canvas');
      source.width = image.width;
      source.height = image.height;
      draw(source.getContext('2d'), image);
      const crop = tileCrop(image.width, image.height);
      const tile = document.createElement('canvas');
      tile.width = TILE_W;
      tile.height = TILE_H;
      const context = tile.getContext('2d');
      context.imageSmoothingQuality = 'high';
      context.drawImage(source, crop.x, crop.y, crop.width, crop.height, 0, 0, TILE_W, TILE_H);
      return context.getImageData(0, 0, TILE_W, TILE_H);
    },

    // Whether the sign-in form is shown with something typed into it.
    signInDraft() {
      return (
        !$('sign-in').classList.contains('hidden') &&
        ($('email').value !== '' || $('password').value !== '')
      );
    },

    // Calls back once the page has been painted with what it shows now.
    afterPaint(callback) {
      window.requestAnimationFrame(() => callback());
    },

    // The controls, wired to the app's actions.
    bind(app) {
      actions = app;
      $('apply').addEventListener('click', () => app.apply());
      $('repair').addEventListener('click', () => app.repair());
      $('retry').addEventListener('click', () => app.retry());
      $('account').addEventListener('click', () => app.openAccount());
      $('sign-out').addEventListener('click', () => app.signOut());
      $('sign-in').addEventListener('submit', (e) => {
        e.preventDefault();
        app.signIn($('email').value, $('password').value);
      });
      $('demo').addEventListener('click', () => {
        $('email').value = DEMO_ACCOUNT.email;
        $('password').value = DEMO_ACCOUNT.password;
        app.signIn(DEMO_ACCOUNT.email, DEMO_ACCOUNT.password);
      });
      $('strength').addEventListener('input', (e) => app.setStrength(Number(e.target.value)));
      for (const field of ['email', 'password']) {
        $(field).addEventListener('input', () => app.signInEdited());
      }
      let settle = 0;
      new window.ResizeObserver(() => {
        window.clearTimeout(settle);
        settle = window.setTimeout(() => app.stageResized(), RESIZE_SETTLE_MS);
      }).observe($('stage'));
    },
  };
  return view;
}
