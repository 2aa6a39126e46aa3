#version 120
// ParticleShaderLava, vertex stage: glowing sprites added onto the image.

uniform float pointRadius;
uniform float pointScale;

void main()
{
    vec4 eye = gl_ModelViewMatrix * gl_Vertex;
    gl_PointSize = 0.1 * pointScale / length(eye.xyz);
    gl_FrontColor = gl_Color;
    gl_Position = gl_ModelViewProjectionMatrix * gl_Vertex;
#ifndef POINT_COORD
    gl_TexCoord[0] = gl_MultiTexCoord0;
#endif
}
