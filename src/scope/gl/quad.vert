// A triangle that covers the target: the passes that touch every pixel.
attribute vec2 a_position;
void main() { gl_Position = vec4(a_position, 0.0, 1.0); }
