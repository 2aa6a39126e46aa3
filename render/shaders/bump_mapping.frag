#version 120
// BumpMappingShader, fragment stage: light 0 with ambient, diffuse and specular terms,
// faded linearly to nothing at about 67 m from the light, times the soft shadow.

uniform sampler2DShadow shadowMap;
uniform sampler2D diffuseMap;

varying vec4 shadowCoord;
varying vec3 normal;
varying vec3 lightVec;
varying vec3 eyeVec;

#include "poisson_disk.glsl"
#include "soft_shadow.glsl"

void main()
{
    vec4 texel = texture2D(diffuseMap, gl_TexCoord[0].st);
    vec3 N = normalize(normal);
    float distance = length(lightVec);
    vec3 L = lightVec / max(distance, 1e-6);
    float attenuation = clamp(1.0 - 0.015 * distance, 0.0, 1.0);
    // Beyond the light's reach every term below is zero: skip the 64 shadow taps.
    if (attenuation <= 0.0) {
        gl_FragColor = vec4(0.0, 0.0, 0.0, 1.0);
        return;
    }

    vec4 colour = gl_LightSource[0].ambient * gl_FrontMaterial.ambient * texel * attenuation;
    float NdotL = dot(N, L);
    if (NdotL > 0.0) {
        vec3 V = normalize(eyeVec);
        vec3 R = reflect(-L, N);
        // pow(0, 0) is undefined: keep the base above zero for a shininess of 0.
        float specular = pow(max(clamp(dot(R, V), 0.0, 1.0), 1e-6), gl_FrontMaterial.shininess);
        colour += gl_LightSource[0].diffuse * gl_FrontMaterial.diffuse * NdotL * texel * attenuation;
        colour += gl_LightSource[0].specular * gl_FrontMaterial.specular * specular * attenuation;
    }
    gl_FragColor = vec4(colour.rgb * softShadow(shadowMap, shadowCoord, 0.002), 1.0);
}
