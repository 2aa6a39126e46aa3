#version 120
// ParticleShader, fragment stage: each sprite drawn as a lit sphere of radius pointRadius
// (a sphere impostor), with a sharp highlight, in the soft shadow of the shadow map.
// POST_FX: the highlight is reddish so the bloom picks it up.

uniform sampler2D tex0;
uniform float pointRadius;

varying vec3 eyePosition;
varying vec3 lightVec;
varying float shadowTerm;  // the sprite's soft shadow, from the vertex stage

void main()
{
#ifdef POINT_COORD
    vec2 c = gl_PointCoord;
#else
    vec2 c = gl_TexCoord[0].st;
#endif
    vec3 n;
    n.xy = c * vec2(2.0, -2.0) + vec2(-1.0, 1.0);
    float m = dot(n.xy, n.xy);
    if (m > 1.0)
        discard;
    n.z = sqrt(1.0 - m);
    // The sprite's texture is fetched with it but takes no part in the colour.
    vec4 texel = texture2D(tex0, c);

    vec3 L = normalize(lightVec);
    float diffuse = max(0.0, dot(L, n));
    vec3 spherePoint = eyePosition + n * pointRadius;
    vec3 V = normalize(-spherePoint);
    vec3 H = normalize(L + V);
    float s = pow(max(0.0, dot(n, H)), 60.0) * 0.8;
#ifdef POST_FX
    vec3 highlight = vec3(s, 0.2 * s, 0.2 * s);
#else
    vec3 highlight = vec3(s);
#endif
    gl_FragColor = vec4(gl_Color.rgb * diffuse + highlight, 1.0) * shadowTerm;
}
