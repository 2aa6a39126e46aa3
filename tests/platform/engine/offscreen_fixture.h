#pragma once
// What the engine and scene tests share: a started engine with an offscreen render window
// (EGL, Mesa's software rasteriser where there is no GPU), the trace log and the working
// directory in a fresh temporary folder, captured message boxes, and the pixels of the
// last presented frame.

#include <GL/glew.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/engine/vantorr.h"
#include "platform/engine/vn_camera.h"
#include "platform/engine/vn_gpu_shader.h"
#include "platform/engine/vn_light.h"
#include "platform/engine/vn_material.h"
#include "platform/engine/vn_render_window.h"
#include "platform/engine/vn_scene.h"
#include "platform/engine/vn_texture.h"
#include "platform/engine/vn_trace_mgr.h"
#include "platform/msgbox/message_box.h"

namespace plashwerk::test {

struct Rgb {
    int r = 0, g = 0, b = 0;
    int sum() const { return r + g + b; }
};

class OffscreenTest : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/plashwerk_render_XXXXXX";
        const char* made = mkdtemp(pattern);
        ASSERT_NE(made, nullptr);
        m_dir = made;
        m_previous_dir = std::filesystem::current_path();
        std::filesystem::current_path(m_dir);
        Vantorr_nsp::vnTraceMgr::instance().setTraceLevel(4);
        Vantorr_nsp::vnTraceMgr::instance().setLogFileName((m_dir + "/Plashwerk_").c_str());
        setMessageBoxSink(
            [this](MessageBoxKind, const char*, const char* text) { boxes.push_back(text); });
        engine = Vantorr_nsp::Vantorr::getInstance();
        ASSERT_EQ(engine->startup(Vantorr_nsp::VN_RENDER_SYSTEM_OPENGL, 1, nullptr), 0);
        renderer = Vantorr_nsp::vnRenderer::getInstance();
    }

    void TearDown() override {
        // Whatever a test left in the managers goes with its context.
        Vantorr_nsp::vnSceneMgr::getInstance()->clear();
        engine->destroyAllHuds();
        Vantorr_nsp::vnCameraMgr::getInstance()->clear();
        Vantorr_nsp::vnLightMgr::getInstance()->clear();
        Vantorr_nsp::vnMaterialMgr::getInstance()->clear();
        Vantorr_nsp::vnGPUShaderMgr::getInstance()->clear();
        Vantorr_nsp::vnTextureMgr::getInstance()->clear();
        if (window) engine->destroyRenderWindow(window);
        engine->setCurrentRenderWindow(engine->getDummyRenderWindow());
        engine->shutdown();
        Vantorr_nsp::vnTraceMgr::instance().close();
        setMessageBoxSink({});
        std::filesystem::current_path(m_previous_dir);
        std::error_code ignored;
        std::filesystem::remove_all(m_dir, ignored);
    }

    /// An offscreen render window of width x height, current on this thread.
    bool openWindow(int width, int height) {
        window = engine->createRenderWindow(nullptr, width, height, 32, 32, 0, 0, 2, 0, 1);
        if (!window) return false;
        engine->setCurrentRenderWindow(window);
        w = width;
        h = height;
        return true;
    }

    /// Presents the frame and reads it back (RGB, rows from the bottom).
    void present() {
        engine->displayCurrentRenderWindow();
        GLint previous = 0;
        glGetIntegerv(GL_READ_FRAMEBUFFER_BINDING, &previous);
        glBindFramebuffer(GL_READ_FRAMEBUFFER, window->getReadFramebuffer());
        frame.assign(size_t(w) * size_t(h) * 3, 0);
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glReadPixels(0, 0, w, h, GL_RGB, GL_UNSIGNED_BYTE, frame.data());
        glBindFramebuffer(GL_READ_FRAMEBUFFER, GLuint(previous));
    }

    /// The pixel at x from the left and y from the bottom of the presented frame.
    Rgb at(int x, int y) const {
        if (x < 0 || y < 0 || x >= w || y >= h) return {};
        const uint8_t* p = &frame[(size_t(y) * size_t(w) + size_t(x)) * 3];
        return {p[0], p[1], p[2]};
    }

    /// Pixels of the frame for which the predicate holds.
    template <typename Pred>
    int count(Pred pred) const {
        int n = 0;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) n += pred(at(x, y)) ? 1 : 0;
        return n;
    }

    const std::string& dir() const { return m_dir; }

    Vantorr_nsp::Vantorr* engine = nullptr;
    Vantorr_nsp::vnRenderer* renderer = nullptr;
    Vantorr_nsp::vnRenderWindow* window = nullptr;
    int w = 0, h = 0;
    std::vector<uint8_t> frame;
    std::vector<std::string> boxes;

  private:
    std::string m_dir;
    std::filesystem::path m_previous_dir;
};

}  // namespace plashwerk::test
