// Models 4 and 5 (skull) and 8 and 10 (raised hand).
#include "models.hpp"

namespace modelgen {

Mesh make_model_4() { return {}; }
Mesh make_model_5() { return {}; }
Mesh make_model_8() { return {}; }
Mesh make_model_10() { return {}; }

}  // namespace modelgen
