#version 120
// The vertex stage shared by the post-processing shaders: a quad over the target with its
// texture coordinates.

void main()
{
    gl_TexCoord[0] = gl_MultiTexCoord0;
    gl_Position = gl_ModelViewProjectionMatrix * gl_Vertex;
}
