#version 120
// BumpMappingShader, vertex stage: the lit pass of scene surfaces. Works in eye space; the
// shadow coordinate comes from texture matrix 0 (bias x light projection x light view x
// inverse camera view).

varying vec4 shadowCoord;
varying vec3 normal;
varying vec3 lightVec;
varying vec3 eyeVec;

void main()
{
    vec4 eyeVertex = gl_ModelViewMatrix * gl_Vertex;
    shadowCoord = gl_TextureMatrix[0] * eyeVertex;
    normal = gl_NormalMatrix * gl_Normal;
    lightVec = gl_LightSource[0].position.xyz - eyeVertex.xyz;
    eyeVec = -eyeVertex.xyz;
    gl_TexCoord[0] = gl_MultiTexCoord0;
    gl_Position = ftransform();  // the same depth in every pass
}
