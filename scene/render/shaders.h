// GLSL sources of the renderer's programs. All share one vertex layout:
// position 0, colour 1, normal 2, texture coordinate 3, width 4.
#pragma once

namespace vq {

// Gradient shading, shared by the slice and stack programs: a sample's
// colour lit as a surface across its gradient would be (grad in texels of
// the texture's own axes, uGradToScene taking it into the scene), the
// surface facing down the gradient (out of what is dense): a third
// ambient, two thirds diffuse from each light and a little specular; a
// sample with no gradient stays as it is.
#define VQ_SHADE_GLSL \
    "uniform int uShade;\n" \
    "uniform mat3 uGradToScene;\n" \
    "uniform vec3 uEyePos;\n" \
    "uniform int uLightCount;\n" \
    "uniform vec3 uLightPos[8];\n" \
    "uniform vec3 uLightColour[8];\n" \
    "vec3 shadeSample(vec3 rgb, vec3 grad, vec3 pos) {\n" \
    "    vec3 n = -(uGradToScene * grad);\n" \
    "    float len = length(n);\n" \
    "    if (!(len > 1e-6))\n" \
    "        return rgb;\n" \
    "    n /= len;\n" \
    "    vec3 v = normalize(uEyePos - pos);\n" \
    "    vec3 light = vec3(0.3);\n" \
    "    vec3 spec = vec3(0.0);\n" \
    "    for (int i = 0; i < uLightCount; ++i) {\n" \
    "        vec3 l = normalize(uLightPos[i] - pos);\n" \
    "        light += 0.7 * uLightColour[i] * max(dot(n, l), 0.0);\n" \
    "        spec += 0.2 * uLightColour[i] * pow(max(dot(n, normalize(l + v)), 0.0), 16.0);\n" \
    "    }\n" \
    "    return min(rgb * light + spec, vec3(1.0));\n" \
    "}\n"
// A grid's colours, shared by the programs that draw a grid through its
// colour range: rangePlace maps a texel, normalised, back onto the grid's
// values (uDecode: lo and span) and then onto its place on the data range
// (uRange: dmin and 1 / (dmax - dmin)), below 0 under dmin; lutAt gives
// the entry of the look-up table at f in 0..1.
#define VQ_COLOUR_RANGE_GLSL \
    "uniform sampler1D uLut;\n" \
    "uniform vec2 uDecode;\n" \
    "uniform vec2 uRange;\n" \
    "uniform int uRamp;\n" \
    "uniform int uLutSize;\n" \
    "float rangePlace(float texel) {\n" \
    "    float value = uDecode.x + texel * uDecode.y;\n" \
    "    return (value - uRange.x) * uRange.y;\n" \
    "}\n" \
    "vec4 lutAt(float f) {\n" \
    "    int i = min(int(f * float(uLutSize - 1)), uLutSize - 1);\n" \
    "    return texelFetch(uLut, i, 0);\n" \
    "}\n"

// The head of every vertex stage: a position of type POS (vec2 or vec3)
// and a colour, at the attribute locations that every vertex array binds
// them to.
#define VQ_POSITION_COLOUR_GLSL(POS) \
    "#version 330 core\n" \
    "layout(location = 0) in " POS " aPos;\n" \
    "layout(location = 1) in vec4 aColour;\n"

// The head of every vertex stage that reads the renderer's vertex array:
// its attributes and the transform.
#define VQ_VERTEX_GLSL \
    VQ_POSITION_COLOUR_GLSL("vec3") \
    "layout(location = 2) in vec3 aNormal;\n" \
    "layout(location = 3) in vec3 aTex;\n" \
    "layout(location = 4) in float aWidth;\n" \
    "uniform mat4 uMvp;\n"

// Plain transform; colour, normal, texture coordinate and position passed
// on: the vertex stage of the surface, textured polygon, slice, plane,
// projection and stack programs, each fragment stage taking what it uses.
constexpr const char *kSceneVs = VQ_VERTEX_GLSL R"(
out vec4 vColour;
out vec3 vNormal;
out vec3 vTex;
out vec3 vPos;
void main() {
    gl_Position = uMvp * vec4(aPos, 1.0);
    vColour = aColour;
    vNormal = aNormal;
    vTex = aTex;
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

constexpr const char *kLineVs = VQ_VERTEX_GLSL R"(
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

constexpr const char *kPointVs = VQ_VERTEX_GLSL R"(
uniform float uPixelScale = 1.0;
out vec4 vColour;
void main() {
    gl_Position = uMvp * vec4(aPos, 1.0);
    gl_PointSize = max(aWidth * uPixelScale, 1.0);
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
constexpr const char *kVolumeFs = "#version 330 core\n" VQ_SHADE_GLSL VQ_COLOUR_RANGE_GLSL R"(
in vec4 vColour;
in vec3 vTex;
in vec3 vPos;
uniform sampler3D uGrid;
uniform int uStride = 1;
out vec4 fragColour;
void main() {
    float u = rangePlace(texture(uGrid, vTex).r);
    if (!(u >= 0.0))
        discard;
    vec4 c = lutAt(uRamp != 0 ? min(u, 1.0) : 1.0);
    if (c.a <= 0.0)
        discard;
    if (uShade != 0) {
        vec3 ts = 1.0 / vec3(textureSize(uGrid, 0));
        vec3 grad = vec3(texture(uGrid, vTex + vec3(ts.x, 0.0, 0.0)).r - texture(uGrid, vTex - vec3(ts.x, 0.0, 0.0)).r,
                         texture(uGrid, vTex + vec3(0.0, ts.y, 0.0)).r - texture(uGrid, vTex - vec3(0.0, ts.y, 0.0)).r,
                         texture(uGrid, vTex + vec3(0.0, 0.0, ts.z)).r - texture(uGrid, vTex - vec3(0.0, 0.0, ts.z)).r);
        c.rgb = shadeSample(c.rgb, grad, vPos);
    }
    // One slice of every uStride stands for them all.
    if (uStride > 1)
        c.a = 1.0 - pow(1.0 - c.a, float(uStride));
    fragColour = c;
}
)";

// A plane through a grid: the value's colour in the lookup table (values
// below the data range the first, above it the last), with the plane's
// alpha; below 1, voxels under the data range are left out.
constexpr const char *kPlaneFs = "#version 330 core\n" VQ_COLOUR_RANGE_GLSL R"(
in vec4 vColour;
in vec3 vTex;
uniform sampler3D uGrid;
uniform float uAlpha;
out vec4 fragColour;
void main() {
    float u = rangePlace(texture(uGrid, vTex).r);
    bool below = !(u >= 0.0);
    if (below && uAlpha < 1.0)
        discard;
    float f = below ? 0.0 : (uRamp != 0 ? min(u, 1.0) : 1.0);
    fragColour = vec4(lutAt(f).rgb, uAlpha);
}
)";

// Volume slices of a projection (uBlend: 1 maximum, 2 minimum, 3 mean)
// gather into a float target instead of blending by opacity: each fragment
// gives its place u on the data range (as kVolumeFs finds it) and the
// target keeps the largest, the smallest or the sum with a count, by the
// GL's blend equation. Below dmin counts as the range's bottom for the
// minimum and the mean (uEmpty: a brick left out as holding nothing at or
// above dmin), and shows nothing through the maximum. Opaque things hide
// what lies behind them (uDepthLimit: their depth at the pixel).
constexpr const char *kProjectFs = R"(#version 330 core
in vec4 vColour;
in vec3 vTex;
uniform sampler3D uGrid;
uniform vec2 uDecode;
uniform vec2 uRange;
uniform int uRamp;
uniform int uBlend;
uniform int uEmpty;
uniform int uDepthLimit;
uniform sampler2D uDepthBuffer;
uniform sampler2DMS uDepthSamples;
uniform int uSampleCount;
out vec4 fragColour;
void main() {
    if (uDepthLimit != 0) {
        ivec2 pix = ivec2(gl_FragCoord.xy);
        float z = uSampleCount > 1 ? texelFetch(uDepthSamples, pix, 0).r : texelFetch(uDepthBuffer, pix, 0).r;
        if (gl_FragCoord.z > z)
            discard;
    }
    float u = -1.0;
    if (uEmpty == 0) {
        float value = uDecode.x + texture(uGrid, vTex).r * uDecode.y;
        u = (value - uRange.x) * uRange.y;
        if (!(u >= 0.0))
            u = -1.0;
        else if (uRamp == 0)
            u = 1.0;
    }
    if (uBlend == 1)
        fragColour = vec4(u, 0.0, 0.0, 0.0);
    else if (uBlend == 2)
        fragColour = vec4(max(u, 0.0), 0.0, 0.0, 0.0);
    else
        fragColour = vec4(clamp(u, 0.0, 1.0), 1.0, 0.0, 0.0);
}
)";

