// lumo on a scope: the show's sound played through WebAudio and drawn, as it is heard, the
// way lumo-render --scope draws it (src/scope/scope.hpp has the model and its reasons; the
// passes below follow it step for step, with the shaders of lumo's own GL view, so the page
// and the PNGs agree).
//
//  1. Reconstruction, on the CPU: the samples of the frame, ×8 by the same Kaiser-windowed
//     sinc, into a path of points.
//  2. Beam: one quad per step of the path, reaching 4σ around it (steps along which the
//     beam moves evenly are merged into one), all drawn in one call; each pixel gets the
//     Gaussian spot integrated along the segment (erf), added into a float glow texture.
//  3. Persistence: before a frame adds its light the glow is multiplied by
//     d = exp(−Δ/τ), Δ the time the frame covers, and the frame's segments share 1 − d of a
//     frame's light; so any frame rate shows the same picture.
//  4. Bloom: the glow averaged over f × f blocks, blurred by a separable Gaussian.
//  5. Tone map: v = exposure (glow + bloom · halo), c = v k / (1 + v k) per channel, √c.
//
// show.js (LUMO_SHOW) and show-module.js (LUMO_MODULE) come from lumo-render --html; the
// show's sound is computed beside the page, by lumo's own code in a Worker (show-worker.js).
// A visitor's own stereo file, opened or dropped on the page, plays on the same scope at its
// own rate in place of the show.
"use strict";

