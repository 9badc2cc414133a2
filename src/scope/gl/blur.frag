// One pass of the separable Gaussian blur, along u_step; beyond the edge is dark.  The
// weights are the Gaussian's over the taps within u_radius, summing to 1.  They go out from
// the centre both ways, each the one before times a ratio that shrinks by exp(−1/σ²) a tap:
// one exp a pixel instead of one a tap.
precision highp float;
precision highp sampler2D;  // the float texels as they are, not at a sampler's default lowp
uniform sampler2D u_in;
uniform vec2 u_step;
uniform float u_radius;
uniform float u_width;
uniform float u_sigma;
const int kMostTaps = LUMO_MOST_BLUR_TAPS;  // defined before the file (shaders.hpp)
float tap(vec2 q) {
  if (q.x < 0.0 || q.y < 0.0 || q.x >= u_width || q.y >= u_width) return 0.0;
  return texture2D(u_in, (q + 0.5) / u_width).r;
}
void main() {
  vec2 p = floor(gl_FragCoord.xy);
  float first = exp(-0.5 / (u_sigma * u_sigma));  // w(1) / w(0), with w(k) = exp(−k²/2σ²)
  float ratio = first;                            // w(k + 1) / w(k)
  float w = 1.0;
  float sum = tap(p);
  float total = 1.0;
  for (int i = 1; i <= kMostTaps; ++i) {
    float k = float(i);
    if (k > u_radius) break;
    w *= ratio;
    ratio *= first * first;
    total += 2.0 * w;
    sum += (tap(p - u_step * k) + tap(p + u_step * k)) * w;
  }
  gl_FragColor = vec4(sum / total, 0.0, 0.0, 0.0);
}
