// page.js - the page around the demo: start button, progress bar while the
// song renders, Web Audio playback, full screen, and the state the browser
// test reads (window.kestovar).
//
// The program (kestovar.js / .wasm, built from web_main.cpp) renders the song
// and draws; this file only moves bytes and events between it and the
// browser. Browsers start sound only after a gesture, so the AudioContext is
// made in the start button's click handler. The scene's position comes from
// that context's clock (Module.audioPlayed, frames played so far). The
// program draws on the canvas through its display layer, which also takes
// Escape (a press or a release ends the show).
//
// Full screen: browsers keep Escape for leaving full screen. Where the
// browser has the Keyboard Lock API (Chromium-based ones), the page asks for
// Escape when it goes full screen, so a press still ends the show (holding
// it down leaves full screen). Elsewhere the first Escape leaves full
// screen and the show plays on in the page; a second one ends it. The
// full-screen button is there before the show and, during it, while the
// pointer moves; its label says what a click does.
//
// ?stills=T1,T2,...&fps=N (a test hook) renders the song, then draws the
// frames at those song positions (seconds, rising) into a 640 x 480 canvas
// instead of playing, as `kestovar --still T:FILE.png --size 640x480 --fps N`
// makes them, and keeps them as PNG data URLs. A frame rate the native
// program refuses (above its maximum, or not a whole number) is refused here
// too, before any work.
'use strict';

const RATE = 44100;
const SLICE_MS = 25;        // rendering per call, between progress updates

const state = window.kestovar = {
  phase: 'loading',  // loading, ready, rendering, playing, ended, stills-done, failed
  progress: 0,
  prerenderMs: null, // from the click to the last block
  prerenderWorkMs: 0, // of which spent rendering
  audioHash: null,   // SHA-256 of the rendered song's bytes, hex
  frames: 0,
  fps: null,
  error: null,
  stills: {},
  keyboardLock: null, // whether the browser holds Escape for the page in full screen
};

const canvas = document.getElementById('canvas');
const panel = document.getElementById('panel');
const startButton = document.getElementById('start');
const progress = document.getElementById('progress');
const statusLine = document.getElementById('status');
const fullscreenButton = document.getElementById('fullscreen');
const params = new URLSearchParams(location.search);
const stillList = params.get('stills') ? params.get('stills').split(',').map(Number) : null;
const stillFps = Number(params.get('fps') || 60);
const POINTER_IDLE_MS = 2000; // the full-screen button hides after this

function fail(message) {
  state.phase = 'failed';
  state.error = message;
  panel.hidden = false;
  statusLine.textContent = message;
  console.error('kestovar: ' + message);
}

var Module = {
  canvas: canvas,
  print: (text) => console.log(text),
  printErr: (text) => console.warn(text),
  onRuntimeInitialized: () => {
    progress.max = Module._web_blocks();
    if (stillList) {
      const most = Module._web_max_fps();
      if (!Number.isInteger(stillFps) || stillFps < 1 || stillFps > most) {
        fail('fps=' + params.get('fps') + ' is not a frame rate from 1 to ' + most);
        startButton.hidden = true;
        return;
      }
    }
    state.phase = 'ready';
    fullscreenButton.hidden = !!stillList;
    startButton.textContent = 'Start';
    startButton.disabled = false;
  },
  onAbort: (what) => fail('the program stopped: ' + what),
};

// Renders the song in slices, giving the browser a turn between them (a
// message rather than a timer: timers wait at least 4 ms once nested).
function prerender() {
  const channel = new MessageChannel();
  return new Promise((resolve, reject) => {
    const step = () => {
      const begin = performance.now();
      const done = Module._web_prerender(SLICE_MS);
      state.prerenderWorkMs += performance.now() - begin;
      if (done < 0) {
        reject(new Error(Module.UTF8ToString(Module._web_error())));
        return;
      }
      progress.value = done;
      state.progress = done / progress.max;
      if (done >= progress.max) resolve();
      else channel.port2.postMessage(0);
    };
    channel.port1.onmessage = step;
    step();
  });
}

function songBytes() {
  const start = Module._web_mixed();
  return Module.HEAPU8.subarray(start, start + Module._web_mixed_bytes());
}

async function sha256(bytes) {
  const digest = await crypto.subtle.digest('SHA-256', bytes.slice());
  return Array.from(new Uint8Array(digest), (b) => b.toString(16).padStart(2, '0')).join('');
}

function songBuffer(ctx) {
  const start = Module._web_mixed() >> 1;
  const frames = Module._web_mixed_bytes() / 4;
  const buffer = ctx.createBuffer(2, frames, RATE);
  const left = buffer.getChannelData(0), right = buffer.getChannelData(1);
  const samples = Module.HEAP16;
  for (let i = 0, j = start; i < frames; i++, j += 2) {
    left[i] = samples[j] / 32768;
    right[i] = samples[j + 1] / 32768;
  }
  return buffer;
}

