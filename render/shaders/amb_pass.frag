#version 120
// AmbPassShader, fragment stage: the ambient image the lit passes are added onto.

uniform sampler2D diffuseMap;

void main()
{
    gl_FragColor = gl_FrontLightModelProduct.sceneColor * gl_FrontMaterial.ambient *
                   texture2D(diffuseMap, gl_TexCoord[0].st);
}
