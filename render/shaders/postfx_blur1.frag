#version 120
// PostFXShader_Blur1: a 3 x 3 tent filter (weights 1 2 1 / 2 4 2 / 1 2 1) with the texel
// steps of the target being drawn.

uniform sampler2D sceneBuffer;
uniform int sceneWidth;
uniform int sceneHeight;

void main()
{
    vec2 st = gl_TexCoord[0].st;
    vec2 d = vec2(1.0 / float(sceneWidth), 1.0 / float(sceneHeight));
    vec4 sum = 4.0 * texture2D(sceneBuffer, st);
    sum += 2.0 * texture2D(sceneBuffer, st + vec2(d.x, 0.0));
    sum += 2.0 * texture2D(sceneBuffer, st - vec2(d.x, 0.0));
    sum += 2.0 * texture2D(sceneBuffer, st + vec2(0.0, d.y));
    sum += 2.0 * texture2D(sceneBuffer, st - vec2(0.0, d.y));
    sum += texture2D(sceneBuffer, st + d);
    sum += texture2D(sceneBuffer, st - d);
    sum += texture2D(sceneBuffer, st + vec2(d.x, -d.y));
    sum += texture2D(sceneBuffer, st + vec2(-d.x, d.y));
    gl_FragColor = sum / 16.0;
}
