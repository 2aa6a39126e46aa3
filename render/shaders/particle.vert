#version 120
// ParticleShader, vertex stage: one point sprite per particle, lit pass. The vertex colour's
// first component is the particle's remaining life; a particle shrinks to nothing as its
// life runs out and rises by up to 0.1 m while young.
// POINT_COORD: the sprite coordinate comes from gl_PointCoord instead of texture
// coordinate 0.
// The shadow coordinate of a sprite is its centre's, the same for all its pixels, so the
// 64-tap soft shadow is taken here once per particle instead of once per pixel.

// The lit and ambient passes draw the same sprites and compare their depths for equality:
// both compute the position the same way.
invariant gl_Position;

uniform sampler2DShadow shadowMap;
uniform float pointRadius;
uniform float pointScale;  // window height x sqrt(3)
uniform float max_lifetime;

varying vec3 eyePosition;
varying vec3 lightVec;
varying float shadowTerm;

#include "poisson_disk.glsl"
#include "soft_shadow.glsl"

void main()
{
    float alpha = gl_Color.r / max_lifetime;
    float scale2 = 1.0 - exp(8.0 * (1.0 - alpha) - 8.0);
    vec4 eye = gl_ModelViewMatrix * gl_Vertex;
    float dist = length(eye.xyz);
    float size = 0.15 * pointScale / dist * scale2;
    gl_PointSize = size;
    gl_Position = gl_ModelViewProjectionMatrix * (gl_Vertex + vec4(0.0, 0.1 * scale2, 0.0, 0.0));
    // A sprite under half a pixel covers no pixel centre, but the driver would still draw
    // it one pixel wide: put it outside the clip volume instead.
    if (size < 0.5)
        gl_Position = vec4(0.0, 0.0, 2.0, 1.0);
    gl_FrontColor = vec4(0.7, 0.01, 0.0, alpha);
#ifndef POINT_COORD
    gl_TexCoord[0] = gl_MultiTexCoord0;
#endif
    eyePosition = eye.xyz;
    lightVec = gl_LightSource[0].position.xyz - eye.xyz;
    shadowTerm = softShadow(shadowMap, gl_TextureMatrix[0] * eye, 0.004);
}
