// The renderer's OpenGL work: render states by number, matrices, textures, point drawing,
// and the drawing of scene meshes, HUD quads and text.
//
// Everything acts on the context of the render window current on the calling thread and
// does nothing without one.

#include <GL/glew.h>

#include <algorithm>
#include <cstddef>

#include "platform/engine/vantorr.h"
#include "platform/engine/vn_camera.h"
#include "platform/engine/vn_curve.h"
#include "platform/engine/vn_font.h"
#include "platform/engine/vn_gpu_shader.h"
#include "platform/engine/vn_light.h"
#include "platform/engine/vn_material.h"
#include "platform/engine/vn_mesh.h"
#include "platform/engine/vn_render_state.h"
#include "platform/engine/vn_render_window.h"
#include "platform/engine/vn_scene.h"
#include "platform/engine/vn_texture.h"

namespace Vantorr_nsp {
namespace {

constexpr int kMaxLights = 8;
constexpr int kMaterialTextureStages = 4;

vnRenderWindow* currentWindow() {
    vnRenderWindow* rw = Vantorr::getInstance()->getCurrentRenderWindow();
    return rw && rw->getContext() ? rw : nullptr;
}

GLenum capabilityOf(int state) {
    switch (state) {
        case VN_STATE_FOG:
            return GL_FOG;
        case VN_STATE_LIGHTING:
            return GL_LIGHTING;
        case VN_STATE_TEXTURING:
            return GL_TEXTURE_2D;
        case VN_STATE_BLENDING:
            return GL_BLEND;
        case VN_STATE_CULL_FACE:
            return GL_CULL_FACE;
        case VN_STATE_MULTISAMPLE:
            return GL_MULTISAMPLE;
        case VN_STATE_POINT_SPRITE:
            return GL_POINT_SPRITE;
        case VN_STATE_POLYGON_OFFSET:
            return GL_POLYGON_OFFSET_FILL;
        case VN_STATE_ALPHA_TEST:
            return GL_ALPHA_TEST;
        case VN_STATE_DEPTH_TEST:
            return GL_DEPTH_TEST;
        default:
            return 0;
    }
}

void applyState(int state, bool on) {
    if (state == VN_STATE_DEPTH_WRITE) {
        glDepthMask(on ? GL_TRUE : GL_FALSE);
        return;
    }
    if (state == VN_STATE_ALPHA_TEST) glAlphaFunc(GL_GREATER, 0.0f);
    const GLenum cap = capabilityOf(state);
    if (!cap) return;
    if (on)
        glEnable(cap);
    else
        glDisable(cap);
}

GLenum blendFactor(int f) {
    static const GLenum factors[] = {GL_ZERO,      GL_ONE,
                                     GL_SRC_COLOR, GL_ONE_MINUS_SRC_COLOR,
                                     GL_DST_COLOR, GL_ONE_MINUS_DST_COLOR,
                                     GL_DST_ALPHA, GL_ONE_MINUS_DST_ALPHA,
                                     GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA};
    return f >= 0 && f < 10 ? factors[f] : GL_ONE;
}

// A byte offset into the bound vertex buffer, as the pointer argument OpenGL takes.
const void* bufferOffset(size_t offset) {
    return reinterpret_cast<const void*>(offset);
}

void setVertexPointers() {
    constexpr GLsizei stride = sizeof(vnVertex);
    glVertexPointer(3, GL_FLOAT, stride, bufferOffset(offsetof(vnVertex, position)));
    glNormalPointer(GL_FLOAT, stride, bufferOffset(offsetof(vnVertex, normal)));
    glColorPointer(4, GL_FLOAT, stride, bufferOffset(offsetof(vnVertex, color)));
    // Shaders read coordinate set 0; fixed-function drawing in the lit pass reads unit 1.
    for (int unit = 0; unit < 2; ++unit) {
        glClientActiveTexture(GLenum(GL_TEXTURE0 + unit));
        glTexCoordPointer(2, GL_FLOAT, stride, bufferOffset(offsetof(vnVertex, uv)));
    }
    glClientActiveTexture(GL_TEXTURE0);
}

void enableMeshArrays(bool on) {
    auto set = [on](GLenum a) { on ? glEnableClientState(a) : glDisableClientState(a); };
    set(GL_VERTEX_ARRAY);
    set(GL_NORMAL_ARRAY);
    set(GL_COLOR_ARRAY);
    for (int unit = 0; unit < 2; ++unit) {
        glClientActiveTexture(GLenum(GL_TEXTURE0 + unit));
        set(GL_TEXTURE_COORD_ARRAY);
    }
    glClientActiveTexture(GL_TEXTURE0);
}

void setMaterialColours(const vnMaterial& m) {
    glMaterialfv(GL_FRONT_AND_BACK, GL_AMBIENT, m.getAmbient().data());
    glMaterialfv(GL_FRONT_AND_BACK, GL_DIFFUSE, m.getDiffuse().data());
    glMaterialfv(GL_FRONT_AND_BACK, GL_SPECULAR, m.getSpecular().data());
    glMaterialfv(GL_FRONT_AND_BACK, GL_EMISSION, m.getEmissive().data());
    glMaterialf(GL_FRONT_AND_BACK, GL_SHININESS, std::clamp(m.getShininess(), 0.0f, 128.0f));
}

// The state a material asks for in one pass. The lit pass keeps the caller's blending and
// depth writes (it adds onto the ambient image) and leaves unit 0 to the shadow map.
void applyMaterial(const vnMaterial* m, int pass) {
    if (pass == VN_PASS_DEPTH || !m) {
        glUseProgram(0);
        glDisable(GL_LIGHTING);
        for (int unit = 0; unit < 2; ++unit) {
            glActiveTexture(GLenum(GL_TEXTURE0 + unit));
            glDisable(GL_TEXTURE_2D);
        }
        glActiveTexture(GL_TEXTURE0);
        if (pass == VN_PASS_AMBIENT) glDisable(GL_BLEND);
        return;
    }
    const vnRendererCtx& ctx = *m->getRendererCtx();
    for (int state = 0; state < kVnStateCount; ++state) {
        if (!ctx.isStateSet(state) || state == VN_STATE_TEXTURING) continue;
        if (pass == VN_PASS_LIT && (state == VN_STATE_BLENDING || state == VN_STATE_DEPTH_WRITE))
            continue;
        applyState(state, ctx.isStateOn(state));
    }
    if (pass == VN_PASS_AMBIENT)
        glBlendFunc(blendFactor(ctx.getBlendSource()), blendFactor(ctx.getBlendDestination()));
    static const GLenum modes[] = {GL_FILL, GL_LINE, GL_POINT};
    const int mode = ctx.getPolygonMode();
    glPolygonMode(GL_FRONT_AND_BACK, modes[mode >= 0 && mode < 3 ? mode : 0]);
    setMaterialColours(*m);

    const int base = pass == VN_PASS_LIT ? 1 : 0;
    const bool texturing = ctx.isStateOn(VN_STATE_TEXTURING);
    if (base == 1) {
        glActiveTexture(GL_TEXTURE0);
        glDisable(GL_TEXTURE_2D);
    }
    for (int stage = 0; stage < kMaterialTextureStages; ++stage) {
        vnTexture* t = m->getTexture(stage);
        const int unit = base + stage;
        if (t) {
            t->bind(unit);
            texturing ? glEnable(GL_TEXTURE_2D) : glDisable(GL_TEXTURE_2D);
        } else if (unit < 2) {
            glActiveTexture(GLenum(GL_TEXTURE0 + unit));
            glDisable(GL_TEXTURE_2D);
        }
    }
    glActiveTexture(GL_TEXTURE0);
    const vnGpuShader* shader = m->getGpuShader(pass == VN_PASS_LIT ? 0 : 1);
    glUseProgram(shader && shader->isReady() ? shader->getProgram() : 0);
}

// Draws a mesh's face groups, changing the material state only where it differs from the
// one in effect (current, valid when have_current is set).
void drawMeshGroups(vnMesh& mesh, const vnMaterial*& current, bool& have_current, int pass) {
    mesh.bindBuffers();
    setVertexPointers();
    auto use = [&](const vnMaterial* m) {
        if (pass == VN_PASS_DEPTH || (have_current && m == current)) return;
        applyMaterial(m, pass);
        current = m;
        have_current = true;
    };
    const auto& groups = mesh.getFaceGroups();
    if (groups.empty()) {
        use(nullptr);
        glDrawElements(GL_TRIANGLES, GLsizei(mesh.getMeshData()->getIndices().size()),
                       GL_UNSIGNED_INT, nullptr);
        return;
    }
    for (const vnFaceGroup& g : groups) {
        if (pass == VN_PASS_LIT && !g.material) continue;
        use(g.material);
        glDrawElements(GL_TRIANGLES, GLsizei(g.face_count * 3), GL_UNSIGNED_INT,
                       bufferOffset(size_t(g.first_face) * 3 * sizeof(uint32_t)));
    }
}

// Window pixels with the origin in the centre, integer halves on each side.
vnMatrix4 hudProjection(int width, int height) {
    const float left = -float(width / 2), bottom = -float(height / 2);
    return vnMatrix4::ortho(left, left + float(width), bottom, bottom + float(height), -1.0f, 1.0f);
}

constexpr GLbitfield kSavedAttributes = GL_ENABLE_BIT | GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT |
                                        GL_TEXTURE_BIT | GL_POLYGON_BIT | GL_LIGHTING_BIT |
                                        GL_CURRENT_BIT;

void pushMatrices() {
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
}

void popMatrices() {
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    glPopMatrix();
}

}  // namespace

// ---------------------------------------------------------------------------------------
// State operations

void vnRenderer::setRenderingState(int state, bool on) {
    if (currentWindow()) applyState(state, on);
}

void vnRenderer::setMatrixMode(int mode) {
    if (!currentWindow()) return;
    glMatrixMode(mode == VN_MATRIX_PROJECTION ? GL_PROJECTION
                 : mode == VN_MATRIX_TEXTURE  ? GL_TEXTURE
                                              : GL_MODELVIEW);
}

void vnRenderer::loadMatrix(const vnMatrix4& m) {
    if (currentWindow()) glLoadMatrixf(m.data());
}

void vnRenderer::loadIdentity() {
    if (currentWindow()) glLoadIdentity();
}

void vnRenderer::multMatrix(const vnMatrix4& m) {
    if (currentWindow()) glMultMatrixf(m.data());
}

void vnRenderer::setActiveTextureUnit(int unit) {
    if (currentWindow() && unit >= 0 && unit < 8) glActiveTexture(GLenum(GL_TEXTURE0 + unit));
}

void vnRenderer::bindTexture(int unit, const vnTexture* texture) {
    if (!currentWindow() || unit < 0 || unit >= 8) return;
    if (texture) {
        texture->bind(unit);
    } else {
        glActiveTexture(GLenum(GL_TEXTURE0 + unit));
        glBindTexture(GL_TEXTURE_2D, 0);
    }
    glActiveTexture(GL_TEXTURE0);
}

void vnRenderer::setColorMask(bool r, bool g, bool b, bool a) {
    if (currentWindow()) glColorMask(r, g, b, a);
}

void vnRenderer::setBlendFunc(int source, int destination) {
    if (currentWindow()) glBlendFunc(blendFactor(source), blendFactor(destination));
}

void vnRenderer::setDepthFunc(int func) {
    if (!currentWindow()) return;
    static const GLenum funcs[] = {GL_LESS, GL_LEQUAL, GL_EQUAL, GL_ALWAYS};
    glDepthFunc(funcs[func >= 0 && func < 4 ? func : 0]);
}

void vnRenderer::setPolygonOffset(float factor, float units) {
    if (currentWindow()) glPolygonOffset(factor, units);
}

void vnRenderer::setPointSize(float size) {
    if (currentWindow()) glPointSize(size);
}

bool vnRenderer::getPointSizeRange(float& min_size, float& max_size) {
    min_size = max_size = 0.0f;
    if (!currentWindow()) return false;
    GLfloat range[2] = {0.0f, 0.0f};
    glGetFloatv(GL_POINT_SIZE_RANGE, range);
    min_size = range[0];
    max_size = range[1];
    return true;
}

void vnRenderer::setPointSprites(bool on) {
    if (!currentWindow()) return;
    // Sprites take their size from the vertex shader and replace texture coordinate set 0
    // (and 1) with the position inside the sprite.
    for (int unit = 0; unit < 2; ++unit) {
        glActiveTexture(GLenum(GL_TEXTURE0 + unit));
        glTexEnvi(GL_POINT_SPRITE, GL_COORD_REPLACE, on ? GL_TRUE : GL_FALSE);
    }
    glActiveTexture(GL_TEXTURE0);
    if (on) {
        glEnable(GL_POINT_SPRITE);
        glEnable(GL_VERTEX_PROGRAM_POINT_SIZE);
    } else {
        glDisable(GL_POINT_SPRITE);
        glDisable(GL_VERTEX_PROGRAM_POINT_SIZE);
    }
}

void vnRenderer::drawPoints(int count, const float* positions, int positionSize, int positionStride,
                            const float* colors, int colorSize, int colorStride) {
    if (!currentWindow() || count <= 0 || !positions || positionSize < 2 || positionSize > 4)
        return;
    glBindBuffer(GL_ARRAY_BUFFER, 0);
    glEnableClientState(GL_VERTEX_ARRAY);
    glVertexPointer(positionSize, GL_FLOAT, positionStride, positions);
    const bool with_colors = colors && (colorSize == 3 || colorSize == 4);
    if (with_colors) {
        glEnableClientState(GL_COLOR_ARRAY);
        glColorPointer(colorSize, GL_FLOAT, colorStride, colors);
    }
    glDrawArrays(GL_POINTS, 0, count);
    if (with_colors) glDisableClientState(GL_COLOR_ARRAY);
    glDisableClientState(GL_VERTEX_ARRAY);
}

// ---------------------------------------------------------------------------------------
// Scenes

void vnRenderer::setCamera(vnCamera* camera) {
    if (!currentWindow() || !camera) return;
    int vp[4];
    camera->getViewport(vp);
    if (vp[2] > 0 && vp[3] > 0) glViewport(vp[0], vp[1], vp[2], vp[3]);
    glMatrixMode(GL_PROJECTION);
    glLoadMatrixf(camera->getProjectionMatrix().data());
    glMatrixMode(GL_MODELVIEW);
    glLoadMatrixf(camera->getViewMatrix().data());
}

void vnRenderer::setLights(vnScene* scene) {
    if (!currentWindow() || !scene) return;
    glMatrixMode(GL_MODELVIEW);
    const auto& lights = scene->getLights();
    for (int i = 0; i < kMaxLights; ++i) {
        const GLenum id = GLenum(GL_LIGHT0 + i);
        if (size_t(i) >= lights.size()) {
            glDisable(id);
            continue;
        }
        const vnLightData& d = lights[size_t(i)]->getLightData();
        // Positions are given in world space; the current modelview (the camera's view)
        // takes them to eye space, where shaders find them.
        const float position[4] = {d.position.x, d.position.y, d.position.z, 1.0f};
        glLightfv(id, GL_POSITION, position);
        glLightfv(id, GL_AMBIENT, d.ambient.data());
        glLightfv(id, GL_DIFFUSE, d.diffuse.data());
        glLightfv(id, GL_SPECULAR, d.specular.data());
        glLightf(id, GL_CONSTANT_ATTENUATION, d.attenuation[0]);
        glLightf(id, GL_LINEAR_ATTENUATION, d.attenuation[1]);
        glLightf(id, GL_QUADRATIC_ATTENUATION, d.attenuation[2]);
        glEnable(id);
    }
}

void vnRenderer::drawSceneObjects(vnScene* scene, vnCamera* camera, int pass) {
    if (!currentWindow() || !scene || !camera) return;
    const vnMatrix4& view = camera->getViewMatrix();
    glMatrixMode(GL_MODELVIEW);
    enableMeshArrays(true);
    if (pass == VN_PASS_DEPTH) applyMaterial(nullptr, pass);
    const vnMaterial* current = nullptr;
    bool have_current = false;
    for (vnMesh* mesh : scene->getDrawList()) {
        if (!mesh->getOptionsState(VN_OPTION_VISIBLE)) continue;
        if (pass == VN_PASS_DEPTH && !mesh->getOptionsState(VN_OPTION_CAST_SHADOWS)) continue;
        const vnMaterial* material = mesh->getMaterial();
        if (pass == VN_PASS_LIT && (!material || !mesh->getOptionsState(VN_OPTION_LIGHTED)))
            continue;
        const vnBoundingVolume bv = mesh->getBoundingVolume();
        if (!camera->sphereInFrustum(bv.centre, bv.radius)) continue;
        glLoadMatrixf(view.data());
        glMultMatrixf(vnMatrix4::translation(mesh->getPosition()).data());
        drawMeshGroups(*mesh, current, have_current, pass);
    }
    enableMeshArrays(false);
    glBindBuffer(GL_ARRAY_BUFFER, 0);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, 0);
    glUseProgram(0);
    // Fixed-function drawing after the pass must not pick up the materials' textures.
    for (int unit = 0; unit < 1 + kMaterialTextureStages; ++unit) {
        glActiveTexture(GLenum(GL_TEXTURE0 + unit));
        glDisable(GL_TEXTURE_2D);
    }
    glActiveTexture(GL_TEXTURE0);
    glLoadMatrixf(view.data());
}

