// The page's WebAssembly module under Node.js as the page's Worker runs it: through
// web/show-worker.js, handed the eleven models from the source tree.
import fs from "node:fs";
import path from "node:path";
import vm from "node:vm";

// The models' OBJ texts, 1 … 11, from `sourceDir`.
export function readModels(sourceDir) {
  const models = [];
  for (let i = 1; i <= 11; ++i) {
    const name = `model-${String(i).padStart(2, "0")}.obj`;
    models.push(fs.readFileSync(path.join(sourceDir, "assets", "models", name), "utf8"));
  }
  return models;
}

// Resolves to the Worker's show object (prepare, nextFigure, makeFigure, figure, …) for the
// module at `modulePath`, with `models` handed over.
export function loadShowModule(sourceDir, modulePath, models) {
  const context = {};
  vm.runInNewContext(fs.readFileSync(path.join(sourceDir, "web", "show-worker.js"), "utf8"),
    Object.assign(context, { WebAssembly, TextEncoder, TextDecoder }));
  return context.lumoShowModule(fs.readFileSync(modulePath), models);
}
