// One pass of the separable Gaussian blur, along u_step; beyond the edge is dark.  The
// weights are the Gaussian's over the taps within u_radius, summing to 1.
precision highp float;
uniform sampler2D u_in;
uniform vec2 u_step;
uniform float u_radius;
uniform float u_width;
uniform float u_sigma;
const int kMostTaps = 32;
void main() {
  vec2 p = floor(gl_FragCoord.xy);
  float sum = 0.0;
  float total = 0.0;
  for (int i = -kMostTaps; i <= kMostTaps; ++i) {
    float k = float(i);
    if (k < -u_radius || k > u_radius) continue;
    float w = exp(-0.5 * k * k / (u_sigma * u_sigma));
    total += w;
    vec2 q = p + u_step * k;
    if (q.x < 0.0 || q.y < 0.0 || q.x >= u_width || q.y >= u_width) continue;
    sum += texture2D(u_in, (q + 0.5) / u_width).r * w;
  }
  gl_FragColor = vec4(sum / total, 0.0, 0.0, 0.0);
}
