// The show's preparation in the page's WebAssembly module (under Node.js, whose V8 is
// Chromium's) against the native build's, in one run, alternating, each in a fresh process:
// native is bench/prepare_once --threads 1 (the figures, the clips decoded from their
// embedded bytes); the module reads the models and makes every figure, and the clips'
// making (which native does not do) is counted apart.
//
//   node bench/module_prepare.mjs MODULE.wasm PREPARE_ONCE SOURCE_DIR [RUNS]
import { spawnSync } from "node:child_process";
import { fileURLToPath } from "node:url";

import { loadShowModule, readModels } from "../tests/page/show_module.mjs";

const [modulePath, prepareOnce, sourceDir, runs = "5"] = process.argv.slice(2);
if (process.argv[6] === "--child") {
  const models = readModels(sourceDir);
  const started = performance.now();
  const show = await loadShowModule(sourceDir, modulePath, models);
  show.prepare([0, 7]);
  let clips = 0;
  for (let number; (number = show.nextFigure()) !== 0;) {
    const at = performance.now();
    show.makeFigure(number);
    if (number >= 4 && number <= 11) clips += performance.now() - at;  // figures 4 … 11 are the clips
  }
  const total = performance.now() - started;
  console.log(JSON.stringify({ total, clips, memory: show.memoryBytes }));
  process.exit(0);
}

const median = (values) => [...values].sort((a, b) => a - b)[Math.floor((values.length - 1) / 2)];
const native = [];
const figures = [];
const clips = [];
for (let run = 0; run < Number(runs); ++run) {
  const own = spawnSync(prepareOnce, ["--threads", "1", "--seed", "7"], { encoding: "utf8" });
  native.push(Number(/wall ([\d.]+) ms/.exec(own.stdout)[1]));
  const child = spawnSync(process.execPath, [fileURLToPath(import.meta.url), modulePath, prepareOnce, sourceDir, runs, "--child"],
    { encoding: "utf8" });
  const result = JSON.parse(child.stdout);
  figures.push(result.total - result.clips);
  clips.push(result.clips);
  console.log(`run ${run + 1}: native ${native.at(-1).toFixed(0)} ms; module ${figures.at(-1).toFixed(0)} ms ` +
    `and the clips' making ${clips.at(-1).toFixed(0)} ms; wasm memory ${(result.memory / 2 ** 20).toFixed(0)} MiB`);
}
console.log(`median of ${runs}: native ${median(native).toFixed(0)} ms, module without the clips' making ` +
  `${median(figures).toFixed(0)} ms (×${(median(figures) / median(native)).toFixed(2)}), the clips' making ${median(clips).toFixed(0)} ms`);
