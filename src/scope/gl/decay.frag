// Multiplies the glow by d through the blend (source × destination).
precision highp float;
uniform float u_keep;
void main() { gl_FragColor = vec4(u_keep); }
