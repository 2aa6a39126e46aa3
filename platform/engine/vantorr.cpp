#include "platform/engine/vantorr.h"

#include "platform/engine/vn_trace_mgr.h"

namespace Vantorr_nsp {
namespace {

vnRenderSystem g_render_system;
vnRenderer g_renderer;
bool g_renderer_live = false;

}  // namespace

vnRenderer* vnRenderer::getInstance() {
    return g_renderer_live ? &g_renderer : nullptr;
}

Vantorr* Vantorr::getInstance() {
    static Vantorr engine;
    return &engine;
}

int Vantorr::startup(int renderSystem, int traceEnabled, void* reserved) {
    if (m_started) return 0;
    if (renderSystem != VN_RENDER_SYSTEM_OPENGL || reserved != nullptr) {
        logTrace(VN_TRACE_ERROR, "Vantorr: unsupported render system %d", renderSystem);
        return -1;
    }
    if (!traceEnabled) vnTraceMgr::instance().setTraceLevel(0);
    g_render_system = vnRenderSystem{};
    g_renderer.m_render_system = &g_render_system;
    g_renderer_live = true;
    m_started = true;
    logTrace(VN_TRACE_INFO, "Vantorr: render system %s started.", g_render_system.name);
    return 0;
}

void Vantorr::shutdown() {
    if (!m_started) return;
    g_renderer.m_render_system = nullptr;
    g_renderer_live = false;
    m_started = false;
    logTrace(VN_TRACE_INFO, "Vantorr: shutdown ok.");
}

}  // namespace Vantorr_nsp
