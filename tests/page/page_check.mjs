// The scope page end to end: lumo-render --html writes it, headless Chromium opens it from
// the file system at #t=3.0, #t=20.5 and #t=137.0, and each screenshot must show what
// lumo-render --scope draws for the same time and seed; the page's own mix (its Worker runs
// lumo's WebAssembly build) must be lumo-render --wav's for the first 17 s, and a page whose
// module does not load must say so.  A stereo file opened through the page's file button plays
// at its own rate (48 kHz) and, with the axes switched, shows what lumo-render --scope --input
// --axes draws at the same instant; a mono file is refused in words.
//
// usage: node --experimental-websocket page_check.mjs CHROMIUM LUMO_RENDER WEB_DIR WORK_DIR XYDEMO
// Exit status 0: passed; 1: failed; 77: no Chromium here (skipped).
//
// Speaks the DevTools protocol over Node's own WebSocket: nothing to install but Chromium.
import { spawnSync } from "node:child_process";
import fs from "node:fs";
import path from "node:path";
import { pathToFileURL } from "node:url";
import zlib from "node:zlib";

import { closeChromium, connect, launchChromium } from "./devtools.mjs";

const [chromium, lumoRender, webDir, workDir, xydemo] = process.argv.slice(2);
const TIMES = ["3.000", "20.500", "137.000"];
const SEED = "1";
const MIX_SECONDS = 17;
const SIZE = 600;  // lumo-render --scope's default size; the page's canvas is made this size
// Both pictures are compared on a coarse grid after a blur (see compare()).
const GRID = 150;
const BLUR_CELLS = 1.5;
// Measured with seed 1: the page and lumo-render --scope at the same time correlate 1.0000
// (to four places); the page 5 ms off still 0.989, one 1/30 s frame off 0.95 (3.0 s, where clip 3
// moves) and another figure 0.41 at most.  So 0.98 passes the same frame drawn by other
// means and fails a frame from another moment of a moving figure.
const LEAST_CORRELATION = 0.98;
const LIT = 40;            // green level of a lit pixel
const LEAST_LIT_PIXELS = 200;
// lumo-xydemo's star, 3.5 s into its file, turned a quarter by the axes switch: the wrong
// rate would land on another figure, the switch ignored would show the star upright.
const FILE_TIME = "3.500";
const FILE_AXES = "-y,x";

function fail(text) {
  console.error(`page_check: ${text}`);
  process.exit(1);
}

function run(program, args) {
  const result = spawnSync(program, args, { stdio: ["ignore", "inherit", "inherit"] });
  if (result.status !== 0) fail(`${program} ${args.join(" ")} exited with ${result.status}`);
}

// ---- PNG reading (8-bit RGB or RGBA, not interlaced: what Chromium and lumo write) ----------

function readPng(bytes) {
  let at = 8;
  let width = 0;
  let height = 0;
  let channels = 0;
  const data = [];
  while (at < bytes.length) {
    const length = bytes.readUInt32BE(at);
    const type = bytes.toString("latin1", at + 4, at + 8);
    const body = bytes.subarray(at + 8, at + 8 + length);
    if (type === "IHDR") {
      width = body.readUInt32BE(0);
      height = body.readUInt32BE(4);
      const [depth, colour, , , interlace] = body.subarray(8, 13);
      channels = { 2: 3, 6: 4 }[colour];
      if (depth !== 8 || !channels || interlace !== 0) fail(`unexpected PNG (depth ${depth}, colour ${colour})`);
    } else if (type === "IDAT") {
      data.push(body);
    }
    at += 12 + length;
  }
  const raw = zlib.inflateSync(Buffer.concat(data));
  const stride = width * channels;
  const pixels = new Uint8Array(height * stride);
  for (let y = 0; y < height; ++y) {
    const filter = raw[y * (stride + 1)];
    const line = raw.subarray(y * (stride + 1) + 1, (y + 1) * (stride + 1));
    for (let x = 0; x < stride; ++x) {
      const a = x >= channels ? pixels[y * stride + x - channels] : 0;
      const b = y > 0 ? pixels[(y - 1) * stride + x] : 0;
      const c = x >= channels && y > 0 ? pixels[(y - 1) * stride + x - channels] : 0;
      let v = line[x];
      if (filter === 1) v += a;
      else if (filter === 2) v += b;
      else if (filter === 3) v += (a + b) >> 1;
      else if (filter === 4) {
        const p = a + b - c;
        const pa = Math.abs(p - a), pb = Math.abs(p - b), pc = Math.abs(p - c);
        v += pa <= pb && pa <= pc ? a : pb <= pc ? b : c;
      }
      pixels[y * stride + x] = v & 255;
    }
  }
  // The green channel: the phosphor's light.
  const green = new Float64Array(width * height);
  for (let i = 0; i < width * height; ++i) green[i] = pixels[i * channels + 1];
  return { width, height, green };
}

