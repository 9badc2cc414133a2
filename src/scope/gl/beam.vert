// One quad per segment, reaching u_reach around it, six vertices that all carry the
// segment; a segment shorter than u_short is a spot at its middle.
attribute vec4 a_ends;    // from.xy, to.xy in pixels, y up
attribute vec3 a_corner;  // the quad's corner (0 or 1 each), then the steps merged
uniform float u_size;
uniform float u_reach;
uniform float u_short;
varying vec2 v_origin;
varying vec2 v_along;
varying float v_length;
varying float v_steps;
void main() {
  vec2 from = a_ends.xy;
  vec2 to = a_ends.zw;
  vec2 corner = a_corner.xy;
  v_steps = a_corner.z;
  vec2 d = to - from;
  float len = length(d);
  vec2 p;
  if (len < u_short) {
    v_origin = (from + to) * 0.5;
    v_along = vec2(1.0, 0.0);
    v_length = 0.0;
    p = v_origin + (corner * 2.0 - 1.0) * u_reach;
  } else {
    vec2 u = d / len;
    v_origin = from;
    v_along = u;
    v_length = len;
    p = from + u * mix(-u_reach, len + u_reach, corner.x) + vec2(-u.y, u.x) * mix(-u_reach, u_reach, corner.y);
  }
  gl_Position = vec4(p / u_size * 2.0 - 1.0, 0.0, 1.0);
}
