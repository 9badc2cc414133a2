// The light of the spot integrated along the segment, at this pixel's centre.
precision highp float;
uniform float u_scale;  // 1 / (σ√2)
uniform float u_spot;   // E / (2πσ²)
uniform float u_line;   // E / (2σ√(2π))
varying vec2 v_origin;
varying vec2 v_along;
varying float v_length;
varying float v_steps;
// Abramowitz and Stegun 7.1.28, as the C++ renderer has it.
float erf_approx(float x) {
  float a = abs(x);
  float p = 1.0 + a * (0.0705230784 + a * (0.0422820123 + a * (0.0092705272 +
            a * (0.0001520143 + a * (0.0002765672 + a * 0.0000430638)))));
  p = p * p; p = p * p; p = p * p; p = p * p;
  return sign(x) * (1.0 - 1.0 / p);
}
void main() {
  vec2 d = gl_FragCoord.xy - v_origin;
  float light;
  if (v_length == 0.0) {
    light = u_spot * exp(-dot(d, d) * u_scale * u_scale);
  } else {
    float along = dot(d, v_along) * u_scale;
    float across = (d.y * v_along.x - d.x * v_along.y) * u_scale;
    light = u_line / v_length * exp(-across * across) *
            (erf_approx(along) - erf_approx(along - v_length * u_scale));
  }
  gl_FragColor = vec4(light * v_steps, 0.0, 0.0, 0.0);
}