// ---- The comparison --------------------------------------------------------------------------

// Mean green per cell of a GRID × GRID grid laid over the picture, then a Gaussian blur:
// a trace a pixel or two off, or a picture of another size, still lands on the same cells.
function blurredGrid(picture) {
  const grid = new Float64Array(GRID * GRID);
  const count = new Float64Array(GRID * GRID);
  for (let y = 0; y < picture.height; ++y) {
    const gy = Math.min(GRID - 1, Math.floor(((y + 0.5) * GRID) / picture.height));
    for (let x = 0; x < picture.width; ++x) {
      const gx = Math.min(GRID - 1, Math.floor(((x + 0.5) * GRID) / picture.width));
      grid[gy * GRID + gx] += picture.green[y * picture.width + x];
      count[gy * GRID + gx] += 1;
    }
  }
  for (let i = 0; i < grid.length; ++i) grid[i] /= Math.max(1, count[i]);
  const radius = Math.ceil(3 * BLUR_CELLS);
  const weights = [];
  for (let k = -radius; k <= radius; ++k) weights.push(Math.exp((-0.5 * k * k) / (BLUR_CELLS * BLUR_CELLS)));
  const pass = (input, dx, dy) => {
    const out = new Float64Array(input.length);
    for (let y = 0; y < GRID; ++y) {
      for (let x = 0; x < GRID; ++x) {
        let sum = 0;
        for (let k = -radius; k <= radius; ++k) {
          const sx = x + k * dx, sy = y + k * dy;
          if (sx >= 0 && sy >= 0 && sx < GRID && sy < GRID) sum += input[sy * GRID + sx] * weights[k + radius];
        }
        out[y * GRID + x] = sum;
      }
    }
    return out;
  };
  return pass(pass(grid, 1, 0), 0, 1);
}

function correlation(a, b) {
  let ma = 0, mb = 0;
  for (let i = 0; i < a.length; ++i) (ma += a[i]), (mb += b[i]);
  ma /= a.length;
  mb /= b.length;
  let ab = 0, aa = 0, bb = 0;
  for (let i = 0; i < a.length; ++i) {
    ab += (a[i] - ma) * (b[i] - mb);
    aa += (a[i] - ma) ** 2;
    bb += (b[i] - mb) ** 2;
  }
  return aa > 0 && bb > 0 ? ab / Math.sqrt(aa * bb) : 0;
}

// The mean difference in green levels over the pixels lit in either picture, when both
// have the same size: how closely the page follows lumo-render, for the log.
function meanDifference(a, b) {
  if (a.width !== b.width || a.height !== b.height) return NaN;
  let sum = 0;
  let count = 0;
  for (let i = 0; i < a.green.length; ++i) {
    if (a.green[i] < LIT && b.green[i] < LIT) continue;
    sum += Math.abs(a.green[i] - b.green[i]);
    ++count;
  }
  return count ? sum / count : 0;
}

function litPixels(picture) {
  return picture.green.reduce((n, g) => n + (g >= LIT ? 1 : 0), 0);
}

// ---- Chromium over the DevTools protocol ------------------------------------------------------

const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));

async function evaluate(send, session, expression) {
  const { result, exceptionDetails } = await send(
    "Runtime.evaluate", { expression, awaitPromise: true, returnByValue: true }, session);
  if (exceptionDetails) throw new Error(`${expression}: ${exceptionDetails.text} ${result.description || ""}`);
  return result.value;
}

// Waits until the page says it drew the frame ending at `time` (null: any), then photographs
// its canvas.
async function screenshot(send, session, time) {
  for (let waited = 0; ; waited += 100) {
    const status = await evaluate(send, session,
      "(() => { const root = document.documentElement, message = document.getElementById('message');" +
      " return root ? {state: root.dataset.state, frame: root.dataset.frame," +
      " message: message && !message.hidden ? message.textContent : ''} : {}; })()");
    if (status.state === "error") throw new Error(`the page failed: ${status.message}`);
    if (status.state === "ready" && status.message) throw new Error(`the page says: ${status.message}`);
    if (status.state === "ready" && (time === null || status.frame === time)) break;
    if (waited > 120000) throw new Error(`no frame for ${time} after 120 s (${JSON.stringify(status)})`);
    await sleep(100);
  }
  // Two animation frames: the drawing has reached the screen.
  await evaluate(send, session, "new Promise(r => requestAnimationFrame(() => requestAnimationFrame(r)))");
  const box = await evaluate(send, session,
    "(() => { const r = document.getElementById('screen').getBoundingClientRect();" +
    " return {x: r.x, y: r.y, width: r.width, height: r.height}; })()");
  const { data } = await send("Page.captureScreenshot", { format: "png", clip: { ...box, scale: 1 } }, session);
  return Buffer.from(data, "base64");
}

