#version 120
// ParticleShaderAmbientPass, fragment stage: the round sprite at a fifth of its colour.

uniform sampler2D tex0;

void main()
{
#ifdef POINT_COORD
    vec2 c = gl_PointCoord;
#else
    vec2 c = gl_TexCoord[0].st;
#endif
    vec2 n = c * vec2(2.0, -2.0) + vec2(-1.0, 1.0);
    if (dot(n, n) > 1.0)
        discard;
    // Fetched with the sprite, not part of the colour.
    vec4 texel = texture2D(tex0, c);
    gl_FragColor = gl_Color * 0.2;
}
