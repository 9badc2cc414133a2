// Headless Chromium driven over the DevTools protocol, for the page's test and its benchmark:
// a browser of its own with a new profile, and a session to send commands to.
import { spawn } from "node:child_process";
import fs from "node:fs";

// Starts `chromium` on about:blank with the profile folder `profile` (and `flags`); resolves
// to { browser, endpoint } once it listens.
export function launchChromium(chromium, profile, flags = []) {
  const browser = spawn(chromium, [
    "--headless", "--no-sandbox", "--disable-gpu", "--enable-unsafe-swiftshader", "--use-angle=swiftshader",
    "--autoplay-policy=no-user-gesture-required", "--disable-quic", "--no-first-run",
    "--disable-background-networking", "--disable-component-update", "--disable-sync", ...flags,
    `--user-data-dir=${profile}`, "--remote-debugging-port=0", "about:blank",
  ], { stdio: ["ignore", "ignore", "pipe"] });
  return new Promise((resolve, reject) => {
    let text = "";
    const timer = setTimeout(() => reject(new Error("Chromium did not start within 60 s")), 60000);
    browser.stderr.on("data", (chunk) => {
      text += chunk;
      const found = /DevTools listening on (ws:\/\/\S+)/.exec(text);
      if (found) {
        clearTimeout(timer);
        resolve({ browser, endpoint: found[1] });
      }
    });
    browser.on("exit", (code) => reject(new Error(`Chromium exited (${code}): ${text.slice(-2000)}`)));
  });
}

// Resolves to { send(method, params, sessionId), close() } on the browser at `endpoint`.
export function connect(endpoint) {
  const socket = new WebSocket(endpoint);
  let next = 1;
  const waiting = new Map();
  socket.addEventListener("message", (event) => {
    const reply = JSON.parse(event.data);
    const pending = waiting.get(reply.id);
    if (!pending) return;
    waiting.delete(reply.id);
    if (reply.error) pending.reject(new Error(`${pending.method}: ${reply.error.message}`));
    else pending.resolve(reply.result);
  });
  const send = (method, params = {}, sessionId = undefined) =>
    new Promise((resolve, reject) => {
      const id = next++;
      waiting.set(id, { resolve, reject, method });
      socket.send(JSON.stringify({ id, method, params, sessionId }));
    });
  return new Promise((resolve, reject) => {
    socket.addEventListener("open", () => resolve({ send, close: () => socket.close() }));
    socket.addEventListener("error", () => reject(new Error(`cannot connect to ${endpoint}`)));
  });
}

// Ends the browser and removes its profile.  Chromium's helper processes may still write into
// the profile after the browser has ended: what they leave is removed with the work folder
// at the next run.
export async function closeChromium(browser, profile) {
  browser.kill();
  await new Promise((resolve) => (browser.exitCode !== null ? resolve() : browser.once("exit", resolve)));
  try {
    fs.rmSync(profile, { recursive: true, force: true, maxRetries: 5, retryDelay: 100 });
  } catch {}
}