void vnRenderer::drawHud(vnQuad* quad) {
    vnRenderWindow* rw = currentWindow();
    if (!rw || !quad || !quad->getOptionsState(VN_OPTION_VISIBLE)) return;
    glPushAttrib(kSavedAttributes);
    pushMatrices();
    glMatrixMode(GL_PROJECTION);
    glLoadMatrixf(hudProjection(rw->getWidth(), rw->getHeight()).data());
    glMatrixMode(GL_MODELVIEW);
    glLoadMatrixf(vnMatrix4::translation(quad->getPosition()).data());
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_CULL_FACE);
    const auto& materials = quad->getMaterialList();
    const vnMaterial* m = materials.empty() ? nullptr : materials[0];
    if (m) {
        applyMaterial(m, VN_PASS_AMBIENT);
        const vnGpuShader* shader = m->getGpuShader(0);
        glUseProgram(shader && shader->isReady() ? shader->getProgram() : 0);
    } else {
        applyMaterial(nullptr, VN_PASS_AMBIENT);
    }
    enableMeshArrays(true);
    quad->bindBuffers();
    setVertexPointers();
    glDrawElements(GL_TRIANGLES, GLsizei(quad->getMeshData()->getIndices().size()), GL_UNSIGNED_INT,
                   nullptr);
    enableMeshArrays(false);
    glBindBuffer(GL_ARRAY_BUFFER, 0);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, 0);
    glUseProgram(0);
    popMatrices();
    glPopAttrib();
}

