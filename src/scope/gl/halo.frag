// The glow averaged over blocks of u_factor × u_factor pixels.
precision highp float;
precision highp sampler2D;  // the float texels as they are, not at a sampler's default lowp
uniform sampler2D u_glow;
uniform float u_factor;
uniform float u_size;
void main() {
  vec2 corner = floor(gl_FragCoord.xy) * u_factor;
  float sum = 0.0;
  for (int j = 0; j < 16; ++j) {
    if (float(j) >= u_factor) break;
    for (int i = 0; i < 16; ++i) {
      if (float(i) >= u_factor) break;
      vec2 p = corner + vec2(float(i), float(j));
      if (p.x < u_size && p.y < u_size) sum += texture2D(u_glow, (p + 0.5) / u_size).r;
    }
  }
  gl_FragColor = vec4(sum / (u_factor * u_factor), 0.0, 0.0, 0.0);
}
