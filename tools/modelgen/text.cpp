// Models 1, 2, 3 (title texts) and 6 (logo outline).
#include "models.hpp"

namespace modelgen {

Mesh make_model_1() { return {}; }
Mesh make_model_2() { return {}; }
Mesh make_model_3() { return {}; }
Mesh make_model_6() { return {}; }

}  // namespace modelgen
