// The show's assets in the page's WebAssembly module.  The page hands the module the
// models' OBJ text; the clips are made again by lumo-clipgen's code (the regeneration check
// proves it writes the committed bytes), so the page carries neither as bytes.
#pragma once

#include <string>

namespace lumo::web {

// Model `number` (1 … 11) is `text`; every model must be set before the show is prepared.
void set_model(int number, std::string text);

// Whether all models have been set.
bool models_set();

}  // namespace lumo::web
