#version 120
// AmbPassShader, vertex stage: the fixed-function transform and texture coordinate 0.

void main()
{
    gl_TexCoord[0] = gl_MultiTexCoord0;
    gl_Position = ftransform();  // the same depth in every pass
}
