#version 120
// PostFXShader_ExtractBloom: the bright parts of the frame, as an amber glow.

uniform sampler2D sceneBuffer;
uniform float brightThreshold;  // kept for the shader's interface; the test below is fixed

void main()
{
    vec4 c = texture2D(sceneBuffer, gl_TexCoord[0].st);
    if (0.6 * c.r > 0.4)
        gl_FragColor = vec4(0.4, 0.25, 0.0, 1.0);
    else
        gl_FragColor = vec4(0.0);
}