// A projection's float target through the colour range onto the panel at
// full opacity; pixels whose rays met nothing (or, for the maximum, nothing
// above dmin) stay as they are.
constexpr const char *kProjectResolveFs = R"(#version 330 core
uniform sampler2D uTexels;
uniform sampler1D uLut;
uniform int uLutSize;
uniform int uBlend;
uniform vec4 uWindow;
out vec4 fragColour;
void main() {
    vec4 c = texelFetch(uTexels, ivec2(gl_FragCoord.xy - uWindow.xy), 0);
    float f;
    if (uBlend == 3) {
        if (!(c.g > 0.0))
            discard;
        f = c.r / c.g;
    } else {
        // A maximum at the range's bottom shows nothing, as its texels
        // do in a stack.
        if (!(c.r >= 0.0) || c.r > 1e29 || (uBlend == 1 && c.r <= 0.0))
            discard;
        f = c.r;
    }
    int i = clamp(int(min(f, 1.0) * float(uLutSize - 1)), 0, uLutSize - 1);
    fragColour = vec4(texelFetch(uLut, i, 0).rgb, 1.0);
}
)";

// A stack of parallel, evenly spaced textured polygons in one pass, drawn
// brick by brick over the back faces of the brick's box. Each pixel's ray
// in voxel indices (from uEye along uRay * (ndc, 1), the parameter being
// eye-space depth, clipped to uDepth: near, far, and to the opaque depth
// where uDepthLimit) meets plane k at
// dot(n, x) = d0 + k * step (uPlane: n, d0; uPlanes: step, count; k = 0
// is drawn first, the farthest); the samples inside the brick's share
// uLo..uHi are composited nearest first in floats, as the polygons one by
// one would blend them, and stop once nothing behind can show. Cells of
// 8^3 texels with nothing visible (uOccupancy) are stepped over. CELL is
// kCell of state.h. With uNearFirst the bricks come nearest first: a ray
// carries on from what the bricks in front gathered (uFront, the target
// being drawn, read at the pixel it writes).
// uBlend other than 0 projects instead (see project() below): the texels'
// opacity, which rises with their value, picks the largest or the smallest
// along the ray, whose colour shows at full opacity, or the texels'
// colours are averaged. uPartial: a brick's share, kept for the next brick
// (colour and 1 + the opacity picked, or the sum of colours and a count).
// uEmpty: a brick left out, all its texels uFill.
// Built with PLAIN defined (kStackPlain) it composites without shading.
// Built with GRID defined (kStackGrid) the stack is a slice set, drawn
// composited: its planes are the slices (the coarse frame's stride already
// in their spacing, so uStride only scales each sample's opacity),
// uTexels a brick of the grid (k fastest, i slowest), and a sample's
// colour and opacity come from its value through the colour range as for
// kVolumeFs.
// Built with VALUES defined (kStackValues) a texture's stack takes its
// samples from a grid's values as GRID does, with every blend and shading;
// with PLAIN too (kStackValuesPlain), composited without shading.
constexpr const char *kStackFs = "#version 330 core\n" VQ_SHADE_GLSL R"(
uniform sampler3D uTexels;
uniform mat4 uIndexToScene;
uniform vec3 uEye;
uniform mat3 uRay;
uniform vec2 uDepth;
uniform vec4 uWindow;
uniform vec4 uPlane;
uniform vec2 uPlanes;
uniform float uAlpha;
uniform vec3 uLo, uHi, uOrigin, uSize;
uniform int uDepthLimit;
uniform sampler2D uDepthBuffer;
uniform sampler2DMS uDepthSamples;
uniform int uSampleCount;
uniform sampler3D uOccupancy;
uniform int uStride = 1;
uniform int uNearFirst;
uniform sampler2D uFront;
// A ray stops once its opacity reaches uStop: what lies behind can then
// add at most 1 - uStop to any channel (1/255 by default).
uniform float uStop = 0.996078;
#if defined(GRID) || defined(PLAIN) || defined(SHADED)
// Composited, shaded with SHADED and else unshaded, every brick drawn
// (kStackGrid, kStackPlain, kStack...Shaded): what other stacks choose by
// uniforms is fixed, so that the loop below carries no test of them (on
// llvmpipe such tests cost a third).
#ifdef SHADED
#define uShade 1
#else
#define uShade 0
#endif
const int uBlend = 0;
const int uPartial = 0;
const int uEmpty = 0;
const vec4 uFill = vec4(0.0);
#else
uniform int uBlend;
uniform int uPartial;
uniform int uEmpty;
uniform vec4 uFill;
#endif
#define CELL 8
out vec4 fragColour;
// Shading by look-up: the lighting of each normal direction, on an
// octahedral map (rgb the light on the sample, a the specular highlight),
// made for the brick being drawn (makeShadeTable).
uniform sampler2D uShadeTable;
vec3 shadeOnRay(vec3 rgb, vec3 grad) {
    vec3 n = -(uGradToScene * grad);
    float l1 = abs(n.x) + abs(n.y) + abs(n.z);
    if (!(l1 > 1e-6))
        return rgb;
    vec2 p = n.xy / l1;
    if (n.z < 0.0)
        p = (1.0 - abs(p.yx)) * vec2(p.x >= 0.0 ? 1.0 : -1.0, p.y >= 0.0 ? 1.0 : -1.0);
    vec4 t = texture(uShadeTable, p * 0.5 + 0.5);
    return min(rgb * t.rgb + t.a, vec3(1.0));
}
#if defined(GRID) || defined(VALUES)
)" VQ_COLOUR_RANGE_GLSL R"(
// Colour and opacity at texture coordinates s.
vec4 sampleAt(vec3 s) {
    float u = rangePlace(texture(uTexels, s.zyx).r);
#ifdef VALUES
    // Projections pick by the value itself, which goes on rising past the
    // range's top; below the range a sample has the range's first colour,
    // as its texel would.
    if (uBlend != 0)
        return vec4(lutAt(clamp(u, 0.0, 1.0)).rgb, max(u, -0.5));
#endif
    if (!(u >= 0.0))
        return vec4(0.0);
    return lutAt(uRamp != 0 ? min(u, 1.0) : 1.0);
}
// What shading takes the gradient of at voxel v of the brick: the value,
// rising with the texel.
float shadeKey(ivec3 v) {
    return texelFetch(uTexels, v.zyx, 0).r;
}
ivec3 brickVoxels() {
    return textureSize(uTexels, 0).zyx;
}
#else
vec4 sampleAt(vec3 s) {
    return texture(uTexels, s);
}
// The opacity, which rises with the value.
float shadeKey(ivec3 v) {
    return texelFetch(uTexels, v, 0).a;
}
ivec3 brickVoxels() {
    return textureSize(uTexels, 0);
}
#endif
#ifdef GRID
const int kGrid = 1;
#else
const int kGrid = 0;
#endif
// What a projection has gathered: the colour picked (or the sum of
// colours), the opacity it was picked by (or the count of samples).
vec3 pColour = vec3(0.0);
float pKey = 0.0;
bool pHit = false;
void project(vec4 c) {
    if (uBlend == 3) {
        pColour += c.rgb;
        pKey += 1.0;
        pHit = true;
    } else if (!pHit || (uBlend == 1 ? c.a > pKey : c.a < pKey)) {
        pColour = c.rgb;
        pKey = c.a;
        pHit = true;
    }
}
void main() {
    vec3 colour = vec3(0.0);
    float opacity = 0.0;
    if (uBlend != 0 && uNearFirst != 0) {
        vec4 front = texelFetch(uFront, ivec2(gl_FragCoord.xy - uWindow.xy), 0);
        if (front.a > 0.0) {
            pHit = true;
            pColour = front.rgb;
            pKey = uBlend == 3 ? front.a : front.a - 1.0;
        }
    } else if (uNearFirst != 0) {
        vec4 front = texelFetch(uFront, ivec2(gl_FragCoord.xy - uWindow.xy), 0);
        if (front.a >= uStop)
            discard;
        colour = front.rgb;
        opacity = front.a;
    }
    vec2 ndc = (gl_FragCoord.xy - uWindow.xy) / uWindow.zw * 2.0 - 1.0;
    // Opaque things hide what lies behind their depth (as a depth test
    // that lets equal depths pass would).
    float far = uDepth.y;
    // In a multisampled frame each sample has its own opaque depth (an
    // edge covers some of a pixel's samples): the ray runs to the farthest,
    // and each sample takes what the ray had gathered at its own depth.
    float stops[8];
    int nStops = 0;
    if (uDepthLimit != 0) {
        float n = uDepth.x, f = uDepth.y;
        ivec2 pix = ivec2(gl_FragCoord.xy - uWindow.xy);
        if (uSampleCount > 1) {
            nStops = min(uSampleCount, 8);
            for (int s = 0; s < nStops; ++s) {
                float z = texelFetch(uDepthSamples, pix, s).r * 2.0 - 1.0;
                float d = 2.0 * f * n / (f + n - z * (f - n));
                int j = s - 1;
                for (; j >= 0 && stops[j] > d; --j)
                    stops[j + 1] = stops[j];
                stops[j + 1] = d;
            }
            far = min(far, stops[nStops - 1]);
        } else {
            float z = texelFetch(uDepthBuffer, pix, 0).r * 2.0 - 1.0;
            far = min(far, 2.0 * f * n / (f + n - z * (f - n)));
        }
    }
    vec3 gathered = vec3(0.0);
    float gatheredOpacity = 0.0;
    int passed = 0;
    vec3 p0 = uEye;
    vec3 r = uRay * vec3(ndc, 1.0);
    vec3 n = uPlane.xyz;
    float nr = dot(n, r), np0 = dot(n, p0);
    if (nr == 0.0)
        discard;
    vec3 safe = mix(r, vec3(1e-30), lessThan(abs(r), vec3(1e-30)));
    vec3 t0 = (uLo - p0) / safe, t1 = (uHi - p0) / safe;
    vec3 tn = min(t0, t1), tf = max(t0, t1);
    float tIn = max(max(max(tn.x, tn.y), tn.z), uDepth.x);
    float tOut = min(min(min(tf.x, tf.y), tf.z), far);
    if (tIn > tOut)
        discard;
    float kIn = (np0 + tIn * nr - uPlane.w) / uPlanes.x;
    float kOut = (np0 + tOut * nr - uPlane.w) / uPlanes.x;
    int k0 = max(int(floor(min(kIn, kOut))) - 1, 0);
    int k1 = min(int(ceil(max(kIn, kOut))) + 1, int(uPlanes.y) - 1);
    ivec3 cells = textureSize(uOccupancy, 0);
    // Coarse frames sample every uStride-th plane only (the same ones in
    // every brick), each standing for uStride of them.
    int stride = kGrid != 0 ? 1 : max(uStride, 1);
#ifdef GRID
    int power = max(uStride, 1);
#else
    int power = stride;
#endif
    k1 -= k1 % stride;
    // Plane k's sample lies at t = tA + k * tB on the ray, at x = xA + k * xB
    // in voxel indices and at texture coordinates sA + k * sB.
    float tA = (uPlane.w - np0) / nr, tB = uPlanes.x / nr;
    vec3 xA = p0 + tA * r, xB = tB * r;
    vec3 toTexture = 1.0 / uSize;
    vec3 sA = (xA - uOrigin + 0.5) * toTexture, sB = xB * toTexture;
    ivec3 voxels = brickVoxels(), top = max(voxels - 1, ivec3(0));
    for (int k = k1; k >= k0; k -= stride) {
        float fk = float(k);
        float t = tA + fk * tB;
        for (; passed < nStops && t > stops[passed]; ++passed) {
            gathered += colour;
            gatheredOpacity += opacity;
        }
        vec3 x = xA + fk * xB;
        if (t < uDepth.x || t > far || any(lessThan(x, uLo)) || any(greaterThanEqual(x, uHi)))
            continue;
        // A cell without a visible texel: on to the first plane past it.
        ivec3 cell = clamp(ivec3(floor(x / float(CELL))), ivec3(0), cells - 1);
        // The minimum takes the empty cells' texels (it ends at the first,
        // below); the mean counts the planes through an empty cell at the
        // texel where the ray enters it.
        if (uBlend != 2 && uEmpty == 0 && texelFetch(uOccupancy, cell, 0).r == 0.0) {
            vec3 side = (vec3(cell) + step(vec3(0.0), r)) * float(CELL);
            vec3 leave = (side - p0) / safe;
            float tExit = min(min(leave.x, leave.y), leave.z);
            float kExit = (np0 + tExit * nr - uPlane.w) / uPlanes.x;
            int next = int(floor(kExit + 0.01));
            int after = min(k, next - next % stride + stride);
            if (uBlend == 3) {
                float planes = float((k - after) / stride + 1);
                pColour += planes * sampleAt(sA + fk * sB).rgb;
                pKey += planes;
                pHit = true;
            }
            k = after;
            continue;
        }
        vec4 c = uEmpty != 0 ? uFill : sampleAt(sA + fk * sB);
        if (uBlend != 0) {
            project(c);
            // Nothing is below no opacity at all.
            if (uBlend == 2 && pKey <= 0.0)
                break;
            continue;
        }
        float a = c.a * uAlpha;
        // Shading (uShade): the gradient of what rises with the value
        // (shadeKey) lights each sample that shows: forward differences
        // from the nearest voxel, four texels read without filtering.
        if (uShade != 0 && a > 0.0) {
            ivec3 v = clamp(ivec3((sA + fk * sB) * vec3(voxels)), ivec3(0), top);
            ivec3 u = min(v + 1, top);
            vec3 grad = vec3(shadeKey(ivec3(u.x, v.y, v.z)), shadeKey(ivec3(v.x, u.y, v.z)),
                             shadeKey(ivec3(v.x, v.y, u.z))) - shadeKey(v);
            c.rgb = shadeOnRay(c.rgb, grad);
        }
        if (power > 1)
            a = 1.0 - pow(1.0 - a, float(power));
        float w = (1.0 - opacity) * a;
        colour += w * c.rgb;
        opacity += w;
        if (opacity >= uStop)
            break;
    }
    if (uBlend != 0) {
        if (uPartial != 0) {
            if (!pHit)
                discard;
            fragColour = vec4(pColour, uBlend == 3 ? pKey : pKey + 1.0);
            return;
        }
        // The maximum of texels that show nothing shows nothing.
        if (!pHit || (uBlend == 1 && pKey <= 0.0))
            discard;
        fragColour = vec4(uBlend == 3 ? pColour / pKey : pColour, 1.0);
        return;
    }
    if (nStops > 1) {
        float rest = float(nStops - passed);
        colour = (gathered + rest * colour) / float(nStops);
        opacity = (gatheredOpacity + rest * opacity) / float(nStops);
    }
    if (opacity <= 0.0)
        discard;
    fragColour = vec4(colour, opacity);
}
)";