// ---- The test ------------------------------------------------------------------------------------

async function main() {
  if (!chromium || !fs.existsSync(chromium)) {
    console.log("page_check: no Chromium here; skipped (scripts/setup installs it)");
    process.exit(77);
  }
  if (typeof WebSocket !== "function") fail("this Node.js has no WebSocket; run it with --experimental-websocket");
  fs.rmSync(workDir, { recursive: true, force: true });
  const pageDir = path.join(workDir, "page");
  const referenceDir = path.join(workDir, "reference");
  fs.mkdirSync(referenceDir, { recursive: true });

  let started = Date.now();
  run(lumoRender, ["--html", pageDir, "--seed", SEED]);
  console.log(`page_check: lumo-render --html took ${((Date.now() - started) / 1000).toFixed(1)} s`);
  for (const name of ["index.html", "scope.js", "scope.css", "show-worker.js"]) {
    if (!fs.readFileSync(path.join(pageDir, name)).equals(fs.readFileSync(path.join(webDir, name)))) {
      fail(`${name} as lumo-render writes it is not web/${name}: rebuild lumo-render`);
    }
  }
  run(lumoRender, ["--scope", referenceDir, "--at", TIMES.join(","), "--seed", SEED]);
  const wavPath = path.join(workDir, "show.wav");
  run(lumoRender, ["--wav", wavPath, "--format", "s16", "--seconds", String(MIX_SECONDS), "--seed", SEED]);
  const wav = fs.readFileSync(wavPath);
  const data = wav.indexOf("data", 12, "latin1");
  let hash = 0x811c9dc5;  // FNV-1a, as the page's lumoScope.digest
  for (const byte of wav.subarray(data + 8, data + 8 + wav.readUInt32LE(data + 4))) hash = Math.imul(hash ^ byte, 0x01000193);
  const wavDigest = (hash >>> 0).toString(16).padStart(8, "0");
  // A file of one's own: lumo-xydemo's figures at 48 kHz, and a short mono file.
  const filePath = path.join(workDir, "xy.wav");
  run(xydemo, [filePath, "48000", "s16", "4"]);
  run(lumoRender, ["--scope", referenceDir, "--at", FILE_TIME, "--input", filePath, "--axes", FILE_AXES]);
  const monoPath = path.join(workDir, "mono.wav");
  const mono = Buffer.alloc(44 + 2 * 4800);
  mono.write("RIFF", 0, "latin1");
  mono.writeUInt32LE(mono.length - 8, 4);
  mono.write("WAVEfmt ", 8, "latin1");
  mono.writeUInt32LE(16, 16);
  mono.writeUInt16LE(1, 20);  // integer PCM, one channel, 48 kHz, 16 bits
  mono.writeUInt16LE(1, 22);
  mono.writeUInt32LE(48000, 24);
  mono.writeUInt32LE(96000, 28);
  mono.writeUInt16LE(2, 32);
  mono.writeUInt16LE(16, 34);
  mono.write("data", 36, "latin1");
  mono.writeUInt32LE(2 * 4800, 40);
  fs.writeFileSync(monoPath, mono);
  // The same page with a module that is not WebAssembly.
  const brokenDir = path.join(workDir, "broken");
  fs.cpSync(pageDir, brokenDir, { recursive: true });
  fs.writeFileSync(path.join(brokenDir, "show-module.js"),
    fs.readFileSync(path.join(pageDir, "show-module.js"), "utf8").replace(/"module":"[^"]*"/, '"module":"AAAA"'));

  const profile = path.join(workDir, "profile");
  const { browser, endpoint } = await launchChromium(chromium, profile, ["--allow-file-access-from-files"]);
  // Chromium goes with this script, however it ends (ctest stops a test with SIGTERM).
  process.on("exit", () => browser.kill());
  for (const signal of ["SIGINT", "SIGTERM"]) process.on(signal, () => process.exit(1));
  const problems = [];
  try {
    const { send, close } = await connect(endpoint);
    const { targetId } = await send("Target.createTarget", { url: "about:blank" });
    const { sessionId } = await send("Target.attachToTarget", { targetId, flatten: true });
    await send("Page.enable", {}, sessionId);
    // Room for a 600-pixel screen above the controls.
    await send("Emulation.setDeviceMetricsOverride",
      { width: SIZE, height: SIZE + 200, deviceScaleFactor: 1, mobile: false }, sessionId);

    const page = pathToFileURL(path.join(pageDir, "index.html")).href;
    started = Date.now();
    await send("Page.navigate", { url: `${page}#t=${TIMES[0]}` }, sessionId);
    const shots = [];
    for (const time of TIMES) {
      // The first time loads the page; the others follow links within it.
      if (time !== TIMES[0]) await evaluate(send, sessionId, `location.hash = "t=${time}"`);
      const png = await screenshot(send, sessionId, time);
      fs.writeFileSync(path.join(workDir, `page-${time}.png`), png);
      shots.push(readPng(png));
      if (time === TIMES[0]) console.log(`page_check: the page loaded and drew in ${((Date.now() - started) / 1000).toFixed(1)} s`);
    }

    const mixed = await evaluate(send, sessionId, `({digest: lumoScope.digest(${MIX_SECONDS * 96000}), timings: lumoScope.timings})`);
    console.log(`page_check: the page's mix of ${MIX_SECONDS} s: ${mixed.digest}, lumo-render --wav: ${wavDigest}; ` +
      `timings ${JSON.stringify(mixed.timings)}`);
    if (mixed.digest !== wavDigest) problems.push(`the page's mix is not lumo-render --wav's (${mixed.digest} against ${wavDigest})`);

    // Playing: frames follow the audio clock forward, and a pause holds the last one.
    await evaluate(send, sessionId, "lumoScope.seek(20); lumoScope.play()");
    let live = {};
    for (let waited = 0; waited < 120000 && !(live.position > 20.5 && live.frames >= 2); waited += 100) {
      await sleep(100);
      live = await evaluate(send, sessionId, "({position: lumoScope.position, frames: lumoScope.framesDrawn})");
    }
    const paused = await evaluate(send, sessionId,
      "lumoScope.pause(); new Promise(r => setTimeout(() => r({position: lumoScope.position," +
      " playing: lumoScope.state.playing}), 300))");
    const held = readPng(await screenshot(send, sessionId, null));
    console.log(`page_check: playing from 20 s drew ${live.frames} frames to ${live.position.toFixed(2)} s; ` +
      `paused at ${paused.position.toFixed(2)} s with ${litPixels(held)} lit pixels`);
    if (!(live.position > 20.5 && live.frames >= 2)) problems.push(`playing does not advance: ${JSON.stringify(live)}`);
    if (paused.playing || !(paused.position >= live.position) || litPixels(held) < LEAST_LIT_PIXELS) {
      problems.push(`pausing does not hold the picture: ${JSON.stringify(paused)}, ${litPixels(held)} lit pixels`);
    }

    // Files through the file button: the mono one is refused, the stereo one plays and is drawn.
    const opened = {};
    for (const file of [monoPath, filePath]) {
      const { result } = await send("Runtime.evaluate", { expression: "document.getElementById('file')" }, sessionId);
      await send("DOM.setFileInputFiles", { files: [file], objectId: result.objectId }, sessionId);
      for (let waited = 0; waited < 60000; waited += 100) {
        await sleep(100);
        opened[file] = await evaluate(send, sessionId,
          "(() => { const message = document.getElementById('message');" +
          " return {source: lumoScope.source, playing: lumoScope.state.playing," +
          " message: message.hidden ? '' : message.textContent}; })()");
        if (opened[file].message || opened[file].playing) break;
      }
    }
    if (!/mono/.test(opened[monoPath].message)) problems.push(`a mono file is not refused: ${JSON.stringify(opened[monoPath])}`);
    const source = opened[filePath].source;
    if (!(source && source.rate === 48000 && source.frames === 4 * 48000 && opened[filePath].playing)) {
      problems.push(`the stereo file does not play at its own rate: ${JSON.stringify(opened[filePath])}`);
    }
    await evaluate(send, sessionId, `(() => { lumoScope.pause(); const axes = document.getElementById("axes");` +
      ` axes.value = "${FILE_AXES}"; axes.dispatchEvent(new Event("input")); lumoScope.seek(${FILE_TIME}); })()`);
    const filePng = await screenshot(send, sessionId, null);
    fs.writeFileSync(path.join(workDir, `page-file-${FILE_TIME}.png`), filePng);
    const fileShot = readPng(filePng);
    const fileReference = readPng(fs.readFileSync(path.join(referenceDir, `scope-${FILE_TIME}.png`)));
    const fileCorrelation = correlation(blurredGrid(fileShot), blurredGrid(fileReference));
    console.log(`page_check: the file at ${FILE_TIME} s: ${litPixels(fileShot)} lit pixels (lumo-render --input --axes ${FILE_AXES}: ` +
      `${litPixels(fileReference)}); correlation ${fileCorrelation.toFixed(4)}`);
    if (!(fileCorrelation >= LEAST_CORRELATION)) {
      problems.push(`the file at ${FILE_TIME} s: correlation ${fileCorrelation.toFixed(3)} with lumo-render --input, below ${LEAST_CORRELATION}`);
    }

    // A module that does not load: words, not a blank page.
    await send("Page.navigate", { url: pathToFileURL(path.join(brokenDir, "index.html")).href }, sessionId);
    let broken = {};
    for (let waited = 0; waited < 60000 && broken.state !== "error"; waited += 100) {
      await sleep(100);
      broken = await evaluate(send, sessionId,
        "(() => { const root = document.documentElement, message = document.getElementById('message');" +
        " return root && message ? {state: root.dataset.state, shown: !message.hidden, text: message.textContent} : {}; })()");
    }
    if (!(broken.state === "error" && broken.shown && /could not be computed/.test(broken.text))) {
      problems.push(`a page whose module fails does not say so: ${JSON.stringify(broken)}`);
    }
    // Opening to first sound, on a fresh load that asks to play at once.
    await send("Page.navigate", { url: page }, sessionId);
    let sound = null;
    for (let waited = 0; waited < 60000 && !sound; waited += 50) {
      sound = await evaluate(send, sessionId,
        "(() => { if (!window.lumoScope) return null; if (!lumoScope.state.playing) lumoScope.play();" +
        " return lumoScope.timings.firstSound ? lumoScope.timings : null; })()");
      if (!sound) await sleep(50);
    }
    console.log(`page_check: opening to first sound: ${sound ? sound.firstSound.toFixed(0) : "never"} ms ` +
      `(${JSON.stringify(sound)})`);
    await evaluate(send, sessionId, "lumoScope.pause()");

    // A browser without WebGL gets words, not a black square.
    await send("Page.addScriptToEvaluateOnNewDocument",
      { source: "HTMLCanvasElement.prototype.getContext = function () { return null; };" }, sessionId);
    await send("Page.reload", {}, sessionId);
    let refusal = {};
    for (let waited = 0; waited < 120000 && refusal.state !== "ready"; waited += 100) {
      await sleep(100);
      refusal = await evaluate(send, sessionId,
        "(() => { const root = document.documentElement, message = document.getElementById('message');" +
        " return root && message ? {state: root.dataset.state, shown: !message.hidden, text: message.textContent," +
        " canvas: document.getElementById('screen').getBoundingClientRect().width} : {}; })()");
    }
    if (!(refusal.shown && /WebGL/.test(refusal.text) && refusal.canvas === 0)) {
      problems.push(`without WebGL the page does not say so: ${JSON.stringify(refusal)}`);
    }
    close();

    const references = TIMES.map((time) => readPng(fs.readFileSync(path.join(referenceDir, `scope-${time}.png`))));
    const grids = shots.map(blurredGrid);
    const referenceGrids = references.map(blurredGrid);
    for (let i = 0; i < TIMES.length; ++i) {
      const lit = litPixels(shots[i]);
      const row = referenceGrids.map((grid) => correlation(grids[i], grid).toFixed(4));
      console.log(`page_check: t=${TIMES[i]}: ${shots[i].width}×${shots[i].height}, ${lit} lit pixels ` +
        `(lumo-render: ${litPixels(references[i])}, mean difference there ` +
        `${meanDifference(shots[i], references[i]).toFixed(2)} levels); correlation with lumo-render at ${TIMES.join(", ")}: ${row.join(", ")}`);
      if (lit < LEAST_LIT_PIXELS) problems.push(`t=${TIMES[i]}: the page is blank (${lit} lit pixels)`);
      const r = correlation(grids[i], referenceGrids[i]);
      if (!(r >= LEAST_CORRELATION)) {
        problems.push(`t=${TIMES[i]}: correlation ${r.toFixed(3)} with lumo-render --scope, below ${LEAST_CORRELATION}`);
      }
    }
  } finally {
    await closeChromium(browser, profile);
  }
  if (problems.length) fail(problems.join("\n"));
  console.log("page_check: 1 passed, 0 failed");
}

main().catch((error) => fail(error.stack || String(error)));
