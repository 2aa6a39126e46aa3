// Render contexts and the engine's render windows on this machine's OpenGL: offscreen
// through EGL everywhere, the GLFW window's context where a display exists.
#include <GL/glew.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <thread>

#include "platform/engine/vantorr.h"
#include "platform/engine/vn_render_window.h"
#include "platform/gl/render_context.h"
#include "platform/window/window.h"

namespace plashwerk {
namespace {

using namespace Vantorr_nsp;

// The colour of the pixel at (x, y) of the context's finished frame, as 0xRRGGBB.
uint32_t pixelAt(const gl::RenderContext& c, int x, int y) {
    GLint previous = 0;
    glGetIntegerv(GL_READ_FRAMEBUFFER_BINDING, &previous);
    glBindFramebuffer(GL_READ_FRAMEBUFFER, c.readFramebuffer());
    unsigned char rgba[4] = {};
    glReadPixels(x, y, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, rgba);
    glBindFramebuffer(GL_READ_FRAMEBUFFER, static_cast<GLuint>(previous));
    return uint32_t{rgba[0]} << 16 | uint32_t{rgba[1]} << 8 | rgba[2];
}

TEST(OffscreenContext, DrawsIntoAFramebufferOfTheRequestedSize) {
    auto c = gl::createOffscreenContext(64, 48, 0);
    ASSERT_NE(c, nullptr);
    EXPECT_TRUE(c->offscreen());
    EXPECT_EQ(c->width(), 64);
    EXPECT_EQ(c->height(), 48);
    EXPECT_EQ(c->samples(), 0);
    EXPECT_NE(c->defaultFramebuffer(), 0u);
    GLint viewport[4] = {};
    glGetIntegerv(GL_VIEWPORT, viewport);
    EXPECT_EQ(viewport[2], 64);
    EXPECT_EQ(viewport[3], 48);

    glClearColor(1.0f, 0.0f, 0.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    glEnable(GL_SCISSOR_TEST);
    glScissor(0, 0, 32, 24);
    glClearColor(0.0f, 0.0f, 1.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    glDisable(GL_SCISSOR_TEST);
    c->present();
    EXPECT_EQ(pixelAt(*c, 5, 5), 0x0000FFu);
    EXPECT_EQ(pixelAt(*c, 60, 40), 0xFF0000u);
    c->release();
}

TEST(OffscreenContext, MultisampledFramesAreResolvedForReading) {
    auto c = gl::createOffscreenContext(32, 32, 16);
    ASSERT_NE(c, nullptr);
    GLint max_samples = 0;
    glGetIntegerv(GL_MAX_SAMPLES, &max_samples);
    EXPECT_GT(c->samples(), 0);
    EXPECT_LE(c->samples(), max_samples) << "more samples than the driver has are cut";
    EXPECT_NE(c->readFramebuffer(), c->defaultFramebuffer());
    glClearColor(0.0f, 1.0f, 0.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    c->present();
    EXPECT_EQ(pixelAt(*c, 16, 16), 0x00FF00u);
    c->release();
}

TEST(OffscreenContext, MovesToTheThreadThatDraws) {
    auto c = gl::createOffscreenContext(16, 16, 0);
    ASSERT_NE(c, nullptr);
    c->release();
    uint32_t seen = 0;
    std::thread drawer([&] {
        ASSERT_TRUE(c->makeCurrent());
        glClearColor(1.0f, 1.0f, 1.0f, 1.0f);
        glClear(GL_COLOR_BUFFER_BIT);
        c->present();
        seen = pixelAt(*c, 1, 1);
        c->release();
    });
    drawer.join();
    EXPECT_EQ(seen, 0xFFFFFFu);
}

TEST(OffscreenContext, RefusesSizesItCannotHave) {
    EXPECT_EQ(gl::createOffscreenContext(0, 10, 0), nullptr);
    EXPECT_EQ(gl::createOffscreenContext(10, -1, 0), nullptr);
    EXPECT_EQ(gl::createOffscreenContext(1 << 20, 16, 0), nullptr);
    int w = 0, h = 0;
    ASSERT_TRUE(gl::offscreenMaxViewport(w, h));
    EXPECT_GE(w, 2048);
    EXPECT_GE(h, 2048);
}

class EngineRenderWindow : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_EQ(Vantorr::getInstance()->startup(2, 1, nullptr), 0); }
    void TearDown() override { Vantorr::getInstance()->shutdown(); }
};

TEST_F(EngineRenderWindow, OnAVirtualWindowClearsAndPresentsOffscreen) {
    auto system = window::openOffscreenWindowSystem({1024, 768, 32});
    window::WindowDesc d;
    d.width = 320;
    d.height = 240;
    d.menu_bar = true;
    window::Window* w = system->createWindow(d, nullptr);
    Vantorr* engine = Vantorr::getInstance();
    vnRenderer* renderer = vnRenderer::getInstance();
    vnRenderWindow* rw =
        engine->createRenderWindow(w, w->clientWidth(), w->clientHeight(), 32, 32, 0, 0, 2, 0, 1);
    ASSERT_NE(rw, nullptr);
    EXPECT_EQ(engine->getCurrentRenderWindow(), rw);
    EXPECT_TRUE(rw->isOffscreen());
    EXPECT_EQ(rw->getWidth(), w->clientWidth());
    EXPECT_EQ(rw->getHeight(), w->clientHeight());
    EXPECT_EQ(rw->getSampleCount(), 0);
    EXPECT_GE(vnHardwareCaps::getInstance()->getOpenGLMajorVersion(), 2);
    const char* name = renderer->getRendererName();
    ASSERT_NE(name, nullptr);
    EXPECT_GT(std::strlen(name), 0u);

    renderer->setViewport(0, 0, rw->getWidth(), rw->getHeight());
    renderer->setClearColor(0.07f, 0.0f, 0.0f, 1.0f);
    renderer->clear(VN_CLEAR_ALL);
    engine->displayCurrentRenderWindow();
    EXPECT_EQ(pixelAt(*rw->getContext(), 10, 10), 0x120000u);  // 0.07 x 255 = 17.85

    // The dummy window releases the context: nothing is drawn any more.
    EXPECT_TRUE(engine->setCurrentRenderWindow(engine->getDummyRenderWindow()));
    EXPECT_EQ(renderer->getRendererName(), nullptr);
    EXPECT_EQ(vnHardwareCaps::getInstance()->getOpenGLMajorVersion(), 0);
    renderer->clear(VN_CLEAR_ALL);  // harmless without a context
    EXPECT_TRUE(engine->setCurrentRenderWindow(rw));
    engine->destroyRenderWindow(rw);
    EXPECT_EQ(engine->getCurrentRenderWindow(), nullptr);
    system->destroyWindow(w);
}

TEST_F(EngineRenderWindow, RefusesFormatsItDoesNotHave) {
    Vantorr* engine = Vantorr::getInstance();
    EXPECT_EQ(engine->createRenderWindow(nullptr, 64, 64, 32, 32, 0, 0, 2, 0, 7), nullptr);
    EXPECT_EQ(engine->createRenderWindow(nullptr, 64, 64, 64, 32, 0, 0, 2, 0, 1), nullptr);
    EXPECT_EQ(engine->createRenderWindow(nullptr, 0, 64, 32, 32, 0, 0, 2, 0, 1), nullptr);
    vnRenderWindow* rw = engine->createRenderWindow(nullptr, 64, 64, 32, 32, 0, 4, 2, 0, 1);
    ASSERT_NE(rw, nullptr);
    EXPECT_GT(rw->getSampleCount(), 0);
    engine->destroyRenderWindow(rw);
}

TEST_F(EngineRenderWindow, OnARealWindowPresentsBySwapping) {
    char error[256];
    std::unique_ptr<window::WindowSystem> system;
    if (!std::getenv("DISPLAY") || !(system = window::openGlfwWindowSystem(error, sizeof error)))
        GTEST_SKIP() << "no display";
    window::WindowDesc d;
    d.width = 320;
    d.height = 240;
    window::Window* w = system->createWindow(d, nullptr);
    ASSERT_NE(w, nullptr);
    Vantorr* engine = Vantorr::getInstance();
    vnRenderWindow* rw =
        engine->createRenderWindow(w, w->clientWidth(), w->clientHeight(), 32, 32, 0, 0, 2, 0, 1);
    ASSERT_NE(rw, nullptr);
    EXPECT_FALSE(rw->isOffscreen());
    EXPECT_EQ(rw->getFramebuffer(), 0u);
    vnRenderer* renderer = vnRenderer::getInstance();
    renderer->setClearColor(0.0f, 1.0f, 0.0f, 1.0f);
    renderer->clear(VN_CLEAR_ALL);
    // The back buffer holds the frame until the swap.
    EXPECT_EQ(pixelAt(*rw->getContext(), 5, 5), 0x00FF00u);
    engine->displayCurrentRenderWindow();
    engine->destroyRenderWindow(rw);
    system->destroyWindow(w);
}

}  // namespace
}  // namespace plashwerk
