// GLSL sources of the renderer's programs. All share one vertex layout:
// position 0, colour 1, normal 2, texture coordinate 3, width 4.
#pragma once

namespace vq {

// Plain transform; colour, normal and position passed on.
constexpr const char *kSurfaceVs = R"(#version 330 core
layout(location = 0) in vec3 aPos;
layout(location = 1) in vec4 aColour;
layout(location = 2) in vec3 aNormal;
uniform mat4 uMvp;
out vec4 vColour;
out vec3 vNormal;
out vec3 vPos;
void main() {
    gl_Position = uMvp * vec4(aPos, 1.0);
    vColour = aColour;
    vNormal = aNormal;
    vPos = aPos;
}
)";

// Diffuse lighting, two-sided: a facet's winding says nothing about which
// side faces the viewer.
constexpr const char *kSurfaceFs = R"(#version 330 core
in vec4 vColour;
in vec3 vNormal;
in vec3 vPos;
uniform vec3 uAmbient;
uniform int uLightCount;
uniform vec3 uLightPos[8];
uniform vec3 uLightColour[8];
out vec4 fragColour;
void main() {
    vec3 n = normalize(vNormal);
    vec3 light = uAmbient;
    for (int i = 0; i < uLightCount; ++i) {
        vec3 l = normalize(uLightPos[i] - vPos);
        light += uLightColour[i] * abs(dot(n, l));
    }
    fragColour = vec4(vColour.rgb * min(light, vec3(1.0)), vColour.a);
}
)";

constexpr const char *kLineVs = R"(#version 330 core
layout(location = 0) in vec3 aPos;
layout(location = 1) in vec4 aColour;
layout(location = 4) in float aWidth;
uniform mat4 uMvp;
out vec4 vColour;
out float vWidth;
void main() {
    gl_Position = uMvp * vec4(aPos, 1.0);
    vColour = aColour;
    vWidth = aWidth;
}
)";

// Each segment becomes a quad of its width in pixels, facing the camera;
// core profiles allow no wide GL lines.
constexpr const char *kLineGs = R"(#version 330 core
layout(lines) in;
layout(triangle_strip, max_vertices = 4) out;
in vec4 vColour[];
in float vWidth[];
uniform vec2 uViewport;
out vec4 gColour;
void main() {
    vec4 p0 = gl_in[0].gl_Position;
    vec4 p1 = gl_in[1].gl_Position;
    if (p0.w <= 0.0 || p1.w <= 0.0)
        return;
    vec2 s0 = p0.xy / p0.w * uViewport;
    vec2 s1 = p1.xy / p1.w * uViewport;
    vec2 d = s1 - s0;
    float len = length(d);
    d = len > 1e-6 ? d / len : vec2(1.0, 0.0);
    vec2 n = vec2(-d.y, d.x) / uViewport;
    vec2 o0 = n * max(vWidth[0], 1.0) * p0.w;
    vec2 o1 = n * max(vWidth[1], 1.0) * p1.w;
    gColour = vColour[0];
    gl_Position = vec4(p0.xy + o0, p0.zw);
    EmitVertex();
    gl_Position = vec4(p0.xy - o0, p0.zw);
    EmitVertex();
    gColour = vColour[1];
    gl_Position = vec4(p1.xy + o1, p1.zw);
    EmitVertex();
    gl_Position = vec4(p1.xy - o1, p1.zw);
    EmitVertex();
    EndPrimitive();
}
)";

constexpr const char *kColourFs = R"(#version 330 core
in vec4 gColour;
out vec4 fragColour;
void main() {
    fragColour = gColour;
}
)";

constexpr const char *kPointVs = R"(#version 330 core
layout(location = 0) in vec3 aPos;
layout(location = 1) in vec4 aColour;
layout(location = 4) in float aWidth;
uniform mat4 uMvp;
out vec4 vColour;
void main() {
    gl_Position = uMvp * vec4(aPos, 1.0);
    gl_PointSize = max(aWidth, 1.0);
    vColour = aColour;
}
)";

// Round points: the square sprite's corners are cut away.
constexpr const char *kPointFs = R"(#version 330 core
in vec4 vColour;
out vec4 fragColour;
void main() {
    vec2 c = gl_PointCoord - vec2(0.5);
    if (dot(c, c) > 0.25)
        discard;
    fragColour = vColour;
}
)";

constexpr const char *kTexVs = R"(#version 330 core
layout(location = 0) in vec3 aPos;
layout(location = 1) in vec4 aColour;
layout(location = 3) in vec3 aTex;
uniform mat4 uMvp;
out vec4 vColour;
out vec3 vTex;
void main() {
    gl_Position = uMvp * vec4(aPos, 1.0);
    vColour = aColour;
    vTex = aTex;
}
)";

// Coordinates come into the brick's own texture, texel centres and all.
constexpr const char *kTexFs = R"(#version 330 core
in vec4 vColour;
in vec3 vTex;
uniform sampler3D uTexels;
out vec4 fragColour;
void main() {
    vec4 c = texture(uTexels, vTex);
    // Fully transparent texels change nothing; skipping them saves the blend.
    if (c.a * vColour.a <= 0.0)
        discard;
    fragColour = vec4(c.rgb, c.a * vColour.a);
}
)";

// Volume slices: a brick's texel, interpolated, is mapped back onto the
// grid's values (uDecode: lo and span of a normalised texel) and then onto
// its position on the data range (uRange: dmin and 1 / (dmax - dmin)),
// which picks an entry of the colour range; below dmin nothing is drawn.
// Without a ramp (dmax <= dmin) all that is drawn takes the top entry.
constexpr const char *kVolumeFs = R"(#version 330 core
in vec4 vColour;
in vec3 vTex;
uniform sampler3D uGrid;
uniform sampler1D uLut;
uniform vec2 uDecode;
uniform vec2 uRange;
uniform int uRamp;
uniform int uLutSize;
out vec4 fragColour;
void main() {
    float value = uDecode.x + texture(uGrid, vTex).r * uDecode.y;
    float u = (value - uRange.x) * uRange.y;
    if (!(u >= 0.0))
        discard;
    float f = uRamp != 0 ? min(u, 1.0) : 1.0;
    int i = min(int(f * float(uLutSize - 1)), uLutSize - 1);
    vec4 c = texelFetch(uLut, i, 0);
    if (c.a <= 0.0)
        discard;
    fragColour = c;
}
)";

} // namespace vq