void vnRenderer::drawScreenQuad() {
    if (!currentWindow()) return;
    static const float corners[] = {-1, -1, 0, 0, 1, -1, 1, 0, 1, 1, 1, 1, -1, 1, 0, 1};
    glPushAttrib(GL_ENABLE_BIT | GL_DEPTH_BUFFER_BIT);
    pushMatrices();
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_CULL_FACE);
    glDisable(GL_LIGHTING);
    glDepthMask(GL_FALSE);
    glBindBuffer(GL_ARRAY_BUFFER, 0);
    glEnableClientState(GL_VERTEX_ARRAY);
    glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    glVertexPointer(2, GL_FLOAT, 4 * sizeof(float), corners);
    glTexCoordPointer(2, GL_FLOAT, 4 * sizeof(float), corners + 2);
    glColor4f(1, 1, 1, 1);
    glDrawArrays(GL_TRIANGLE_FAN, 0, 4);
    glDisableClientState(GL_TEXTURE_COORD_ARRAY);
    glDisableClientState(GL_VERTEX_ARRAY);
    popMatrices();
    glPopAttrib();
}

// ---------------------------------------------------------------------------------------
// Text

void vnRenderer::beginText() {
    vnRenderWindow* rw = currentWindow();
    if (!rw) return;
    glPushAttrib(kSavedAttributes);
    pushMatrices();
    glMatrixMode(GL_PROJECTION);
    glLoadMatrixf(
        vnMatrix4::ortho(0.0f, float(rw->getWidth()), float(rw->getHeight()), 0.0f, -1.0f, 1.0f)
            .data());
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glUseProgram(0);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_LIGHTING);
    glDisable(GL_CULL_FACE);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glActiveTexture(GL_TEXTURE1);
    glDisable(GL_TEXTURE_2D);
    glActiveTexture(GL_TEXTURE0);
    glEnable(GL_TEXTURE_2D);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
    glBindBuffer(GL_ARRAY_BUFFER, 0);
    glEnableClientState(GL_VERTEX_ARRAY);
    glEnableClientState(GL_TEXTURE_COORD_ARRAY);
}

