// Percentage-closer soft shadow: the mean of 64 depth comparisons around the projected
// coordinate, spread by the Poisson disc. The 0.003 pulled off every axis keeps surfaces
// from shadowing themselves through depth-map quantisation. scale: disc radius in shadow-map
// texture units. The taps are written out rather than looped: with constant indices into the
// table, compilers that do not unroll 64 iterations (Mesa's among them) still keep the table
// in constants, which halves the cost on the software rasteriser.
float softShadow(sampler2DShadow map, vec4 projected, float scale)
{
    vec3 c = projected.xyz / projected.w - vec3(0.003);
    float lit = 0.0;
#define TAP(i) lit += shadow2D(map, c + vec3(poissonDisk[i] * scale, 0.0)).r;
#define TAP8(i) TAP(i) TAP(i + 1) TAP(i + 2) TAP(i + 3) TAP(i + 4) TAP(i + 5) TAP(i + 6) TAP(i + 7)
    TAP8(0) TAP8(8) TAP8(16) TAP8(24) TAP8(32) TAP8(40) TAP8(48) TAP8(56)
    return lit / 64.0;
}