// A stack composited brick by brick in a float target, blended once into
// the panel: one triangle over the whole viewport.
constexpr const char *kCompositeVs = R"(#version 330 core
void main() {
    vec2 p = vec2(float((gl_VertexID << 1) & 2), float(gl_VertexID & 2));
    gl_Position = vec4(p * 2.0 - 1.0, 0.0, 1.0);
}
)";

// A projection's target (uBlend, as kStackFs's with uPartial) ends at full
// opacity.
constexpr const char *kCompositeFs = R"(#version 330 core
uniform sampler2D uTexels;
uniform vec4 uWindow;
uniform int uBlend;
out vec4 fragColour;
void main() {
    vec4 c = texelFetch(uTexels, ivec2(gl_FragCoord.xy - uWindow.xy), 0);
    if (c.a <= 0.0)
        discard;
    if (uBlend == 1 && c.a <= 1.0)
        discard;
    if (uBlend == 3)
        c = vec4(c.rgb / c.a, 1.0);
    else if (uBlend != 0)
        c.a = 1.0;
    fragColour = c;
}
)";

// A frame drawn at fewer pixels, spread over the window's with bilinear
// filtering.
constexpr const char *kUpscaleFs = R"(#version 330 core
uniform sampler2D uTexels;
uniform vec4 uWindow;
out vec4 fragColour;
void main() {
    fragColour = vec4(texture(uTexels, (gl_FragCoord.xy - uWindow.xy) / uWindow.zw).rgb, 1.0);
}
)";

