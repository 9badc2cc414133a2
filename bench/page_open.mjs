// Opening the show's page as a visitor meets it: a fresh headless Chromium opens a page that
// lumo-render --html wrote from the file system, asks it to play at once, and reports what
// the page measures of itself (lumoScope.timings: the first sound, the Worker's preparation
// and the whole mix, in ms from the page's start) and, once the whole show is mixed, the
// peak resident memory of the tab's renderer process (the page and its Worker).
//
//   node --experimental-websocket bench/page_open.mjs CHROMIUM PAGE_DIR [RUNS] [--silent]
//
// --silent leaves the page unplayed (no first sound): the memory without the sound queued.
// Each run is a new browser with a new profile; the medians close the output.  Timings
// belong here, never in a test: the machine is shared.
import fs from "node:fs";
import os from "node:os";
import path from "node:path";
import { pathToFileURL } from "node:url";

import { closeChromium, connect, launchChromium } from "../tests/page/devtools.mjs";

const [chromium, pageDir, runs = "5", silent] = process.argv.slice(2);
const play = silent !== "--silent";
if (!chromium || !pageDir) {
  console.error("usage: node --experimental-websocket page_open.mjs CHROMIUM PAGE_DIR [RUNS]");
  process.exit(2);
}
const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));

async function evaluate(send, session, expression) {
  const { result, exceptionDetails } = await send(
    "Runtime.evaluate", { expression, awaitPromise: true, returnByValue: true }, session);
  if (exceptionDetails) throw new Error(`${expression}: ${exceptionDetails.text}`);
  return result.value;
}

// The renderer processes' peak resident sizes (VmHWM), in MiB: the only renderer is the tab's.
function rendererPeaks(browserPid) {
  const peaks = [];
  for (const pid of fs.readdirSync("/proc").filter((name) => /^\d+$/.test(name))) {
    try {
      const command = fs.readFileSync(`/proc/${pid}/cmdline`, "utf8");
      if (!command.includes("--type=renderer")) continue;
      const status = fs.readFileSync(`/proc/${pid}/status`, "utf8");
      const parent = Number(/PPid:\s+(\d+)/.exec(status)[1]);
      const peak = Number(/VmHWM:\s+(\d+)/.exec(status)[1]) / 1024;
      peaks.push({ pid: Number(pid), parent, peak });
    } catch {}
  }
  return peaks.filter((p) => p.parent === browserPid || isDescendant(p.parent, browserPid)).map((p) => p.peak);
}

function isDescendant(pid, ancestor) {
  for (let at = pid; at > 1;) {
    if (at === ancestor) return true;
    try {
      at = Number(/PPid:\s+(\d+)/.exec(fs.readFileSync(`/proc/${at}/status`, "utf8"))[1]);
    } catch {
      return false;
    }
  }
  return false;
}

async function openOnce(page) {
  const profile = fs.mkdtempSync(path.join(os.tmpdir(), "lumo-page-open-"));
  const { browser, endpoint } = await launchChromium(chromium, profile);
  try {
    const { send, close } = await connect(endpoint);
    const { targetId } = await send("Target.createTarget", { url: "about:blank" });
    const { sessionId } = await send("Target.attachToTarget", { targetId, flatten: true });
    await send("Page.navigate", { url: page }, sessionId);
    let timings = null;
    for (let waited = 0; waited < 300000 && !(timings && timings.mixed && (timings.firstSound || !play)); waited += 50) {
      timings = await evaluate(send, sessionId,
        `(() => { if (!window.lumoScope) return null; if (${play} && !lumoScope.state.playing) lumoScope.play();` +
        " const m = document.getElementById('message');" +
        " return Object.assign({}, lumoScope.timings, { state: document.documentElement.dataset.state," +
        " message: m && !m.hidden ? m.textContent : '' }); })()");
      if (timings && timings.state === "error") throw new Error(`the page failed: ${timings.message}`);
      await sleep(50);
    }
    const peaks = rendererPeaks(browser.pid);
    close();
    return { ...timings, rendererPeakMiB: Math.max(...peaks) };
  } finally {
    await closeChromium(browser, profile);
  }
}

const median = (values) => {
  const sorted = [...values].sort((a, b) => a - b);
  return sorted[Math.floor((sorted.length - 1) / 2)];
};
const page = pathToFileURL(path.resolve(pageDir, "index.html")).href;
const results = [];
for (let run = 0; run < Number(runs); ++run) {
  const result = await openOnce(page);
  results.push(result);
  console.log(`run ${run + 1}: scripts ${result.scriptsLoaded.toFixed(0)} ms, ready ${result.ready.toFixed(0)} ms, ` +
    `first samples ${result.firstSamples.toFixed(0)} ms, first sound ${(result.firstSound || NaN).toFixed(0)} ms, prepared ${result.prepared.toFixed(0)} ms ` +
    `(Worker ${result.preparation.toFixed(0)} ms), mixed ${result.mixed.toFixed(0)} ms, ` +
    `Worker memory ${(result.memoryBytes / 2 ** 20).toFixed(0)} MiB, renderer peak ${result.rendererPeakMiB.toFixed(0)} MiB; ` +
    `load ${os.loadavg()[0].toFixed(1)}`);
}
const keys = ["scriptsLoaded", "firstSound", "prepared", "preparation", "mixed", "rendererPeakMiB"];
console.log(`median of ${results.length}: ` +
  keys.map((key) => `${key} ${median(results.map((r) => r[key] || NaN)).toFixed(0)}`).join(", "));
