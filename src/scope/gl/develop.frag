// Bloom read back bilinearly, then the tone map c = v k / (1 + v k), encoded as √c.
precision highp float;
precision highp sampler2D;  // the float texels as they are, not at a sampler's default lowp
uniform sampler2D u_glow;
uniform sampler2D u_halo;
uniform float u_size;
uniform float u_factor;
uniform float u_halo_width;
uniform float u_exposure;
uniform float u_bloom;
uniform vec3 u_colour;
// Where the picture's square starts in the framebuffer, and scope pixels per screen pixel.
uniform vec2 u_origin;
uniform float u_scale;
float halo_at(vec2 p) { return texture2D(u_halo, (p + 0.5) / u_halo_width).r; }
void main() {
  vec2 p = floor((gl_FragCoord.xy - u_origin) * u_scale);
  float last = u_halo_width - 1.0;
  vec2 at = clamp((p + 0.5) / u_factor - 0.5, 0.0, last);
  vec2 lo = floor(at);
  vec2 hi = min(lo + 1.0, vec2(last));
  vec2 f = at - lo;
  float left = halo_at(vec2(lo.x, lo.y)) + (halo_at(vec2(lo.x, hi.y)) - halo_at(vec2(lo.x, lo.y))) * f.y;
  float right = halo_at(vec2(hi.x, lo.y)) + (halo_at(vec2(hi.x, hi.y)) - halo_at(vec2(hi.x, lo.y))) * f.y;
  float around = u_bloom * (left + (right - left) * f.x);
  // Held finite: 16-bit glow overflows to infinity under a dwelling spot.
  float v = clamp(u_exposure * (texture2D(u_glow, (p + 0.5) / u_size).r + around), 0.0, 1e6);
  vec3 excited = v * u_colour;
  gl_FragColor = vec4(sqrt(excited / (1.0 + excited)), 1.0);
}