void vnRenderer::drawText(vnFont* font) {
    if (!currentWindow() || !font || !font->m_texture) return;
    float* v = font->m_vertices;
    float pen = float(int(font->m_x + 0.5f));
    const float baseline = float(int(font->m_y + 0.5f)) + float(font->m_ascent);
    int corners = 0;
    for (const char* p = font->m_text; *p; ++p) {
        const vnFont::Glyph& g = font->m_glyphs[uint8_t(*p)];
        if (g.x1 > g.x0) {
            const float x0 = float(int(pen)) + float(g.x0), x1 = float(int(pen)) + float(g.x1);
            const float y0 = baseline + float(g.y0), y1 = baseline + float(g.y1);
            const float quad[6][4] = {{x0, y0, g.u0, g.v0}, {x1, y0, g.u1, g.v0},
                                      {x1, y1, g.u1, g.v1}, {x0, y0, g.u0, g.v0},
                                      {x1, y1, g.u1, g.v1}, {x0, y1, g.u0, g.v1}};
            for (const auto& c : quad) {
                std::copy(c, c + 4, v);
                v += 4;
            }
            corners += 6;
        }
        pen += g.advance;
    }
    if (!corners) return;
    glBindTexture(GL_TEXTURE_2D, font->m_texture);
    glColor4f(font->m_color[0], font->m_color[1], font->m_color[2], 1.0f);
    glVertexPointer(2, GL_FLOAT, 4 * sizeof(float), font->m_vertices);
    glTexCoordPointer(2, GL_FLOAT, 4 * sizeof(float), font->m_vertices + 2);
    glDrawArrays(GL_TRIANGLES, 0, corners);
}

