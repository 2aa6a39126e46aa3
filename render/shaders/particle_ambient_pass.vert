#version 120
// ParticleShaderAmbientPass, vertex stage: the same sprites as ParticleShader for the
// ambient image and the shadow map.

// The lit and ambient passes draw the same sprites and compare their depths for equality:
// both compute the position the same way.
invariant gl_Position;

uniform float pointRadius;
uniform float pointScale;
uniform float max_lifetime;

void main()
{
    float alpha = gl_Color.r / max_lifetime;
    float scale2 = 1.0 - exp(8.0 * (1.0 - alpha) - 8.0);
    vec4 eye = gl_ModelViewMatrix * gl_Vertex;
    float dist = length(eye.xyz);
    float size = 0.15 * pointScale / dist * scale2;
    gl_PointSize = size;
    gl_Position = gl_ModelViewProjectionMatrix * (gl_Vertex + vec4(0.0, 0.1 * scale2, 0.0, 0.0));
    if (size < 0.5)
        gl_Position = vec4(0.0, 0.0, 2.0, 1.0);
    gl_FrontColor = vec4(0.7, 0.01, 0.0, alpha);
#ifndef POINT_COORD
    gl_TexCoord[0] = gl_MultiTexCoord0;
#endif
}