(function () {
  const RATE = 96000;
  const CHANNELS = 2;

  // The scope's constants and defaults: show.js has them from src/scope/scope.hpp itself.
  const MODEL = typeof LUMO_SHOW === "undefined" ? null : LUMO_SHOW.scope;
  // A frame that comes late (a slow renderer, a hidden tab) draws only the sound of the
  // last four time constants before it, at least 1/60 s and at most 1/4 s: older light
  // would have faded below 2% anyway, so it looks like a frame of a fast renderer.
  function longestFrame(persistence, rate) {
    return Math.round(Math.min(rate / 4, Math.max(rate / 60, 4 * persistence * rate)));
  }

  const root = document.documentElement;
  const canvas = document.getElementById("screen");
  const message = document.getElementById("message");
  const ui = {
    play: document.getElementById("play"),
    clock: document.getElementById("clock"),
    playing: document.getElementById("playing"),
    timeline: document.getElementById("timeline"),
    lanes: document.getElementById("lanes"),
    playhead: document.getElementById("playhead"),
    persistence: document.getElementById("persistence"),
    persistenceValue: document.getElementById("persistence-value"),
    brightness: document.getElementById("brightness"),
    brightnessValue: document.getElementById("brightness-value"),
    focus: document.getElementById("focus"),
    focusValue: document.getElementById("focus-value"),
    colour: document.getElementById("colour"),
    axes: document.getElementById("axes"),
    file: document.getElementById("file"),
    show: document.getElementById("show"),
    fullscreen: document.getElementById("fullscreen"),
    progress: document.getElementById("progress"),
  };

  function say(text) {
    message.textContent = text;
    message.hidden = false;
  }

  // ---- The show's sound ------------------------------------------------------------------

  function fail(text) {
    root.dataset.state = "error";
    say(text);
  }

  if (typeof LUMO_SHOW === "undefined" || typeof LUMO_MODULE === "undefined" ||
      typeof lumoShowWorker !== "function") {
    fail("The show's files (show.js, show-module.js, show-worker.js) are missing beside this page. " +
      "lumo-render --html DIR writes them.");
    return;
  }
  const show = LUMO_SHOW;
  const timings = { scriptsLoaded: performance.now() };
  const totalFrames = Math.max(0, Math.round(show.seconds * RATE));
  // Interleaved 16-bit samples, filled as the Worker mixes them: silence until then.
  const pcm = new Int16Array(totalFrames * CHANNELS);
  let mixedFrames = 0;

  // What the scope shows and plays: the show, whose samples arrive as the Worker mixes them,
  // or a visitor's sound file (see openFile).  rate: frames a second; frames: the length;
  // ready: the frames there so far; at(n, channel): sample n, for 0 <= n < ready.
  const showSignal = {
    name: null,
    rate: RATE,
    frames: totalFrames,
    get ready() { return mixedFrames; },
    at: (n, channel) => pcm[n * CHANNELS + channel] / 32768,
  };
  let signal = showSignal;

  function decodeBase64(text) {
    if (typeof Uint8Array.fromBase64 === "function") return Uint8Array.fromBase64(text);
    const binary = atob(text);
    const bytes = new Uint8Array(binary.length);
    for (let i = 0; i < binary.length; ++i) bytes[i] = binary.charCodeAt(i);
    return bytes;
  }

  // The Worker comes from a Blob of the two functions' text: a page opened from file:// may
  // not start one from a file.  Resolves once the Worker has its work (at once if it cannot
  // start).
  function computeShow(onSamples) {
    const seed = show.seed || Array.from(crypto.getRandomValues(new Uint32Array(2)));
    let worker;
    let begin;
    const begun = new Promise((resolve) => (begin = resolve));
    try {
      const source = `"use strict";\n${lumoShowModule}\n(${lumoShowWorker})();\n`;
      worker = new Worker(URL.createObjectURL(new Blob([source], { type: "text/javascript" })));
    } catch (error) {
      fail(`This browser refused to start the page's worker (${error.message}): open the page in Chromium or ` +
        "Firefox, or serve its folder (python3 -m http.server) and open it from there.");
      return Promise.resolve();
    }
    worker.onerror = (event) => fail(`The show could not be computed: ${event.message || "the worker failed"}`);
    worker.onmessage = (event) => {
      const message = event.data;
      if (message.begun) {
        begin();
      } else if (message.error) {
        fail(`The show could not be computed: ${message.error}`);
        worker.terminate();
      } else if (message.prepared) {
        timings.prepared = performance.now();
        timings.preparation = message.prepared.milliseconds;
        ui.progress.textContent = "mixing…";
      } else if (message.samples) {
        pcm.set(message.samples, message.first * CHANNELS);
        mixedFrames = Math.min(totalFrames, message.first + message.samples.length / CHANNELS);
        timings.memoryBytes = message.memoryBytes;
        if (!timings.firstSamples) timings.firstSamples = performance.now();
        ui.progress.textContent = `mixed ${(mixedFrames / RATE).toFixed(0)} of ${(totalFrames / RATE).toFixed(0)} s`;
        onSamples();
      } else if (message.done) {
        timings.mixed = performance.now();
        ui.progress.textContent = "";
        worker.terminate();
      }
    };
    const module = decodeBase64(LUMO_MODULE.module);
    worker.postMessage({ module, models: LUMO_MODULE.models, seed, frames: totalFrames }, [module.buffer]);
    window.LUMO_MODULE = null;  // the Worker has its copy
    ui.progress.textContent = "preparing the show…";
    return begun;
  }

  // FNV-1a over the bytes of the first `frames` frames, for tests to compare the page's mix
  // with lumo-render --wav's; null until they are mixed.
  function digest(frames) {
    if (frames > mixedFrames) return null;
    const bytes = new Uint8Array(pcm.buffer, 0, frames * CHANNELS * 2);
    let hash = 0x811c9dc5;
    for (let i = 0; i < bytes.length; ++i) hash = Math.imul(hash ^ bytes[i], 0x01000193);
    return (hash >>> 0).toString(16).padStart(8, "0");
  }

  // ---- Reconstruction --------------------------------------------------------------------

  function besselI0(x) {
    const half = x * 0.5;
    let term = 1.0;
    let sum = 1.0;
    for (let k = 1; k < 200 && term > sum * 1e-18; ++k) {
      term = term * (half / k) * (half / k);
      sum = sum + term;
    }
    return sum;
  }

  function reconstructionKernel(x) {
    const a = MODEL.filterLobes;
    if (x === 0) return 1.0;
    if (x <= -a || x >= a || x === Math.floor(x)) return 0.0;
    const r = x / a;
    return (Math.sin(Math.PI * x) / (Math.PI * x)) * besselI0(MODEL.filterShape * Math.sqrt(1 - r * r)) /
      besselI0(MODEL.filterShape);
  }

  const TAPS = 2 * MODEL.filterLobes;
  // weights[p · TAPS + k]: sample n + k − a + 1's weight at time n + p/U; each phase sums to 1.
  const weights = (function () {
    const u = MODEL.oversampling;
    const w = new Float32Array(u * TAPS);
    for (let p = 0; p < u; ++p) {
      const raw = [];
      let sum = 0;
      for (let k = 0; k < TAPS; ++k) {
        raw.push(reconstructionKernel(p / u - (k - MODEL.filterLobes + 1)));
        sum += raw[k];
      }
      for (let k = 0; k < TAPS; ++k) w[p * TAPS + k] = raw[k] / sum;
    }
    return w;
  })();

  // Before the show and after its end the beam rests at the centre, as on a silent output.
  function sample(n, channel) {
    return n >= 0 && n < signal.frames ? signal.at(n, channel) : 0;
  }

  // The beam's path from sample `first` to `end` in pixels of a size × size screen, y up:
  // (end − first) × U + 1 points, x and y interleaved.
  function beamPath(first, end, size, into) {
    const u = MODEL.oversampling;
    const count = end - first;
    const windowX = new Float32Array(count + TAPS);
    const windowY = new Float32Array(count + TAPS);
    for (let i = 0; i < count + TAPS; ++i) {
      const n = first - MODEL.filterLobes + 1 + i;
      windowX[i] = sample(n, 0);
      windowY[i] = sample(n, 1);
    }
    const points = count * u + 1;
    const path = into && into.length >= points * 2 ? into : new Float32Array(points * 2);
    const half = size * 0.5;
    const axes = state.axes;
    let out = 0;
    for (let n = 0; n <= count; ++n) {
      const phases = n === count ? 1 : u;
      for (let p = 0; p < phases; ++p) {
        const w = p * TAPS;
        let x = 0;
        let y = 0;
        for (let k = 0; k < TAPS; ++k) {
          x += windowX[n + k] * weights[w + k];
          y += windowY[n + k] * weights[w + k];
        }
        // The scope's X/Y switches: swap the inputs, then turn either axis over.
        if (axes.swap) {
          const across = y;
          y = x;
          x = across;
        }
        if (axes.invertX) x = -x;
        if (axes.invertY) y = -y;
        path[out++] = (x + 1) * half;
        path[out++] = (y + 1) * half;
      }
    }
    return path;
  }

  // Steps of the path along which the beam moves at an even speed are drawn as one segment
  // carrying their energy: the same light (each point stays within MODEL.mergeTolerance σ
  // of where the merged segment puts it, a few 0.1% of a trace's brightness), for a
  // fraction of the quads where the beam dwells or moves slowly, which is most of the show.

  // The vertices of the segments' quads from the path's points, as beam.vert takes them:
  // six a segment (two triangles), each (x₀, y₀, x₁, y₁), the quad's corner, the steps merged.
  const VERTEX_FLOATS = 7;
  const SEGMENT_FLOATS = 6 * VERTEX_FLOATS;
  const CORNERS = [0, 0, 1, 0, 0, 1, 0, 1, 1, 0, 1, 1];
  function mergeSegments(path, points, sigma, into) {
    let out = into || new Float32Array(1024 * SEGMENT_FLOATS);
    const tolerance = MODEL.mergeTolerance * sigma;
    const tolerance2 = tolerance * tolerance;
    let count = 0;
    let s = 0;
    while (s < points - 1) {
      const sx = path[2 * s], sy = path[2 * s + 1];
      const vx = path[2 * s + 2] - sx, vy = path[2 * s + 3] - sy;
      // Extend while every point stays within the tolerance of the first step's motion.
      let e = s + 1;
      while (e + 1 < points && e + 1 - s <= MODEL.longestMerge) {
        const k = e + 1 - s;
        const dx = path[2 * (e + 1)] - (sx + k * vx);
        const dy = path[2 * (e + 1) + 1] - (sy + k * vy);
        if (dx * dx + dy * dy > tolerance2) break;
        ++e;
      }
      // The array grows to the most segments a frame has had: a dwelling beam needs few.
      if ((count + 1) * SEGMENT_FLOATS > out.length) {
        const larger = new Float32Array(2 * out.length);
        larger.set(out);
        out = larger;
      }
      const ex = path[2 * e], ey = path[2 * e + 1];
      for (let c = 0, at = count * SEGMENT_FLOATS; c < 6; ++c, at += VERTEX_FLOATS) {
        out[at] = sx;
        out[at + 1] = sy;
        out[at + 2] = ex;
        out[at + 3] = ey;
        out[at + 4] = CORNERS[2 * c];
        out[at + 5] = CORNERS[2 * c + 1];
        out[at + 6] = e - s;
      }
      ++count;
      s = e;
    }
    return { vertices: out, count };
  }

  // ---- The GPU pipeline ------------------------------------------------------------------

  // The passes' shaders are lumo's own GLSL ES 1.00 files (src/scope/gl/), which the native
  // view compiles too; show.js carries them by file name.  Their vertices come from buffers:
  // a_position (the full-screen triangle) or a_ends at 0, a_corner at 1.
  function compile(gl, vertexName, fragmentName) {
    const program = gl.createProgram();
    for (const [type, name] of [[gl.VERTEX_SHADER, vertexName], [gl.FRAGMENT_SHADER, fragmentName]]) {
      const shader = gl.createShader(type);
      gl.shaderSource(shader, show.shaders[name]);
      gl.compileShader(shader);
      if (!gl.getShaderParameter(shader, gl.COMPILE_STATUS)) throw new Error(`${name}: ${gl.getShaderInfoLog(shader)}`);
      gl.attachShader(program, shader);
    }
    gl.bindAttribLocation(program, 0, vertexName === "beam.vert" ? "a_ends" : "a_position");
    gl.bindAttribLocation(program, 1, "a_corner");
    gl.linkProgram(program);
    if (!gl.getProgramParameter(program, gl.LINK_STATUS)) throw new Error(gl.getProgramInfoLog(program));
    const uniforms = {};
    const count = gl.getProgramParameter(program, gl.ACTIVE_UNIFORMS);
    for (let i = 0; i < count; ++i) {
      const name = gl.getActiveUniform(program, i).name.replace(/\[0\]$/, "");
      uniforms[name] = gl.getUniformLocation(program, name);
    }
    return { program, uniforms };
  }

  // The screen: WebGL 2 with float colour buffers, or null and the reason.
  function makeScreen() {
    const gl = canvas.getContext("webgl2", {
      alpha: false, antialias: false, depth: false, stencil: false, premultipliedAlpha: false,
      preserveDrawingBuffer: false, powerPreference: "high-performance",
    });
    if (!gl) {
      return { reason: "This browser gives the page no WebGL 2 (it may be turned off, or the graphics driver " +
        "refused it), so the scope cannot be drawn. The sound still plays: press Play." };
    }
    if (!gl.getExtension("EXT_color_buffer_float")) {
      return { reason: "This browser's WebGL cannot draw into floating-point pictures, which the phosphor's glow " +
        "needs, so the scope cannot be drawn. The sound still plays: press Play." };
    }
    // 32-bit glow needs float blending; 16-bit blends everywhere but loses faint light
    // beside bright spots.
    const exactGlow = !!gl.getExtension("EXT_float_blend");
    const screen = {
      gl,
      glowFormat: exactGlow ? gl.R32F : gl.R16F,
      decay: compile(gl, "quad.vert", "decay.frag"),
      beam: compile(gl, "beam.vert", "beam.frag"),
      blocks: compile(gl, "quad.vert", "halo.frag"),
      blur: compile(gl, "quad.vert", "blur.frag"),
      develop: compile(gl, "quad.vert", "develop.frag"),
      size: 0,
      path: null,
      vertices: null,
      quads: 0,
      // The full-screen triangle, and the beam's quads from a buffer refilled each frame, all
      // of a frame's in one draw: not instanced, as SwiftShader (the software WebGL) would run
      // one draw per instance.
      triangle: gl.createVertexArray(),
      beamVertices: gl.createVertexArray(),
      beamBuffer: gl.createBuffer(),
    };
    gl.bindVertexArray(screen.triangle);
    gl.bindBuffer(gl.ARRAY_BUFFER, gl.createBuffer());
    gl.bufferData(gl.ARRAY_BUFFER, new Float32Array([-1, -1, 3, -1, -1, 3]), gl.STATIC_DRAW);
    gl.enableVertexAttribArray(0);
    gl.vertexAttribPointer(0, 2, gl.FLOAT, false, 0, 0);
    gl.bindVertexArray(screen.beamVertices);
    gl.bindBuffer(gl.ARRAY_BUFFER, screen.beamBuffer);
    gl.enableVertexAttribArray(0);
    gl.enableVertexAttribArray(1);
    gl.vertexAttribPointer(0, 4, gl.FLOAT, false, 4 * VERTEX_FLOATS, 0);
    gl.vertexAttribPointer(1, 3, gl.FLOAT, false, 4 * VERTEX_FLOATS, 4 * 4);
    gl.bindVertexArray(screen.triangle);  // every pass but the beam's
    return screen;
  }

  function makeTarget(gl, format, width) {
    const texture = gl.createTexture();
    gl.bindTexture(gl.TEXTURE_2D, texture);
    gl.texStorage2D(gl.TEXTURE_2D, 1, format, width, width);
    for (const p of [gl.TEXTURE_MIN_FILTER, gl.TEXTURE_MAG_FILTER]) gl.texParameteri(gl.TEXTURE_2D, p, gl.NEAREST);
    const framebuffer = gl.createFramebuffer();
    gl.bindFramebuffer(gl.FRAMEBUFFER, framebuffer);
    gl.framebufferTexture2D(gl.FRAMEBUFFER, gl.COLOR_ATTACHMENT0, gl.TEXTURE_2D, texture, 0);
    gl.clearColor(0, 0, 0, 0);
    gl.clear(gl.COLOR_BUFFER_BIT);
    return { texture, framebuffer, width };
  }

  function freeTarget(gl, target) {
    if (!target) return;
    gl.deleteTexture(target.texture);
    gl.deleteFramebuffer(target.framebuffer);
  }

  // (Re)builds the glow and halo textures for a size × size picture; the screen goes dark.
  function resizeScreen(screen, size) {
    const gl = screen.gl;
    freeTarget(gl, screen.glow);
    freeTarget(gl, screen.haloA);
    freeTarget(gl, screen.haloB);
    screen.size = size;
    const sigma = MODEL.bloomSigma * size;
    screen.factor = Math.min(MODEL.largestHaloFactor, Math.max(1, Math.trunc(sigma * 0.5)));
    screen.haloWidth = Math.ceil(size / screen.factor);
    // The blur's σ in halo pixels, and the taps it reaches (3σ, 1 to mostBlurTaps each side).
    screen.blurSigma = sigma / screen.factor;
    screen.blurRadius = Math.min(MODEL.mostBlurTaps, Math.max(1, Math.ceil(3 * screen.blurSigma)));
    screen.glow = makeTarget(gl, screen.glowFormat, size);
    screen.haloA = makeTarget(gl, gl.R32F, screen.haloWidth);
    screen.haloB = makeTarget(gl, gl.R32F, screen.haloWidth);
    canvas.width = size;
    canvas.height = size;
  }

  function clearGlow(screen) {
    const gl = screen.gl;
    gl.bindFramebuffer(gl.FRAMEBUFFER, screen.glow.framebuffer);
    gl.clearColor(0, 0, 0, 0);
    gl.clear(gl.COLOR_BUFFER_BIT);
  }

  // One frame from sample `first` to `end`: what the screen holds decays by exp(−Δ/τ), and
  // the beam draws the stretch with 1 − d of a frame's light.
  function exposeFrame(screen, first, end, persistence) {
    const gl = screen.gl;
    const size = screen.size;
    const seconds = (end - first) / signal.rate;
    const keep = persistence > 0 ? Math.exp(-seconds / persistence) : 0;
    gl.bindFramebuffer(gl.FRAMEBUFFER, screen.glow.framebuffer);
    gl.viewport(0, 0, size, size);
    gl.enable(gl.BLEND);

    gl.useProgram(screen.decay.program);
    gl.uniform1f(screen.decay.uniforms.u_keep, keep);
    gl.blendFunc(gl.ZERO, gl.SRC_COLOR);
    gl.drawArrays(gl.TRIANGLES, 0, 3);
    if (end <= first) {
      gl.disable(gl.BLEND);
      return;
    }

    screen.path = beamPath(first, end, size, screen.path);
    const segments = (end - first) * MODEL.oversampling;
    const sigma = Math.max(MODEL.narrowestSpot, MODEL.beamSigma * state.focus * size);
    // Light per screen area: a figure glows the same at every picture size.
    const energy = ((1 - keep) / segments) * size * size;
    const beam = screen.beam;
    gl.useProgram(beam.program);
    gl.uniform1f(beam.uniforms.u_size, size);
    gl.uniform1f(beam.uniforms.u_reach, MODEL.beamReach * sigma);
    gl.uniform1f(beam.uniforms.u_short, MODEL.shortSegment * sigma);
    gl.uniform1f(beam.uniforms.u_scale, 1 / (sigma * Math.SQRT2));
    gl.uniform1f(beam.uniforms.u_spot, energy / (2 * Math.PI * sigma * sigma));
    gl.uniform1f(beam.uniforms.u_line, energy / (2 * sigma * Math.sqrt(2 * Math.PI)));
    const merged = mergeSegments(screen.path, segments + 1, sigma, screen.vertices);
    screen.vertices = merged.vertices;
    screen.quads += merged.count;
    gl.bindVertexArray(screen.beamVertices);
    gl.bindBuffer(gl.ARRAY_BUFFER, screen.beamBuffer);
    gl.bufferData(gl.ARRAY_BUFFER, merged.vertices, gl.STREAM_DRAW, 0, merged.count * SEGMENT_FLOATS);
    gl.blendFunc(gl.ONE, gl.ONE);
    gl.drawArrays(gl.TRIANGLES, 0, 6 * merged.count);
    gl.bindVertexArray(screen.triangle);
    gl.disable(gl.BLEND);
  }

  function drawFullScreen(gl, target, program) {
    gl.bindFramebuffer(gl.FRAMEBUFFER, target ? target.framebuffer : null);
    const width = target ? target.width : canvas.width;
    gl.viewport(0, 0, width, width);
    gl.useProgram(program);
    gl.drawArrays(gl.TRIANGLES, 0, 3);
  }

  // Bloom and tone map onto the canvas.
  function develop(screen, exposure) {
    const gl = screen.gl;
    const blocks = screen.blocks;
    gl.useProgram(blocks.program);
    gl.activeTexture(gl.TEXTURE0);
    gl.bindTexture(gl.TEXTURE_2D, screen.glow.texture);
    gl.uniform1i(blocks.uniforms.u_glow, 0);
    gl.uniform1f(blocks.uniforms.u_factor, screen.factor);
    gl.uniform1f(blocks.uniforms.u_size, screen.size);
    drawFullScreen(gl, screen.haloA, blocks.program);

    const blur = screen.blur;
    gl.useProgram(blur.program);
    gl.uniform1i(blur.uniforms.u_in, 0);
    gl.uniform1f(blur.uniforms.u_radius, screen.blurRadius);
    gl.uniform1f(blur.uniforms.u_width, screen.haloWidth);
    gl.uniform1f(blur.uniforms.u_sigma, screen.blurSigma);
    gl.bindTexture(gl.TEXTURE_2D, screen.haloA.texture);
    gl.uniform2f(blur.uniforms.u_step, 1, 0);
    drawFullScreen(gl, screen.haloB, blur.program);
    gl.bindTexture(gl.TEXTURE_2D, screen.haloB.texture);
    gl.uniform2f(blur.uniforms.u_step, 0, 1);
    drawFullScreen(gl, screen.haloA, blur.program);

    const dev = screen.develop;
    gl.useProgram(dev.program);
    gl.activeTexture(gl.TEXTURE0);
    gl.bindTexture(gl.TEXTURE_2D, screen.glow.texture);
    gl.activeTexture(gl.TEXTURE1);
    gl.bindTexture(gl.TEXTURE_2D, screen.haloA.texture);
    gl.uniform1i(dev.uniforms.u_glow, 0);
    gl.uniform1i(dev.uniforms.u_halo, 1);
    gl.uniform1f(dev.uniforms.u_size, screen.size);
    gl.uniform1f(dev.uniforms.u_factor, screen.factor);
    gl.uniform1f(dev.uniforms.u_halo_width, screen.haloWidth);
    // The picture fills the canvas: no margin, one glow pixel a canvas pixel.
    gl.uniform2f(dev.uniforms.u_origin, 0, 0);
    gl.uniform1f(dev.uniforms.u_scale, 1);
    gl.uniform1f(dev.uniforms.u_exposure, exposure);
    gl.uniform1f(dev.uniforms.u_bloom, MODEL.bloom);
    gl.uniform3fv(dev.uniforms.u_colour, state.colour);
    drawFullScreen(gl, null, dev.program);
    gl.activeTexture(gl.TEXTURE0);
  }

  // How many frames of 1/30 s before a still frame still show in it (1/10000 of their glow).
  function leadInFrames(persistence) {
    if (persistence <= 0) return 0;
    const keep = Math.exp(-1 / (MODEL.stillFps * persistence));
    let frames = 0;
    for (let left = 1; left > 1e-4 && frames < 10 * MODEL.stillFps; left *= keep) ++frames;
    return frames;
  }

  // ---- The player ------------------------------------------------------------------------

  const state = {
    screen: null,
    persistence: MODEL.persistence,
    exposure: MODEL.exposure,
    focus: 1,           // the spot's width, times the scope's own
    colour: MODEL.colour,
    axes: { swap: false, invertX: false, invertY: false },
    position: 0,        // the sample heard (or shown) last
    drawnTo: null,      // the sample the glow has been drawn up to, null when dark
    playing: false,
    audio: null,        // { context, sources, startTime, startSample, queuedTo }
    still: null,        // { end, label }: a still frame waiting for the mix to reach it
    frames: 0,          // frames drawn while playing, for measurements
  };

  function sampleAt(seconds) {
    return Math.floor(seconds * signal.rate + 0.5);
  }

  function clampSample(n) {
    return Math.min(signal.frames, Math.max(0, n));
  }

  // The frame that ends at `end`, from a dark screen, as lumo-render --scope draws it.
  function drawStill(end) {
    state.position = end;
    const screen = state.screen;
    if (screen) {
      // Whole samples a frame, at whatever rate the file was made.
      const frame = Math.max(1, Math.round(signal.rate / MODEL.stillFps));
      clearGlow(screen);
      for (let k = leadInFrames(state.persistence); k >= 0; --k) {
        exposeFrame(screen, end - (k + 1) * frame, end - k * frame, state.persistence);
      }
      develop(screen, state.exposure);
      state.drawnTo = end;
    }
    showPosition();
  }

  // While playing: the stretch heard since the last frame.
  function drawLive(end) {
    const screen = state.screen;
    state.position = end;
    if (screen) {
      if (state.drawnTo === null || end < state.drawnTo) state.drawnTo = end - Math.round(signal.rate / 60);
      const first = Math.max(state.drawnTo, end - longestFrame(state.persistence, signal.rate));
      if (end > first) exposeFrame(screen, first, end, state.persistence);
      develop(screen, state.exposure);
      state.drawnTo = end;
      ++state.frames;
    }
    showPosition();
  }

  function makeAudio() {
    let context;
    try {
      context = new AudioContext({ sampleRate: RATE, latencyHint: "interactive" });
    } catch (error) {
      context = new AudioContext({ latencyHint: "interactive" });  // the browser resamples
    }
    return { context, sources: [], startTime: null, startSample: 0, queuedTo: 0 };
  }

  // The sample leaving the speakers now: the output timestamp's context time, carried
  // forward to this moment on the page's clock.
  function heardSample() {
    const audio = state.audio;
    const context = audio.context;
    if (audio.startTime === null) return audio.startSample;  // waiting for the mix
    let heard;
    if (typeof context.getOutputTimestamp === "function") {
      const stamp = context.getOutputTimestamp();
      heard = stamp.contextTime + Math.max(0, performance.now() - stamp.performanceTime) / 1000;
      if (!(stamp.contextTime > 0)) heard = context.currentTime - (context.outputLatency || context.baseLatency || 0);
    } else {
      heard = context.currentTime - (context.outputLatency || context.baseLatency || 0);
    }
    const n = audio.startSample + Math.round((heard - audio.startTime) * signal.rate);
    return Math.min(audio.queuedTo, clampSample(Math.max(audio.startSample, n)));
  }

  // Queues what has been mixed since, a second a buffer, each starting where the one before
  // ends on the context's clock.  The first queued sets the clock's origin.
  function queueMixed() {
    const audio = state.audio;
    if (!state.playing || !audio) return;
    const context = audio.context;
    // A file's buffers are at its own rate: the context resamples them.
    const rate = signal.rate;
    while (audio.queuedTo < signal.ready) {
      const first = audio.queuedTo;
      const end = Math.min(signal.ready, first + rate);
      const buffer = context.createBuffer(CHANNELS, end - first, rate);
      for (let c = 0; c < CHANNELS; ++c) {
        const channel = buffer.getChannelData(c);
        for (let i = 0; i < end - first; ++i) channel[i] = signal.at(first + i, c);
      }
      if (audio.startTime === null) {
        audio.startTime = context.currentTime + 0.05;
        if (!timings.firstSound) timings.firstSound = performance.now() + 50;
      }
      const source = context.createBufferSource();
      source.buffer = buffer;
      source.connect(context.destination);
      const when = audio.startTime + (first - audio.startSample) / rate;
      const late = context.currentTime - when;
      if (late > 0) {
        if (late < buffer.duration) source.start(context.currentTime, late);
      } else {
        source.start(when);
      }
      source.onended = () => {
        audio.sources = audio.sources.filter((s) => s !== source);
        if (state.playing && audio.sources.length === 0 && audio.queuedTo >= signal.frames) stopped(signal.frames);
      };
      audio.sources.push(source);
      audio.queuedTo = end;
    }
  }

  function play() {
    if (state.playing) return;
    if (!state.audio) state.audio = makeAudio();
    const audio = state.audio;
    if (state.position >= signal.frames) state.position = 0;
    audio.context.resume();
    audio.startTime = null;
    audio.startSample = state.position;
    audio.queuedTo = state.position;
    state.playing = true;
    ui.play.textContent = "Pause";
    queueMixed();
    requestAnimationFrame(tick);
  }

  function stopped(at) {
    state.playing = false;
    state.position = at;
    ui.play.textContent = "Play";
    showPosition();
  }

  function pause() {
    if (!state.playing) return;
    const audio = state.audio;
    const at = heardSample();
    const sources = audio.sources;
    audio.sources = [];
    for (const source of sources) source.stop();
    stopped(at);
  }

  function seek(seconds) {
    const end = clampSample(sampleAt(seconds));
    if (state.playing) {
      pause();
      state.position = end;
      state.drawnTo = null;
      play();
    } else {
      drawStill(end);
    }
  }

  function tick() {
    if (!state.playing) return;
    // Until the first sound nothing moves: a frame drawn then would only cost the time the
    // show's Worker and the browser need (a software renderer reads each one back).
    if (state.audio.startTime !== null) drawLive(heardSample());
    requestAnimationFrame(tick);
  }

  // ---- Time line and controls ------------------------------------------------------------

  const showSeconds = Math.max(totalFrames / RATE, 1 / RATE);  // never 0: positions divide by it
  function signalSeconds() {
    return signal === showSignal ? showSeconds : Math.max(signal.frames / signal.rate, 1 / signal.rate);
  }
  const events = [];  // { start, end, name, element }

  const LANE = 15;  // pixels from one lane of the time line to the next

  function buildTimeline() {
    ui.timeline.setAttribute("aria-valuemax", showSeconds.toFixed(1));
    const all = [];
    for (const figure of show.figures) {
      // A figure played again the moment it ends is one mark.
      for (const [start, end] of figure.events) {
        if (start >= showSeconds) continue;  // a shortened show (--seconds) ends before it
        const last = all[all.length - 1];
        if (last && last.name === figure.name && last.end === start) last.end = end;
        else all.push({ start, end, name: figure.name });
      }
    }
    all.sort((a, b) => a.start - b.start || a.end - b.end);
    // Overlapping soundings go on separate lanes, each on the first lane free at its start.
    const laneEnds = [];
    for (const event of all) {
      let lane = laneEnds.findIndex((end) => end <= event.start);
      if (lane < 0) lane = laneEnds.push(0) - 1;
      laneEnds[lane] = event.end;
      const element = document.createElement("div");
      element.className = "event";
      element.textContent = event.name;
      element.title = `${event.name}: ${event.start.toFixed(2)} – ${event.end.toFixed(2)} s`;
      element.style.left = `${(100 * event.start) / showSeconds}%`;
      element.style.width = `${(100 * Math.max(0, Math.min(event.end, showSeconds) - event.start)) / showSeconds}%`;
      element.style.top = `${2 + lane * LANE}px`;
      ui.lanes.appendChild(element);
      events.push({ ...event, element });
    }
    ui.timeline.style.height = `${Math.max(20, laneEnds.length * LANE + 2)}px`;
  }

  let shownPlaying = "";
  function showPosition() {
    const seconds = state.position / signal.rate;
    const length = signalSeconds();
    ui.clock.textContent = `${seconds.toFixed(1)} / ${length.toFixed(1)} s`;
    ui.playhead.style.left = `${(100 * seconds) / length}%`;
    ui.timeline.setAttribute("aria-valuenow", seconds.toFixed(1));
    if (signal !== showSignal) return;  // the score's figures are the show's
    const names = [];
    for (const event of events) {
      const now = event.start <= seconds && seconds < event.end;
      event.element.classList.toggle("now", now);
      if (now && !names.includes(event.name)) names.push(event.name);
    }
    const playing = names.join(" · ");
    if (playing !== shownPlaying) ui.playing.textContent = shownPlaying = playing;
  }

  function seekToPointer(event) {
    const box = ui.timeline.getBoundingClientRect();
    seek((Math.min(box.width, Math.max(0, event.clientX - box.left)) / box.width) * signalSeconds());
  }

  // A still frame with a long glow draws many frames of lead-in: sliders redraw it at most
  // once per animation frame.
  let redrawPending = false;
  function redrawIfStill() {
    if (redrawPending) return;
    redrawPending = true;
    requestAnimationFrame(() => {
      redrawPending = false;
      if (!state.playing && state.drawnTo !== null) drawStill(state.position);
    });
  }

  function readControls() {
    state.persistence = Math.pow(10, Number(ui.persistence.value));
    state.exposure = MODEL.exposure * Math.pow(2, Number(ui.brightness.value));
    const ms = state.persistence * 1000;
    ui.persistenceValue.textContent = ms < 10 ? `${ms.toFixed(1)} ms` : `${Math.round(ms)} ms`;
    ui.brightnessValue.textContent = `×${Math.pow(2, Number(ui.brightness.value)).toFixed(2)}`;
    state.focus = Math.pow(10, Number(ui.focus.value));
    ui.focusValue.textContent = `×${state.focus.toFixed(state.focus < 1 ? 2 : 1)}`;
    state.colour = (MODEL.colours || {})[ui.colour.value] || MODEL.colour;
    // As lumo-render --axes: the channel across, the channel up, each maybe turned over.
    const axes = /^(-?)([xy]),(-?)[xy]$/.exec(ui.axes.value) || ["", "", "x", ""];
    state.axes = { swap: axes[2] === "y", invertX: axes[1] === "-", invertY: axes[3] === "-" };
  }

  // ---- A visitor's sound file ------------------------------------------------------------

  // The rate a WAV or FLAC file was made at, from its header, or null.  Decoded at that rate
  // the samples are the file's own, and the picture is the one lumo-render --input draws.
  function fileRate(bytes) {
    const view = new DataView(bytes.buffer, bytes.byteOffset, bytes.byteLength);
    const tag = (at) => String.fromCharCode(...bytes.subarray(at, at + 4));
    if (bytes.length >= 12 && tag(0) === "RIFF" && tag(8) === "WAVE") {
      for (let at = 12; at + 8 <= bytes.length;) {
        const size = view.getUint32(at + 4, true);
        if (tag(at) === "fmt ") return at + 16 <= bytes.length ? view.getUint32(at + 12, true) : null;
        at += 8 + size + (size & 1);
      }
    } else if (bytes.length >= 22 && tag(0) === "fLaC") {
      return view.getUint32(18) >>> 12;  // STREAMINFO's 20 bits of rate, after 10 bytes of sizes
    }
    return null;
  }

  let opening = 0;  // the file asked for last: one that finishes decoding after it is dropped

  // Decodes `file` in the browser (whatever it can: WAV, FLAC, MP3, Ogg…) and plays it on the
  // scope, left channel across and right up, at its own rate.
  async function openFile(file) {
    const ticket = ++opening;
    ui.playing.textContent = shownPlaying = `decoding ${file.name}…`;
    let decoded;
    try {
      const bytes = new Uint8Array(await file.arrayBuffer());
      const rate = fileRate(bytes);
      // Formats without a rate in their header are decoded at the show's.
      const context = new OfflineAudioContext(2, 1, rate >= 3000 && rate <= 768000 ? rate : RATE);
      decoded = await context.decodeAudioData(bytes.buffer);
    } catch (error) {
      if (ticket === opening) refuse(`${file.name}: this browser cannot decode it (${error.message || error}).`);
      return;
    }
    if (ticket !== opening) return;
    if (decoded.numberOfChannels < 2) {
      refuse(`${file.name} is mono: the scope needs two channels, the left for X and the right for Y.`);
      return;
    }
    const left = decoded.getChannelData(0);
    const right = decoded.getChannelData(1);
    // As the scope takes any signal: NaN as silence, and far beyond the screen held at ±4.
    for (const channel of [left, right]) {
      for (let i = 0; i < channel.length; ++i) {
        const v = channel[i];
        channel[i] = v === v ? Math.min(4, Math.max(-4, v)) : 0;
      }
    }
    changeSignal({
      name: file.name,
      rate: decoded.sampleRate,
      frames: decoded.length,
      ready: decoded.length,
      at: (n, channel) => (channel ? right : left)[n],
    });
    play();
  }

  function fileLabel() {
    return signal === showSignal ? "" : `${signal.name} (${signal.rate} Hz)`;
  }

  // The file is not played: what plays stays, and the page says why.
  function refuse(text) {
    say(text);
    ui.playing.textContent = shownPlaying = fileLabel();
  }

  // Plays and shows `next` from its start, paused.
  function changeSignal(next) {
    pause();
    signal = next;
    state.still = null;
    state.drawnTo = null;
    if (state.screen) message.hidden = true;  // a refusal of the file before
    const file = next !== showSignal;
    root.dataset.source = file ? "file" : "show";
    ui.show.hidden = !file;
    ui.lanes.hidden = file;
    ui.timeline.setAttribute("aria-valuemax", signalSeconds().toFixed(1));
    for (const event of events) event.element.classList.remove("now");
    ui.playing.textContent = shownPlaying = fileLabel();
    drawStill(0);
  }

  function toggleFullScreen() {
    if (document.fullscreenElement) {
      document.exitFullscreen();
    } else if (root.requestFullscreen) {
      root.requestFullscreen();
    }
  }

  // The beam is a fixed share of the screen wide, so past this many pixels a larger picture
  // shows nothing new while every quad grows with its square: bigger screens scale it up.
  const LARGEST_PICTURE = 2048;

  // The largest square the stage holds, in device pixels, up to LARGEST_PICTURE.
  function fitCanvas() {
    const stage = canvas.parentElement.getBoundingClientRect();
    const css = Math.max(64, Math.floor(Math.min(stage.width, stage.height)));
    let size = Math.min(LARGEST_PICTURE, Math.round(css * (window.devicePixelRatio || 1)));
    if (state.screen) size = Math.min(size, state.screen.gl.getParameter(state.screen.gl.MAX_TEXTURE_SIZE));
    canvas.style.width = `${css}px`;
    canvas.style.height = `${css}px`;
    if (state.screen && state.screen.size !== size) {
      const shown = state.drawnTo !== null;
      resizeScreen(state.screen, size);
      state.drawnTo = null;
      if (shown && !state.playing) drawStill(state.position);
    }
  }

  // "#t=20.5": the frame ending 20.5 s into the show, without sound.
  function timeFromHash() {
    const match = /(?:^#|&)t=([0-9]+(?:\.[0-9]*)?)/.exec(location.hash);
    return match ? Number(match[1]) : null;
  }

  function showHash() {
    const seconds = timeFromHash();
    if (seconds === null) return;
    if (state.playing) pause();
    state.still = { end: clampSample(sampleAt(seconds)), label: seconds.toFixed(3) };
    drawWaitingStill();
  }

  // The still frame asked for, once the mix has reached it.
  function drawWaitingStill() {
    const still = state.still;
    if (!still || still.end > signal.ready) return;
    state.still = null;
    drawStill(still.end);
    root.dataset.frame = still.label;
  }

  function start() {
    if (root.dataset.state !== "error") message.hidden = true;  // "Loading …" until now
    buildTimeline();
    readControls();
    const made = makeScreen();
    if (made.reason) {
      say(made.reason);
      canvas.hidden = true;
    } else {
      state.screen = made;
      if (made.glowFormat !== made.gl.R32F) {
        ui.playing.title = "This browser blends only 16-bit glow: faint light beside bright spots is lost.";
      }
      canvas.addEventListener("webglcontextlost", (event) => {
        event.preventDefault();
        state.screen = null;
        say("The browser took the graphics context away; reload the page to see the scope again.");
      });
    }
    fitCanvas();
    window.addEventListener("resize", fitCanvas);
    // The controls wrap onto more lines as their texts change, which shrinks the stage too.
    if (typeof ResizeObserver === "function") new ResizeObserver(fitCanvas).observe(canvas.parentElement);
    window.addEventListener("hashchange", showHash);

    ui.play.addEventListener("click", () => (state.playing ? pause() : play()));
    ui.fullscreen.addEventListener("click", toggleFullScreen);
    ui.file.addEventListener("change", () => {
      if (ui.file.files.length) openFile(ui.file.files[0]);
      ui.file.value = "";  // the same file again is a change too
    });
    ui.show.addEventListener("click", () => {
      ++opening;
      changeSignal(showSignal);
    });
    // A file dropped anywhere on the page plays, as if opened.
    const carriesFiles = (event) => event.dataTransfer && Array.from(event.dataTransfer.types).includes("Files");
    document.addEventListener("dragover", (event) => {
      if (!carriesFiles(event)) return;
      event.preventDefault();
      event.dataTransfer.dropEffect = "copy";
      root.classList.add("dropping");
    });
    document.addEventListener("dragleave", (event) => {
      if (event.relatedTarget === null) root.classList.remove("dropping");
    });
    document.addEventListener("drop", (event) => {
      root.classList.remove("dropping");
      if (!carriesFiles(event)) return;
      event.preventDefault();
      if (event.dataTransfer.files.length) openFile(event.dataTransfer.files[0]);
    });
    ui.timeline.addEventListener("pointerdown", (event) => {
      ui.timeline.setPointerCapture(event.pointerId);
      seekToPointer(event);
    });
    ui.timeline.addEventListener("pointermove", (event) => {
      if (ui.timeline.hasPointerCapture(event.pointerId) && !state.playing) seekToPointer(event);
    });
    for (const input of [ui.persistence, ui.brightness, ui.focus, ui.colour, ui.axes]) {
      input.addEventListener("input", () => {
        readControls();
        redrawIfStill();
      });
    }
    document.addEventListener("keydown", (event) => {
      // Inputs and buttons take their own keys (a focused button's space is its click).
      if (event.target instanceof HTMLInputElement || event.target instanceof HTMLButtonElement ||
          event.target instanceof HTMLSelectElement) return;
      if (event.ctrlKey || event.metaKey || event.altKey) return;
      if (event.key === " ") {
        event.preventDefault();
        state.playing ? pause() : play();
      } else if (event.key === "f") {
        toggleFullScreen();
      } else if (event.key === "ArrowLeft" || event.key === "ArrowRight") {
        event.preventDefault();
        seek(state.position / signal.rate + (event.key === "ArrowLeft" ? -5 : 5));
      }
    });

    if (timeFromHash() !== null) {
      showHash();
    } else {
      drawStill(0);
    }
    if (root.dataset.state !== "error") root.dataset.state = "ready";
    timings.ready = performance.now();
  }

  // For tests and measurements in a browser's console.
  window.lumoScope = {
    play, pause, seek, state, timings, digest,
    get mixedSeconds() { return mixedFrames / RATE; },
    get framesDrawn() { return state.frames; },
    get quadsDrawn() { return state.screen ? state.screen.quads : 0; },
    get position() { return state.position / signal.rate; },
    get source() {  // the file playing, or null for the show
      return signal === showSignal ? null : { name: signal.name, rate: signal.rate, frames: signal.frames };
    },
  };

  // The Worker first, and the screen once it has begun (or after 0.3 s): the screen's first
  // frame holds this thread for a while (a software renderer reads it back), and a Worker
  // cannot start before the thread is free.
  const begun = computeShow(() => {
    drawWaitingStill();
    queueMixed();
  });
  Promise.race([begun, new Promise((resolve) => setTimeout(resolve, 300))]).then(() => {
    try {
      start();
    } catch (error) {
      root.dataset.state = "error";
      say(`The scope could not start: ${error.message}`);
      throw error;
    }
  });
})();
