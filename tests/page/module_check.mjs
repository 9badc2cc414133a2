// The page's WebAssembly module under Node.js against the x86-64 build: the 27 figures of a
// seeded show (lumo-render --figures) and the first 17 s of its mix (lumo-render --wav
// --format s16) must be the same bytes.  It runs the module through web/show-worker.js,
// the code the page's Worker runs.
//
// usage: node module_check.mjs MODULE.wasm LUMO_RENDER SOURCE_DIR WORK_DIR
// Exit status 0: passed; 1: failed; 77: no lumo-render to compare with (skipped).
import { spawnSync } from "node:child_process";
import fs from "node:fs";
import path from "node:path";

import { loadShowModule, readModels } from "./show_module.mjs";

const [modulePath, lumoRender, sourceDir, workDir] = process.argv.slice(2);
const SEED = "7";
const SECONDS = 17;

function fail(text) {
  console.error(`module_check: ${text}`);
  process.exit(1);
}

function run(args) {
  const result = spawnSync(lumoRender, args, { stdio: ["ignore", "inherit", "inherit"] });
  if (result.status !== 0) fail(`lumo-render ${args.join(" ")} exited with ${result.status}`);
}

if (!lumoRender || !fs.existsSync(lumoRender)) {
  console.log(`module_check: no lumo-render at ${lumoRender}; skipped (build the ci preset first)`);
  process.exit(77);
}
fs.rmSync(workDir, { recursive: true, force: true });
fs.mkdirSync(path.join(workDir, "figures"), { recursive: true });
run(["--figures", path.join(workDir, "figures"), "--seed", SEED]);
run(["--wav", path.join(workDir, "show.wav"), "--format", "s16", "--seconds", String(SECONDS), "--seed", SEED]);

const show = await loadShowModule(sourceDir, modulePath, readModels(sourceDir));
const seed = BigInt(SEED);
let started = performance.now();
show.prepare([Number(seed >> 32n), Number(seed & 0xffffffffn)]);
const preparation = performance.now() - started;
started = performance.now();
for (let number; (number = show.nextFigure()) !== 0;) show.makeFigure(number);
const figures = performance.now() - started;

const problems = [];
let same = 0;
for (let number = 1; number <= 27; ++number) {
  const name = `figure-${String(number).padStart(2, "0")}.f32`;
  const native = fs.readFileSync(path.join(workDir, "figures", name));
  const mine = show.figure(number);
  const bytes = Buffer.from(mine.buffer, mine.byteOffset, mine.byteLength);
  if (bytes.equals(native)) {
    ++same;
    continue;
  }
  const theirs = new Float32Array(native.buffer, native.byteOffset, native.byteLength / 4);
  let differing = 0;
  let largest = 0;
  for (let i = 0; i < Math.min(theirs.length, mine.length); ++i) {
    if (theirs[i] !== mine[i] && !(Number.isNaN(theirs[i]) && Number.isNaN(mine[i]))) {
      ++differing;
      largest = Math.max(largest, Math.abs(theirs[i] - mine[i]));
    }
  }
  problems.push(`${name}: ${mine.length / 2} frames (x86-64: ${theirs.length / 2}), ` +
    `${differing} values differ, by ${largest} at most`);
}
console.log(`module_check: preparation took ${preparation.toFixed(0)} ms and the figures ${figures.toFixed(0)} ms; ` +
  `${same} of 27 figures byte-identical to x86-64`);

// The WAV's data chunk is the last one lumo-render writes.
const wav = fs.readFileSync(path.join(workDir, "show.wav"));
const data = wav.indexOf("data", 12, "latin1");
const expected = wav.subarray(data + 8, data + 8 + wav.readUInt32LE(data + 4));
const frames = SECONDS * show.sampleRate;
const stretch = show.bufferFrames * 94;
const mixed = [];
started = performance.now();
for (let first = 0; first < frames; first += stretch) mixed.push(show.mix(Math.min(stretch, frames - first)));
console.log(`module_check: mixing ${SECONDS} s took ${(performance.now() - started).toFixed(0)} ms; ` +
  `memory ${(show.memoryBytes / 2 ** 20).toFixed(0)} MiB`);
const sound = Buffer.concat(mixed.map((samples) => Buffer.from(samples.buffer)));
if (!sound.equals(expected)) {
  let at = 0;
  while (at < sound.length && sound[at] === expected[at]) ++at;
  problems.push(`the mix differs from lumo-render --wav from frame ${Math.floor(at / 4)} on ` +
    `(${sound.length} bytes against ${expected.length})`);
}
if (problems.length) fail(problems.join("\n"));
console.log("module_check: 1 passed, 0 failed");