void vnRenderer::fillRect(float x, float y, float width, float height, const vnColor& color) {
    if (!currentWindow() || width <= 0.0f || height <= 0.0f) return;
    const float corners[] = {x, y, x + width, y, x + width, y + height, x, y + height};
    // Text state has the glyph texture on and texture coordinates flowing: off for the fill.
    glDisable(GL_TEXTURE_2D);
    glDisableClientState(GL_TEXTURE_COORD_ARRAY);
    glColor4f(color.r, color.g, color.b, 1.0f);
    glVertexPointer(2, GL_FLOAT, 0, corners);
    glDrawArrays(GL_TRIANGLE_FAN, 0, 4);
    glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    glEnable(GL_TEXTURE_2D);
}

void vnRenderer::endText() {
    if (!currentWindow()) return;
    glDisableClientState(GL_TEXTURE_COORD_ARRAY);
    glDisableClientState(GL_VERTEX_ARRAY);
    glBindTexture(GL_TEXTURE_2D, 0);
    popMatrices();
    glPopAttrib();
}

// ---------------------------------------------------------------------------------------
// 2D lines

void vnRenderer::begin2D(int width, int height, float near_z, float far_z) {
    if (!currentWindow()) return;
    glPushAttrib(kSavedAttributes | GL_LINE_BIT);
    pushMatrices();
    glMatrixMode(GL_PROJECTION);
    const float left = -float(width / 2), bottom = -float(height / 2);
    glLoadMatrixf(
        vnMatrix4::ortho(left, left + float(width), bottom, bottom + float(height), near_z, far_z)
            .data());
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glUseProgram(0);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_LIGHTING);
    glDisable(GL_CULL_FACE);
    glDisable(GL_TEXTURE_2D);
    glDisable(GL_BLEND);
    glShadeModel(GL_SMOOTH);
    glBindBuffer(GL_ARRAY_BUFFER, 0);
}