// Overlays: quads in the panel's pixels (uViewport: its size), plain or,
// with texture coordinates (u >= 0), the font atlas's coverage as opacity.
constexpr const char *kOverlayVs = VQ_POSITION_COLOUR_GLSL("vec2") R"(
layout(location = 3) in vec2 aUv;
uniform vec2 uViewport;
out vec4 vColour;
out vec2 vUv;
void main() {
    gl_Position = vec4(aPos / uViewport * 2.0 - 1.0, 0.0, 1.0);
    vColour = aColour;
    vUv = aUv;
}
)";

constexpr const char *kOverlayFs = R"(#version 330 core
in vec4 vColour;
in vec2 vUv;
uniform sampler2D uAtlas;
out vec4 fragColour;
void main() {
    float a = vUv.x < 0.0 ? 1.0 : texture(uAtlas, vUv).r;
    fragColour = vec4(vColour.rgb, vColour.a * a);
}
)";

// A multisampled frame resolved: the mean of each pixel's samples, summed
// in order and scaled, as the GL's own resolve does.
constexpr const char *kResolveFs = R"(#version 330 core
uniform sampler2DMS uTexels;
uniform int uSampleCount;
out vec4 fragColour;
void main() {
    ivec2 p = ivec2(gl_FragCoord.xy);
    vec4 sum = vec4(0.0);
    for (int i = 0; i < uSampleCount; ++i)
        sum += texelFetch(uTexels, p, i);
    fragColour = sum * (1.0 / float(uSampleCount));
}
)";

} // namespace vq
