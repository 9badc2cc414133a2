// The show computed in the page: lumo's WebAssembly module (show-module.js, LUMO_MODULE)
// run in a Worker, so the page stays responsive while it prepares the show and mixes it.
//
// The page starts the Worker from a Blob made of these two functions' text: a page opened
// from file:// may not load a Worker script from a file.  Node.js loads the same file for
// the module's tests, through lumoShowModule alone.
"use strict";

// The module instantiated, with the four system calls it makes: writes to stderr (kept,
// for the message when it stops), and proc_exit, which ends the call that stopped it.
async function lumoShowModule(bytes, models) {
  let memory = null;
  let stderr = "";
  const view = () => new DataView(memory.buffer);
  const system = {
    fd_write(fd, iovs, count, written) {
      let total = 0;
      for (let i = 0; i < count; ++i) {
        const at = view().getUint32(iovs + 8 * i, true);
        const length = view().getUint32(iovs + 8 * i + 4, true);
        if (fd === 2) stderr += new TextDecoder().decode(new Uint8Array(memory.buffer, at, length));
        total += length;
      }
      view().setUint32(written, total, true);
      return 0;
    },
    fd_close: () => 0,
    fd_seek: () => 70,  // ESPIPE: stdout and stderr are pipes
    proc_exit(status) {
      throw new Error(`the show's module stopped (${status}): ${stderr.trim()}`);
    },
  };
  // Compiled synchronously: a Worker may, and it does not wait on the page's event loop.
  const instance = new WebAssembly.Instance(new WebAssembly.Module(bytes), { wasi_snapshot_preview1: system });
  const lumo = instance.exports;
  memory = lumo.memory;
  lumo._initialize();
  const encoder = new TextEncoder();
  models.forEach((text, i) => {
    const encoded = encoder.encode(text);
    const at = lumo.lumo_alloc(encoded.length);
    new Uint8Array(memory.buffer, at, encoded.length).set(encoded);
    lumo.lumo_set_model(i + 1, at, encoded.length);
  });
  return {
    bufferFrames: lumo.lumo_buffer_frames(),
    sampleRate: lumo.lumo_sample_rate(),
    showSeconds: lumo.lumo_show_seconds(),
    // seed: [high, low], two 32-bit halves of lumo-render's --seed.  Everything but the
    // figures, which makeFigure makes one at a time.
    prepare(seed) {
      if (lumo.lumo_prepare(seed[0] >>> 0, seed[1] >>> 0) !== 0) throw new Error("the module lacks a model");
    },
    nextFigure: () => lumo.lumo_next_figure(),  // 1 … 27 in the order the mix needs them; 0: all made
    makeFigure: (number) => lumo.lumo_make_figure(number),
    mixLimit: () => lumo.lumo_mix_limit(),  // frames the figures made so far allow
    // Figure 1 … 27 as --figures writes it: x, y interleaved (a copy).
    figure(number) {
      const at = lumo.lumo_figure(number);
      return new Float32Array(memory.buffer, at, 2 * lumo.lumo_figure_frames()).slice();
    },
    // The next `frames` frames of the show, 16-bit x, y interleaved (a copy).
    mix(frames) {
      const at = lumo.lumo_mix(frames);
      return new Int16Array(memory.buffer, at, 2 * frames).slice();
    },
    get memoryBytes() { return memory.buffer.byteLength; },
  };
}

// The Worker: one message { module, models, seed, frames } starts it; it answers with
// { begun } at once, { prepared }, then { first, samples } stretch after stretch until `frames` frames are
// mixed, making each figure when the mix reaches its first use, then { done }; or { error }.
function lumoShowWorker() {
  self.onmessage = async (event) => {
    const { module, models, seed, frames } = event.data;
    self.postMessage({ begun: true });
    try {
      const started = performance.now();
      const show = await lumoShowModule(module, models);
      show.prepare(seed);
      const prepared = performance.now();
      self.postMessage({ prepared: { milliseconds: prepared - started, memoryBytes: show.memoryBytes } });
      // About a second a message, in whole buffers: the mix goes on across messages as one
      // run of buffers, the ones lumo-render --wav mixes.
      const stretch = show.bufferFrames * Math.ceil(show.sampleRate / show.bufferFrames);
      for (let first = 0; first < frames; ) {
        const limit = Math.min(frames, show.mixLimit());
        if (first >= limit) {
          show.makeFigure(show.nextFigure());
          continue;
        }
        const count = Math.min(stretch, limit - first);
        const samples = show.mix(count);
        self.postMessage({ first, samples, memoryBytes: show.memoryBytes }, [samples.buffer]);
        first += count;
      }
      self.postMessage({ done: { milliseconds: performance.now() - prepared } });
    } catch (error) {
      self.postMessage({ error: String(error.message || error) });
    }
  };
}
