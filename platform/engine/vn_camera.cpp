#include "platform/engine/vn_camera.h"

#include <GL/glew.h>
#include <stb_image_write.h>

#include <cstdio>
#include <cstring>
#include <new>

#include "platform/engine/vantorr.h"
#include "platform/engine/vn_render_window.h"
#include "platform/engine/vn_trace_mgr.h"
#include "platform/file/regular_file.h"

namespace Vantorr_nsp {

void vnCamera::setViewport(int x, int y, int width, int height) {
    m_viewport[0] = x;
    m_viewport[1] = y;
    m_viewport[2] = width;
    m_viewport[3] = height;
}

void vnCamera::getViewport(int viewport[4]) const {
    std::memcpy(viewport, m_viewport, sizeof m_viewport);
}

void vnCamera::setProjPerspParams(float fov_deg, float aspect, float near_z, float far_z) {
    m_fov = fov_deg;
    m_aspect = aspect;
    m_near = near_z;
    m_far = far_z;
    m_projection_dirty = true;
    m_frustum_dirty = true;
}

void vnCamera::setViewParams(const vnVector3& position, const vnVector3& lookat,
                             const vnVector3& up) {
    m_tripod.setPosition(position);
    m_tripod.setLookatPoint(lookat);
    m_tripod.setUpVector(up);
}

void vnCamera::refresh() {
    if (m_view_version != m_tripod.version()) {
        m_view = m_tripod.getViewMatrix();
        m_inverse_view = m_view.inverse();
        m_view_version = m_tripod.version();
    }
    if (m_projection_dirty) {
        m_projection = vnMatrix4::perspective(m_fov, m_aspect, m_near, m_far);
        m_projection_dirty = false;
    }
}

const vnMatrix4& vnCamera::getViewMatrix() {
    refresh();
    return m_view;
}

const vnMatrix4& vnCamera::getProjectionMatrix() {
    refresh();
    return m_projection;
}

const vnMatrix4& vnCamera::getInverseViewMatrix() {
    refresh();
    return m_inverse_view;
}

void vnCamera::setEventState(int event, bool on) {
    if (event < 0 || event > 31) return;
    if (on)
        m_events |= 1u << event;
    else
        m_events &= ~(1u << event);
}

bool vnCamera::getEventState(int event) const {
    return event >= 0 && event <= 31 && (m_events & (1u << event));
}

void vnCamera::update(float /*dt*/) {
    if (getEventState(VN_EVENT_CAMERA_VIEW) || getEventState(VN_EVENT_CAMERA_PROJECTION)) refresh();
}

bool vnCamera::sphereInFrustum(const vnVector3& c, float radius) {
    if (!getEventState(VN_EVENT_CAMERA_FRUSTUM)) return true;
    refresh();
    if (m_frustum_dirty || m_frustum_version != m_tripod.version()) {
        // The planes of projection x view, each row combination normalised (Gribb-Hartmann).
        const vnMatrix4 m = m_projection * m_view;
        for (int i = 0; i < 6; ++i) {
            const int row = i / 2;
            const float sign = (i % 2) ? -1.0f : 1.0f;
            vnColor& p = m_planes[i];
            p.r = m.at(3, 0) + sign * m.at(row, 0);
            p.g = m.at(3, 1) + sign * m.at(row, 1);
            p.b = m.at(3, 2) + sign * m.at(row, 2);
            p.a = m.at(3, 3) + sign * m.at(row, 3);
            const float l = vnVector3{p.r, p.g, p.b}.length();
            if (l > 0.0f) {
                p.r /= l;
                p.g /= l;
                p.b /= l;
                p.a /= l;
            }
        }
        m_frustum_version = m_tripod.version();
        m_frustum_dirty = false;
    }
    for (const vnColor& p : m_planes)
        if (p.r * c.x + p.g * c.y + p.b * c.z + p.a < -radius) return false;
    return true;
}

bool vnCamera::allocMemoryForScreenShot() {
    const int w = m_viewport[2], h = m_viewport[3];
    if (w < 1 || h < 1) return false;
    const size_t bytes = size_t(w) * size_t(h) * 3;
    if (m_shot.size() == bytes) return true;
    try {
        m_shot.assign(bytes, 0);
        m_shot_rows.assign(bytes, 0);
    } catch (const std::bad_alloc&) {
        m_shot.clear();
        m_shot_rows.clear();
        return false;
    }
    return true;
}

bool vnCamera::makeScreenShot(const char* file) {
    return file && captureScreenShot() && writeScreenShot(file);
}

bool vnCamera::captureScreenShot() {
    m_shot_ready = false;
    vnRenderWindow* rw = Vantorr::getInstance()->getCurrentRenderWindow();
    if (!rw || !rw->getContext() || !allocMemoryForScreenShot()) {
        logTrace(VN_TRACE_ERROR, "vnCamera: no frame to take a screenshot of.");
        return false;
    }
    const int x = m_viewport[0], y = m_viewport[1], w = m_viewport[2], h = m_viewport[3];
    GLint previous_read = 0, previous_draw = 0;
    glGetIntegerv(GL_READ_FRAMEBUFFER_BINDING, &previous_read);
    glGetIntegerv(GL_DRAW_FRAMEBUFFER_BINDING, &previous_draw);
    const GLuint drawn = rw->getFramebuffer();
    const GLuint readable = rw->getReadFramebuffer();
    if (drawn != readable) {
        // A multisampled offscreen frame cannot be read directly: resolve it into the
        // single-sampled framebuffer first, as presenting would.
        glBindFramebuffer(GL_READ_FRAMEBUFFER, drawn);
        glBindFramebuffer(GL_DRAW_FRAMEBUFFER, readable);
        glBlitFramebuffer(x, y, x + w, y + h, x, y, x + w, y + h, GL_COLOR_BUFFER_BIT, GL_NEAREST);
    }
    glBindFramebuffer(GL_READ_FRAMEBUFFER, readable);
    // On a window the frame is in its back buffer until the swap; the offscreen
    // framebuffer has a single colour buffer.
    glReadBuffer(readable ? GL_COLOR_ATTACHMENT0 : GL_BACK);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(x, y, w, h, GL_RGB, GL_UNSIGNED_BYTE, m_shot_rows.data());
    glBindFramebuffer(GL_READ_FRAMEBUFFER, GLuint(previous_read));
    glBindFramebuffer(GL_DRAW_FRAMEBUFFER, GLuint(previous_draw));
    // OpenGL rows run from the bottom; the file's from the top.
    const size_t row = size_t(w) * 3;
    for (int r = 0; r < h; ++r)
        std::memcpy(&m_shot[size_t(r) * row], &m_shot_rows[size_t(h - 1 - r) * row], row);
    m_shot_width = w;
    m_shot_height = h;
    m_shot_ready = true;
    return true;
}

bool vnCamera::writeScreenShot(const char* file) {
    const int w = m_shot_width, h = m_shot_height;
    if (!file || !m_shot_ready || m_shot.size() != size_t(w) * size_t(h) * 3) {
        logTrace(VN_TRACE_ERROR, "vnCamera: no frame to take a screenshot of.");
        return false;
    }
    // Opened without following a link or waiting on a FIFO that happens to carry the name.
    // The stream's error flag records a failed write; the close reports a late one.
    std::FILE* out = plashwerk::openRegularStream(file, "wb", plashwerk::Links::Refuse);
    const auto write = [](void* context, void* data, int size) {
        if (size > 0) std::fwrite(data, 1, size_t(size), static_cast<std::FILE*>(context));
    };
    bool written = out && stbi_write_jpg_to_func(write, out, w, h, 3, m_shot.data(), 95) != 0;
    if (out) {
        written = std::ferror(out) == 0 && written;
        written = std::fclose(out) == 0 && written;
    }
    if (!written) {
        logTrace(VN_TRACE_ERROR, "vnCamera: could not write the screenshot %s", file);
        return false;
    }
    logTrace(VN_TRACE_INFO, "vnCamera: screenshot %s (%dx%d) written.", file, w, h);
    return true;
}

vnCameraMgr* vnCameraMgr::getInstance() {
    static vnCameraMgr mgr;
    return &mgr;
}

vnCamera* vnCameraMgr::createCameraPerspective(const char* name, float fov_deg, float aspect,
                                               float near_z, float far_z) {
    auto camera = std::unique_ptr<vnCamera>(new vnCamera(name));
    camera->setProjPerspParams(fov_deg, aspect, near_z, far_z);
    m_cameras.push_back(std::move(camera));
    return m_cameras.back().get();
}

vnCamera* vnCameraMgr::getCamera(const char* name) {
    if (!name) return nullptr;
    for (auto& c : m_cameras)
        if (c->getName() == name) return c.get();
    return nullptr;
}

void vnCameraMgr::clear() {
    while (!m_cameras.empty()) m_cameras.pop_back();
}

}  // namespace Vantorr_nsp
