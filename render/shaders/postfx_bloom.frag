#version 120
// PostFXShader_Bloom: the final image. The frame blurred towards the centre (a radial blur
// of 50 samples), tinted blue, plus four levels of blurred glow; then a column tint that
// imitates the stripes of an aperture-grille screen, and animated film grain.
#ifdef GL_EXT_gpu_shader4
#extension GL_EXT_gpu_shader4 : enable
#endif

uniform sampler2D sceneBuffer;
uniform sampler2D luminanceTex1;
uniform sampler2D luminanceTex2;
uniform sampler2D luminanceTex3;
uniform sampler2D luminanceTex4;
uniform int sceneWidth;
uniform int sceneHeight;
uniform float elapsedTime;

// Integer lattice noise in -1..1. Needs 32-bit integers with shifts and bit operations,
// which GLSL 1.20 has only through GL_EXT_gpu_shader4; without it a float hash of the same
// range stands in.
float hash(float x, float y)
{
#ifdef GL_EXT_gpu_shader4
    int n = int(40.0 * x + 6400.0 * y);
    n = (n << 13) ^ n;
    return 1.0 - float((n * (n * n * 15731 + 789221) + 1376312589) & 0x7FFFFFFF) / 1073741824.0;
#else
    return fract(sin(40.0 * x + 6400.0 * y) * 43758.5453) * 2.0 - 1.0;
#endif
}

float smoothNoise(vec2 q)
{
    q = mod(q, 1000.0);
    vec2 cell = floor(q);
    vec2 f = q - cell;
    vec2 u = f * f * (3.0 - 2.0 * f);
    float a = hash(cell.x, cell.y);
    float b = hash(cell.x + 1.0, cell.y);
    float c = hash(cell.x, cell.y + 1.0);
    float d = hash(cell.x + 1.0, cell.y + 1.0);
    return mix(mix(a, b, u.x), mix(c, d, u.x), u.y);
}

void main()
{
    vec2 uv = gl_TexCoord[0].st;
    vec3 bloom = 0.8 * texture2D(luminanceTex1, uv).rgb + 0.6 * texture2D(luminanceTex2, uv).rgb +
                 0.8 * texture2D(luminanceTex3, uv).rgb + 0.4 * texture2D(luminanceTex4, uv).rgb;

    vec3 radial = vec3(0.0);
    float s = 1.0;
    for (int i = 0; i < 50; ++i) {
        radial += texture2D(sceneBuffer, (uv - 0.5) * s + 0.5).rgb;
        s *= 0.998;
    }
    radial /= 50.0;
    vec3 c = radial * vec3(0.6, 0.8, 1.0) + bloom;

    float k = floor(mod(gl_FragCoord.x, 3.0));
    if (k < 0.5)
        c *= vec3(0.9, 0.9, 2.4);
    else if (k < 1.5)
        c *= vec3(0.9, 2.4, 0.9);
    else
        c *= vec3(2.4, 0.9, 0.9);

    vec2 p = -1.0 + 2.0 * gl_FragCoord.xy / vec2(float(sceneWidth), float(sceneHeight));
    float y = (mod(elapsedTime, 136.0) + 5.0) * 71.0 / 240.0;
    float g = 0.5 * smoothNoise(p * 333.0 + hash(y, y) * 33333.0) + 0.5;
    gl_FragColor = vec4(mix(c, vec3(g), 0.3 * 0.3 + 0.03), 1.0);
}
