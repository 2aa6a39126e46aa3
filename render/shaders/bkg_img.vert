#version 120
// BkgImgShader, vertex stage: position, texture coordinate 0 and colour passed through.

void main()
{
    gl_TexCoord[0] = gl_MultiTexCoord0;
    gl_FrontColor = gl_Color;
    gl_Position = gl_ModelViewProjectionMatrix * gl_Vertex;
}