function fitCanvas() {
  const scale = window.devicePixelRatio || 1;
  canvas.width = Math.max(1, Math.round(canvas.clientWidth * scale));
  canvas.height = Math.max(1, Math.round(canvas.clientHeight * scale));
}

function open() {
  if (Module._web_open() !== 0) throw new Error(Module.UTF8ToString(Module._web_error()));
}

// The full-screen button: its label says what a click does.
function showFullscreenState() {
  const on = !!document.fullscreenElement;
  fullscreenButton.textContent = on ? 'Leave full screen' : 'Full screen';
  fullscreenButton.setAttribute('aria-pressed', on ? 'true' : 'false');
}

async function toggleFullscreen() {
  if (document.fullscreenElement) {
    await document.exitFullscreen();
    return;
  }
  // Asked for within the click, which the browser requires.
  const going = document.documentElement.requestFullscreen();
  // Held by the browser only while in full screen: a press of Escape then
  // reaches the page instead of leaving full screen.
  state.keyboardLock = false;
  if (navigator.keyboard && navigator.keyboard.lock) {
    try {
      await navigator.keyboard.lock(['Escape']);
      state.keyboardLock = true;
    } catch (e) {
      console.warn('full screen: Escape stays with the browser (' + e.message + ')');
    }
  }
  await going;
}

// During the show the button (and the pointer) hide until the pointer moves.
let idleTimer = null;
function pointerMoved() {
  if (state.phase !== 'playing') return;
  fullscreenButton.hidden = false;
  document.body.classList.remove('idle');
  clearTimeout(idleTimer);
  idleTimer = setTimeout(pointerIdle, POINTER_IDLE_MS);
}
function pointerIdle() {
  if (state.phase !== 'playing') return;
  fullscreenButton.hidden = true;
  document.body.classList.add('idle');
}

function play(ctx) {
  const source = ctx.createBufferSource();
  source.buffer = songBuffer(ctx);
  source.connect(ctx.destination);
  fitCanvas();
  open();
  // The display layer letterboxes the picture into the canvas's new size
  // from the next frame on.
  window.addEventListener('resize', () => {
    if (state.phase === 'playing') fitCanvas();
  });
  Module.onShowEnd = (frames, fps) => {
    source.stop();
    ctx.close();
    state.frames = frames;
    state.fps = fps;
    state.phase = 'ended';
    clearTimeout(idleTimer);
    document.body.classList.remove('idle');
    fullscreenButton.hidden = true;
    if (navigator.keyboard && navigator.keyboard.unlock) navigator.keyboard.unlock();
    if (document.fullscreenElement) document.exitFullscreen();
    startButton.hidden = true;
    progress.hidden = true;
    statusLine.textContent = 'FPS: ' + fps;
    panel.hidden = false;
  };
  const when = ctx.currentTime + 0.05;
  Module.audioPlayed = () => (ctx.currentTime - when) * RATE;
  source.start(when);
  panel.hidden = true;
  state.phase = 'playing';
  pointerIdle();
  Module._web_show_start();
}

function stills() {
  canvas.className = 'still';
  canvas.width = 640;
  canvas.height = 480;
  panel.hidden = true;
  open();
  for (const t of stillList) {
    if (Module._web_still(t, stillFps) !== 0)
      throw new Error('no still: ' + Module.UTF8ToString(Module._web_error()));
    state.stills[t] = canvas.toDataURL('image/png');
  }
  state.phase = 'stills-done';
}

async function start() {
  startButton.disabled = true;
  // Made inside the click, so that the browser lets it sound.
  const ctx = stillList ? null : new AudioContext({sampleRate: RATE});
  state.phase = 'rendering';
  startButton.hidden = true;
  progress.hidden = false;
  statusLine.textContent = 'Rendering the song…';
  try {
    const begin = performance.now();
    await prerender();
    state.prerenderMs = performance.now() - begin;
    state.audioHash = await sha256(songBytes());
    statusLine.textContent = '';
    if (stillList) stills();
    else play(ctx);
  } catch (e) {
    fail(e.message);
  }
}

startButton.addEventListener('click', start);
fullscreenButton.addEventListener('click', () => {
  toggleFullscreen().catch((e) => console.warn('full screen: ' + e.message));
});
document.addEventListener('fullscreenchange', () => {
  showFullscreenState();
  if (!document.fullscreenElement && navigator.keyboard && navigator.keyboard.unlock)
    navigator.keyboard.unlock();
});
document.addEventListener('pointermove', pointerMoved);
showFullscreenState();
