#version 120
// ParticleShaderLava, fragment stage: the glow texture, tinted to embers, faded by the
// particle's alpha.

uniform sampler2D tex0;

void main()
{
#ifdef POINT_COORD
    vec4 texel = texture2D(tex0, gl_PointCoord);
    gl_FragColor = vec4(texel.rgb, gl_Color.a);
#else
    vec4 texel = texture2D(tex0, gl_TexCoord[0].st);
    gl_FragColor = vec4(texel.rgb * vec3(0.4, 0.25, 0.1), gl_Color.a);
#endif
}