void vnRenderer::end2D() {
    if (!currentWindow()) return;
    popMatrices();
    glPopAttrib();
}

void vnRenderer::setLineWidth(float width) {
    if (currentWindow()) glLineWidth(width);
}

void vnRenderer::setLineStipple(bool on, int factor, unsigned short pattern) {
    if (!currentWindow()) return;
    glLineStipple(factor, pattern);
    if (on)
        glEnable(GL_LINE_STIPPLE);
    else
        glDisable(GL_LINE_STIPPLE);
}

void vnRenderer::drawCurve(const vnCurve* curve, int count, const vnColor& color) {
    if (!currentWindow() || !curve) return;
    count = std::min(count, curve->getCapacity());
    if (count <= 0) return;
    glColor4fv(color.data());
    glEnableClientState(GL_VERTEX_ARRAY);
    glVertexPointer(4, GL_FLOAT, 0, curve->data());
    glDrawArrays(GL_LINE_STRIP, 0, count);
    glDisableClientState(GL_VERTEX_ARRAY);
}

void vnRenderer::drawLine(const vnVector3& a, const vnColor& color_a, const vnVector3& b,
                          const vnColor& color_b) {
    if (!currentWindow()) return;
    glBegin(GL_LINES);
    glColor4fv(color_a.data());
    glVertex3f(a.x, a.y, a.z);
    glColor4fv(color_b.data());
    glVertex3f(b.x, b.y, b.z);
    glEnd();
}

}  // namespace Vantorr_nsp
