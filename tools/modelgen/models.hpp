// The eleven models lumo compiles in, in show order.
#pragma once

#include "mesh.hpp"

namespace modelgen {

Mesh make_model_1();   // title text: one extruded word of about eight letters
Mesh make_model_2();   // title text: three rounded characters
Mesh make_model_3();   // title text: one lowercase word of about ten letters
Mesh make_model_4();   // skull on the positive-x side
Mesh make_model_5();   // model 4 turned about a vertical axis
Mesh make_model_6();   // logo outline: two flat pieces
Mesh make_model_7();   // standing human figure, detailed, arms bent upward
Mesh make_model_8();   // raised hand
Mesh make_model_9();   // standing human figure, low detail, arms away from the body
Mesh make_model_10();  // model 8 turned about an axis parallel to x
Mesh make_model_11();  // low-detail figure in the pose of model 7

}  // namespace modelgen
