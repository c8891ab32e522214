#include "web/page_assets.h"

const char page_html[] = R"HTML(<!DOCTYPE html>
<html lang="en">
<head>
<meta charset="utf-8">
<meta name="viewport" content="width=device-width, initial-scale=1">
<title>vantiro card</title>
<link rel="stylesheet" href="/app.css">
<script src="/app.js" defer></script>
</head>
<body>
<main id="sign"><canvas id="screen" width="1" height="1"></canvas></main>
<footer><span id="status" data-live="no" data-frames="0">connecting…</span></footer>
</body>
</html>
)HTML";

const char page_css[] = R"CSS(html, body { margin: 0; height: 100%; background: #000; color: #ccc;
  font: 14px/1.4 sans-serif; }
body { display: flex; flex-direction: column; }
main { flex: 1; display: flex; align-items: center; justify-content: center; overflow: hidden;
  min-height: 0; }
canvas { image-rendering: pixelated; display: block; }
footer { padding: 4px 8px; background: #111; border-top: 1px solid #333; white-space: nowrap;
  overflow: hidden; text-overflow: ellipsis; }
#status[data-live="yes"]::before { content: "● "; color: #20ff40; }
#status[data-live="no"]::before { content: "● "; color: #ff2020; }
)CSS";

// The live feed's messages are laid out in docs/card-protocol.md.
const char page_js[] = R"JS('use strict';
(function () {
  // The colours of the card's PNG: codes 0 red, 1 green, 2 yellow; any
  // other code is an unlit LED; the ground between LEDs is black.
  const lit = [[255, 32, 32], [32, 255, 64], [255, 224, 32]];
  const unlit = [40, 40, 40];
  const canvas = document.getElementById('screen');
  const status = document.getElementById('status');
  const ctx = canvas.getContext('2d', { alpha: false });
  let width = 0, height = 0, leds = null, cell = 1, image = null, words = null;
  let lines = 0, changed = 0, live = false, note = 'connecting…', frames = 0, retry = 500;
  const littleEndian = new Uint8Array(new Uint32Array([1]).buffer)[0] === 1;
  function pack(c) {
    return littleEndian ? (0xff000000 | (c[2] << 16) | (c[1] << 8) | c[0]) >>> 0
                        : ((c[0] << 24) | (c[1] << 16) | (c[2] << 8) | 0xff) >>> 0;
  }
  const colour = [];
  for (let i = 0; i < 256; ++i) colour.push(pack(i < 3 ? lit[i] : unlit));
  const ground = pack([0, 0, 0]);

  function showStatus() {
    const size = width ? width + ' × ' + height + ' LEDs' : 'no screen yet';
    const when = changed ? new Date(changed).toLocaleTimeString() : 'never';
    status.textContent = size + ' · ' + lines + ' lines run · last change ' + when + ' · ' +
                         (live ? 'live' : note);
    status.dataset.live = live ? 'yes' : 'no';
    status.dataset.frames = String(frames);
  }

  // Whole LEDs per square, the largest that fits the window (at least 1).
  function layout() {
    if (!width) return;
    const area = canvas.parentElement.getBoundingClientRect();
    cell = Math.max(1, Math.floor(Math.min(area.width / width, area.height / height)));
    canvas.width = width * cell;
    canvas.height = height * cell;
    canvas.style.width = canvas.width + 'px';
    canvas.style.height = canvas.height + 'px';
    image = ctx.createImageData(canvas.width, canvas.height);
    words = new Uint32Array(image.data.buffer);
    for (let y = 0; y < height; ++y) paintRow(y);
    ctx.putImageData(image, 0, 0);
  }

  // One LED is a cell × cell square; from 3 pixels up its last row and
  // column are the ground, as in the card's PNG.
  function paintRow(y) {
    const gap = cell >= 3 ? 1 : 0, stride = width * cell;
    for (let sub = 0; sub < cell; ++sub) {
      let at = (y * cell + sub) * stride;
      const groundRow = gap && sub === cell - 1;
      for (let x = 0; x < width; ++x) {
        const c = groundRow ? ground : colour[leds[y * width + x]];
        for (let k = 0; k < cell; ++k) words[at++] = (gap && k === cell - 1) ? ground : c;
      }
    }
  }

  function apply(buffer) {
    const v = new DataView(buffer);
    if (buffer.byteLength < 32) return;
    const kind = v.getUint8(0), w = v.getUint16(2, true), h = v.getUint16(4, true);
    const rows = v.getUint16(6, true);
    lines = v.getFloat64(8, true);
    changed = v.getFloat64(16, true);
    const whole = kind === 1 || w !== width || h !== height;
    if (whole) {
      width = w; height = h;
      leds = new Uint8Array(w * h).fill(255);
    }
    const bytes = new Uint8Array(buffer);
    const touched = [];
    for (let i = 0, at = 32; i < rows && at + 2 + w <= buffer.byteLength; ++i, at += 2 + w) {
      const y = v.getUint16(at, true);
      if (y >= h) continue;
      leds.set(bytes.subarray(at + 2, at + 2 + w), y * w);
      touched.push(y);
    }
    if (whole) {
      layout();
    } else if (touched.length) {
      for (const y of touched) paintRow(y);
      const top = Math.min.apply(null, touched), bottom = Math.max.apply(null, touched) + 1;
      ctx.putImageData(image, 0, 0, 0, top * cell, canvas.width, (bottom - top) * cell);
    }
    ++frames;
    status.dataset.applied = String(Date.now());
    showStatus();
  }

  // Why the card would not take this page: it says so in /state.json.
  function explain() {
    fetch('/state.json', { cache: 'no-store' }).then(function (r) { return r.json(); }).then(function (s) {
      if (s.viewers >= s.max_viewers) {
        note = 'refused: the card already shows its screen to ' + s.max_viewers +
               (s.max_viewers === 1 ? ' viewer' : ' viewers') + ', its most; trying again';
      } else {
        note = 'not live; reconnecting';
      }
      showStatus();
    }).catch(function () {
      note = 'not live: the card does not answer; reconnecting';
      showStatus();
    });
  }

  function connect() {
    const url = (location.protocol === 'https:' ? 'wss://' : 'ws://') + location.host + '/live';
    let opened = false;
    const socket = new WebSocket(url);
    socket.binaryType = 'arraybuffer';
    socket.onopen = function () { opened = true; live = true; retry = 500; showStatus(); };
    socket.onmessage = function (e) { if (e.data instanceof ArrayBuffer) apply(e.data); };
    socket.onclose = function () {
      live = false;
      note = opened ? 'not live; reconnecting' : 'not live';
      showStatus();
      explain();
      setTimeout(connect, retry);
      retry = Math.min(retry * 2, 5000);
    };
  }

  window.addEventListener('resize', layout);
  showStatus();
  connect();
})();
)JS";
