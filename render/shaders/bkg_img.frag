#version 120
// BkgImgShader, fragment stage: an animated ray-marched surface behind a faint veil. A ray
// per pixel steps through the field e until it crosses the surface (at most K steps), then
// K samples around the hit estimate how open it is. K: 80, or 40 for the light preset.
#ifndef K
#define K 80
#endif

uniform vec2 resolution;
uniform float time;
uniform sampler2D tex0;

float e(vec3 x)
{
    float t = time;
    vec3 v = vec3(cos(x.r + t / 6.0) * x.r - cos(3.0 * x.g + t / 5.0) * x.g,
                  cos(t / 4.0) * x.b / 3.0 * x.r - cos(t / 7.0) * x.g,
                  x.r + x.g + x.b + t);
    vec3 c = cos(v);
    return dot(c, c) - 1.0;
}

void main()
{
    vec2 c = -1.0 + 2.0 * gl_TexCoord[0].st;
    vec3 o = vec3(c.x, c.y, 0.0);
    vec3 g = vec3(c.x, c.y, 1.0) / 64.0;
    vec3 v = vec3(0.5);
    for (int i = 0; i < K; ++i) {
        float h = e(o) - 0.4;
        if (h < 0.0)
            break;
        o += 10.0 * h * g;
        v += 0.02 * h;
    }
    v += e(o + 0.1) * vec3(0.4, 0.7, 1.0);
    float a = 0.0;
    for (int r = 0; r < K; ++r) {
        float fr = float(r);
        a += clamp(4.0 * (e(o + 0.5 * vec3(cos(1.1 * fr), cos(1.6 * fr), cos(1.4 * fr))) - 0.4),
                   0.0, 1.0);
    }
    v *= a / 100.0;
    gl_FragColor = vec4(v, gl_Color.a);
}
