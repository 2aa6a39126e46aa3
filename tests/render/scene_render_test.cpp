// The scene drawn offscreen and checked by its pixels: the lit ground and a sphere's
// shadow, particles in their three looks and their fade, the progress bar, the bloom chain,
// screenshots, and the scene's answers to missing or damaged data.
#include <stb_image.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "physics/demo_scene_physics.h"
#include "physics/fluid_simulation.h"
#include "physics/physics_settings.h"
#include "platform/engine/vn_mesh.h"
#include "platform/engine/vn_object.h"
#include "platform/engine/vn_render_state.h"
#include "platform/engine/vn_render_target.h"
#include "platform/window/window.h"
#include "render/demo_scene_render.h"
#include "render/embedded_files.h"
#include "render/scene_shaders.h"
#include "tests/platform/engine/offscreen_fixture.h"

namespace plashwerk::test {
namespace {

using namespace Vantorr_nsp;

constexpr float kSqrt3 = 1.7320508f;

// A fluid whose particles the test writes by hand where the SDK would, then hands over
// for drawing as the run does.
struct HandFluid {
    ParticleFluid fluid;
    NxParticleData sdk;
    HandFluid(uint32_t capacity, float lifetime) {
        EXPECT_TRUE(fluid.particles.allocate(capacity));
        sdk = fluid.particles.sdkWriteData();
        fluid.lifetime = lifetime;
    }
    void set(uint32_t i, const vnVector3& p, float life) {
        sdk.bufferPos[3 * i] = p.x;
        sdk.bufferPos[3 * i + 1] = p.y;
        sdk.bufferPos[3 * i + 2] = p.z;
        sdk.bufferLife[3 * i] = life;
        *sdk.numParticlesPtr = std::max(*sdk.numParticlesPtr, i + 1);
        fluid.particles.takeForRender(fluid.particles.written());
    }
};

class SceneTest : public OffscreenTest {
  protected:
    void TearDown() override {
        render.release();
        OffscreenTest::TearDown();
    }

    RenderSettings settings(int width, int height) const {
        RenderSettings s;
        s.width = width;
        s.height = height;
        s.data_root = PLASHWERK_SOURCE_DIR;
        return s;
    }

    /// Opens the window and builds the scene as initialisation does, without physics.
    bool build(const RenderSettings& s) {
        if (!window && !openWindow(s.width, s.height)) return false;
        render.reset(s);
        return createShadowAndBuild();
    }
    bool createShadowAndBuild() {
        return render.createShadowTarget() && render.buildScene(nullptr) &&
               render.finishScene(nullptr);
    }

    void frame(const FrameInput& input = {}) {
        render.update(0.016f);
        render.renderScene(input);
        present();
    }

    /// Window pixel of a world point as the main camera sees it; false when off screen.
    bool project(const vnVector3& p, float& x, float& y) {
        vnCamera* c = render.mainCamera();
        const vnColor clip = (c->getProjectionMatrix() * c->getViewMatrix()).transform(p);
        if (clip.a <= 0.0f) return false;
        x = (clip.r / clip.a * 0.5f + 0.5f) * float(w);
        y = (clip.g / clip.a * 0.5f + 0.5f) * float(h);
        return x >= 2 && y >= 2 && x < float(w - 2) && y < float(h - 2);
    }

    /// A view 50 degrees up into the empty sky: nothing of the scene is in it.
    void lookIntoTheSky() {
        render.mainCamera()->setViewParams(kSkyEye, kSkyEye + kSkyDirection, {0.0f, 1.0f, 0.0f});
    }
    /// The point d metres straight ahead in that view, moved by (right, up) metres.
    static vnVector3 skyPoint(float d, float right = 0.0f, float up = 0.0f) {
        const vnVector3 up_axis{0.0f, 0.643f, 0.766f};
        return kSkyEye + kSkyDirection * d + vnVector3{right, 0.0f, 0.0f} + up_axis * up;
    }
    /// The light 5 m behind the sky view's camera: sprites face it.
    static RenderSettings litFromBehind(RenderSettings s) {
        const vnVector3 light = kSkyEye - kSkyDirection * 5.0f;
        s.light_position[0] = light.x;
        s.light_position[1] = light.y;
        s.light_position[2] = light.z;
        return s;
    }
    static constexpr vnVector3 kSkyEye{0.0f, 10.0f, 20.0f};
    static constexpr vnVector3 kSkyDirection{0.0f, 0.766f, -0.643f};  // 50 degrees up

    const SceneBuild& built() const { return render.sceneBuild(); }

    DemoSceneRender render;
};

// Distance from point p to the ray origin + t * dir (t >= 0), dir of unit length.
float rayDistance(const vnVector3& origin, const vnVector3& dir, const vnVector3& p) {
    const float t = std::max(0.0f, (p - origin).dot(dir));
    return (origin + dir * t - p).length();
}

TEST_F(SceneTest, TheSceneIsBuiltAsDescribed) {
    ASSERT_TRUE(build(settings(64, 48)));
    EXPECT_EQ(built().scene()->getName(), "Main_Scene");
    EXPECT_EQ(built().scene()->getActiveCamera(), render.mainCamera());
    // The free camera's start: on the orbit around (0, 3, 0) at yaw 60 and pitch 40.
    const vnVector3 eye = render.mainCamera()->getPosition();
    EXPECT_NEAR(eye.x, 5.86f, 0.01f);
    EXPECT_NEAR(eye.y, 12.83f, 0.01f);
    EXPECT_NEAR(eye.z, 10.15f, 0.01f);
    EXPECT_FLOAT_EQ(render.mainCamera()->getFov(), 90.0f);
    EXPECT_FLOAT_EQ(render.mainCamera()->getFar(), 1000.0f);
    EXPECT_EQ(built().scene()->getShadowCastingLights().size(), 1u);
    EXPECT_EQ(render.lightingPasses().shadowMap()->getWidth(), 2048);
    EXPECT_NE(built().groundMaterial(), nullptr);
    ASSERT_NE(built().boxMaterial(), nullptr);
    EXPECT_FLOAT_EQ(built().boxMaterial()->getDiffuse().g, 0.9f);
    EXPECT_EQ(built().sphere(3)->getMaterial(), built().boxMaterial());
    EXPECT_EQ(built().faceCount(), 20000u + 4 * 19800u + 10800u);
    EXPECT_NE(render.hudOverlays().font(), nullptr);
    EXPECT_EQ(render.hudOverlays().progressBar(), nullptr) << "only in benchmark mode";
    EXPECT_FALSE(render.postProcessing().ready());
    EXPECT_NE(render.hudOverlays().logo(), nullptr);
    EXPECT_NE(render.hudOverlays().physicsLogo(), nullptr);
    EXPECT_TRUE(boxes.empty());
    EXPECT_FALSE(glIsEnabled(GL_MULTISAMPLE)) << "msaa 0 leaves multisampling off";
}

TEST_F(SceneTest, TheGroundIsLitNearTheLightAndDarkBeyondItsReach) {
    RenderSettings s = settings(96, 72);
    ASSERT_TRUE(build(s));
    // A patch of ground between the camera and the objects, in plain view.
    float x, y;
    ASSERT_TRUE(project({6.0f, 0.0f, 5.0f}, x, y));
    frame();
    const Rgb lit = at(int(x), int(y));
    EXPECT_GT(lit.sum(), 90);
    EXPECT_GE(lit.r, lit.b) << "the light is warm";

    // The same ground with the light 500 m up: out of its reach, nearly black.
    render.release();
    s.light_position[1] = 500.0f;
    ASSERT_TRUE(build(s));
    frame();
    EXPECT_LT(at(int(x), int(y)).sum(), lit.sum() / 4);
}

TEST_F(SceneTest, ASphereDarkensTheGroundWhereItsShadowFalls) {
    ASSERT_TRUE(build(settings(128, 96)));
    const vnVector3 light_pos{15.0f, 30.0f, 0.0f};
    const vnVector3 eye = render.mainCamera()->getPosition();
    struct Obstacle {
        vnVector3 c;
        float r;
    };
    const Obstacle obstacles[] = {{{5, 8.5f, -0.5f}, 2},
                                  {{2, 5, 8}, 3},
                                  {{6, 7, -6}, 3},
                                  {{-1, 3.8f, 1.5f}, 4},
                                  {{0, 4, -4}, 4.3f}};  // the pillar as a ball
    // Ground points that sphere 2 shades well inside its shadow, nothing else shades, and
    // the camera sees without anything in between.
    float best_x = -1, best_y = -1;
    for (float gx = -12; gx <= 12 && best_x < 0; gx += 0.5f)
        for (float gz = -12; gz <= 16 && best_x < 0; gz += 0.5f) {
            const vnVector3 g{gx, 0.0f, gz};
            const vnVector3 to_light = (light_pos - g).normalized();
            const vnVector3 to_eye = (eye - g).normalized();
            bool shaded_by_2 = false, clear = true;
            for (int i = 0; i < 5; ++i) {
                const float d_light = rayDistance(g, to_light, obstacles[i].c);
                if (i == 1)
                    shaded_by_2 = d_light < obstacles[i].r - 0.7f;
                else if (d_light < obstacles[i].r + 0.7f)
                    clear = false;
                if (rayDistance(g, to_eye, obstacles[i].c) < obstacles[i].r + 0.5f) clear = false;
            }
            float x, y;
            if (shaded_by_2 && clear && project(g, x, y)) {
                best_x = x;
                best_y = y;
            }
        }
    ASSERT_GE(best_x, 0.0f) << "no visible shadow point found";
    float open_x, open_y;
    ASSERT_TRUE(project({8.0f, 0.0f, 6.0f}, open_x, open_y));

    frame();
    const Rgb shaded = at(int(best_x), int(best_y));
    const Rgb open = at(int(open_x), int(open_y));
    built().sphere(1)->setOptionsState(VN_OPTION_CAST_SHADOWS, false);
    frame();
    const Rgb unshaded = at(int(best_x), int(best_y));
    EXPECT_LT(shaded.sum() * 2, unshaded.sum())
        << "shadowed " << shaded.sum() << " lit " << unshaded.sum();
    EXPECT_NEAR(at(int(open_x), int(open_y)).sum(), open.sum(), 6) << "ground outside it unchanged";
}

TEST_F(SceneTest, AParticleIsARoundSpriteOfItsDistancesSizeAndFadesWithItsLife) {
    ASSERT_TRUE(build(litFromBehind(settings(128, 96))));
    lookIntoTheSky();
    HandFluid hand(4, 10.0f);
    const vnVector3 p = skyPoint(2.0f);  // 2 m in front of the camera
    hand.set(0, p, 10.0f);               // full life
    render.setParticleFluids({&hand.fluid});

    frame();
    // Full life lifts the particle by 0.1 m (1 - e^-8 of it); the size is
    // 0.15 x (height x sqrt 3) / distance x (1 - e^-8) pixels.
    const float scale2 = 1.0f - std::exp(-8.0f);
    float cx, cy;
    ASSERT_TRUE(project(p + vnVector3{0.0f, 0.1f * scale2, 0.0f}, cx, cy));
    const float size = 0.15f * float(h) * kSqrt3 / 2.0f * scale2;
    const Rgb centre = at(int(cx), int(cy));
    EXPECT_GT(centre.r, 200);
    EXPECT_GT(centre.r, centre.b);
    auto red = [](const Rgb& c) { return c.r > 30; };
    int left = int(cx), right = int(cx);
    while (red(at(left - 1, int(cy)))) --left;
    while (red(at(right + 1, int(cy)))) ++right;
    EXPECT_NEAR(float(right - left + 1), size, 2.0f);
    // Round: the corners of its square stay dark, the edge midpoints are lit.
    const float r = size * 0.5f;
    EXPECT_FALSE(red(at(int(cx + 0.85f * r), int(cy + 0.85f * r))));
    EXPECT_TRUE(red(at(int(cx + 0.8f * r), int(cy))));
    const int full_count = count(red);
    EXPECT_NEAR(float(full_count), 3.14159f * r * r, 0.25f * 3.14159f * r * r);

    // A tenth of its life left: 1 - e^-0.8 of the size.
    hand.set(0, p, 1.0f);
    frame();
    const int young_ratio_count = count(red);
    const float ratio = (1.0f - std::exp(-0.8f)) / scale2;
    EXPECT_NEAR(float(young_ratio_count), float(full_count) * ratio * ratio,
                0.35f * float(full_count) * ratio * ratio);

    // At the end of its life it vanishes.
    hand.set(0, p, 0.0f);
    frame();
    EXPECT_EQ(count([](const Rgb& c) { return c.sum() > 0; }), 0);

    // Space: no particle in any pass.
    hand.set(0, p, 10.0f);
    FrameInput paused;
    paused.particles_update = false;
    frame(paused);
    EXPECT_EQ(count(red), 0);
}

TEST_F(SceneTest, LavaParticlesAddGlowAndPointsAreSixPixelsAcross) {
    ASSERT_TRUE(build(settings(96, 72)));
    lookIntoTheSky();
    HandFluid hand(64, 10.0f);
    for (uint32_t i = 0; i < 40; ++i)
        hand.set(i, skyPoint(3.0f, 0.02f * float(i % 7) - 0.06f, 0.02f * float(i / 7)), 10.0f);
    render.setParticleFluids({&hand.fluid});

    FrameInput lava;
    lava.look = ParticleLook::Lava;
    frame(lava);
    int glowing = 0;
    long red_sum = 0, green_sum = 0, blue_sum = 0;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const Rgb c = at(x, y);
            if (c.sum() == 0) continue;
            ++glowing;
            red_sum += c.r;
            green_sum += c.g;
            blue_sum += c.b;
        }
    EXPECT_GT(glowing, 20);
    EXPECT_GT(red_sum, green_sum) << "embers: the glow tinted red, then green, then blue";
    EXPECT_GT(green_sum, blue_sum);

    // The same particles as plain points: the arrays are made again for the new look even
    // though no new particles arrived.
    render.setParticleFluids({&hand.fluid});
    HandFluid one(4, 10.0f);
    one.set(0, skyPoint(3.0f), 10.0f);
    render.setParticleFluids({&one.fluid});
    frame(lava);
    FrameInput points;
    points.look = ParticleLook::Point;
    frame(points);
    EXPECT_EQ(count([](const Rgb& c) { return c.r > 240 && c.g > 240 && c.b > 240; }), 36);

    // A GPU without point parameters draws the lava look as the plain points.
    render.release();
    RenderSettings no_point_parameters = settings(96, 72);
    no_point_parameters.point_parameters = false;
    ASSERT_TRUE(build(no_point_parameters));
    lookIntoTheSky();
    render.setParticleFluids({&one.fluid});
    frame(lava);
    EXPECT_EQ(count([](const Rgb& c) { return c.r > 240 && c.g > 240 && c.b > 240; }), 36);
}

TEST_F(SceneTest, TheProgressBarGrowsByWhatItIsGiven) {
    RenderSettings s = settings(96, 64);
    s.benchmark = true;
    ASSERT_TRUE(build(s));
    auto bar = [](const Rgb& c) { return c.r > 190 && c.g > 190 && c.b < 60; };
    auto frame_colour = [](const Rgb& c) {
        return std::abs(c.r - 153) < 6 && std::abs(c.b - 102) < 6;
    };
    renderer->setClearColor(0.0f, 0.0f, 0.0f, 1.0f);
    renderer->clear(VN_CLEAR_ALL);
    render.drawProgressBar();
    present();
    EXPECT_EQ(count(bar), 14);
    EXPECT_EQ(count(frame_colour), 96 * 20 - 14);
    render.growProgressBar(20.0f);
    render.growProgressBar(10.0f);
    renderer->clear(VN_CLEAR_ALL);
    render.drawProgressBar();
    present();
    EXPECT_EQ(count(bar), 31 * 14);
    // Near the top of the window: 30 pixels below the top to its centre.
    EXPECT_TRUE(bar(at(10, h - 30)));
}

TEST_F(SceneTest, TheBloomChainSpreadsGlowAroundBrightParts) {
    RenderSettings s = litFromBehind(settings(128, 96));
    s.add_post_fx = true;
    ASSERT_TRUE(build(s));
    ASSERT_TRUE(render.postProcessing().ready());
    lookIntoTheSky();
    HandFluid hand(64, 10.0f);
    for (uint32_t i = 0; i < 49; ++i)
        hand.set(i, skyPoint(2.0f, 0.06f * float(i % 7) - 0.18f, 0.06f * float(i / 7) - 0.18f),
                 10.0f);
    render.setParticleFluids({&hand.fluid});
    FrameInput input;
    input.scene_time = 1.0f;
    frame(input);
    // Three columns side by side take one of each column tint.
    auto area = [&](int x0, int y0) {
        Rgb sum;
        for (int y = y0; y < y0 + 3; ++y)
            for (int x = x0; x < x0 + 3; ++x) {
                sum.r += at(x, y).r;
                sum.g += at(x, y).g;
                sum.b += at(x, y).b;
            }
        return sum;
    };
    const Rgb centre = area(w / 2 - 1, h / 2 - 1);
    const Rgb beside = area(w / 2 + 14, h / 2 - 1);  // beyond the sprites
    const Rgb far_away = area(3, 3);
    EXPECT_GT(centre.sum(), beside.sum());
    EXPECT_GT(beside.sum(), far_away.sum() + 60) << "glow around the bright parts";
    EXPECT_GT(beside.r, beside.b) << "the glow is amber";

    // Without the chain the pixels beside the sprites stay black.
    render.release();
    s.add_post_fx = false;
    ASSERT_TRUE(build(s));
    lookIntoTheSky();
    render.setParticleFluids({&hand.fluid});
    frame(input);
    EXPECT_EQ(area(w / 2 + 14, h / 2 - 1).sum(), 0);
}

TEST_F(SceneTest, EveryShaderVariantCompilesHere) {
    ASSERT_TRUE(openWindow(16, 16));
    struct Variant {
        const char* vertex;
        const char* pixel;
        std::vector<std::string> defines;
    };
    const Variant variants[] = {
        {"shaders/bump_mapping.vert", "shaders/bump_mapping.frag", {}},
        {"shaders/amb_pass.vert", "shaders/amb_pass.frag", {}},
        {"shaders/particle.vert", "shaders/particle.frag", {}},
        {"shaders/particle.vert", "shaders/particle.frag", {"POINT_COORD"}},
        {"shaders/particle.vert", "shaders/particle.frag", {"POST_FX"}},
        {"shaders/particle.vert", "shaders/particle.frag", {"POINT_COORD", "POST_FX"}},
        {"shaders/particle_ambient_pass.vert", "shaders/particle_ambient_pass.frag", {}},
        {"shaders/particle_ambient_pass.vert",
         "shaders/particle_ambient_pass.frag",
         {"POINT_COORD"}},
        {"shaders/particle_lava.vert", "shaders/particle_lava.frag", {}},
        {"shaders/particle_lava.vert", "shaders/particle_lava.frag", {"POINT_COORD"}},
        {"shaders/postfx.vert", "shaders/postfx_extract_bloom.frag", {}},
        {"shaders/postfx.vert", "shaders/postfx_blur1.frag", {}},
        {"shaders/postfx.vert", "shaders/postfx_bloom.frag", {}},
        {"shaders/bkg_img.vert", "shaders/bkg_img.frag", {"K 80"}},
        {"shaders/bkg_img.vert", "shaders/bkg_img.frag", {"K 40"}},
    };
    for (const Variant& v : variants) {
        vnGpuShader* shader = nullptr;
        EXPECT_EQ(buildShader(v.pixel, v.vertex, v.pixel, v.defines, shader), ShaderBuild::Ready)
            << v.pixel << ": " << (shader ? shader->getCompileLog() : "");
    }
    // Includes are resolved and defines follow the version line.
    const std::string text = composeShaderText("shaders/particle.vert", {"POINT_COORD"});
    EXPECT_EQ(text.rfind("#version 120\n#define POINT_COORD\n", 0), 0u);
    EXPECT_EQ(text.find("#include"), std::string::npos);
    EXPECT_NE(text.find("poissonDisk[64]"), std::string::npos);
    EXPECT_TRUE(composeShaderText("shaders/none.frag", {}).empty());
    vnGpuShader* missing = nullptr;
    EXPECT_EQ(buildShader("missing", "shaders/none.vert", "shaders/none.frag", {}, missing),
              ShaderBuild::VertexError);
    EXPECT_NE(findEmbeddedFile("images/particletex.jpg"), nullptr);
}

TEST_F(SceneTest, AllEffectsAtOnceBuildAndDraw) {
    RenderSettings s = settings(64, 48);
    s.add_post_fx = true;
    s.increase_graphx_workload = true;
    s.benchmark = true;
    s.vendor_class = 2;  // the point-coordinate shaders
    s.msaa = 4;
    ASSERT_TRUE(build(s));
    EXPECT_TRUE(render.postProcessing().ready());
    EXPECT_NE(render.postProcessing().backgroundShader(), nullptr);
    EXPECT_NE(render.postProcessing().backgroundQuad(), nullptr);
    EXPECT_NE(render.hudOverlays().progressBar(), nullptr);
    EXPECT_TRUE(glIsEnabled(GL_MULTISAMPLE));
    HandFluid hand(4, 10.0f);
    hand.set(0, {0.0f, 5.0f, 0.0f}, 10.0f);
    render.setParticleFluids({&hand.fluid});
    for (ParticleLook look : {ParticleLook::Smiley, ParticleLook::Lava, ParticleLook::Point}) {
        FrameInput input;
        input.look = look;
        input.scene_time = 2.0f;
        frame(input);
        EXPECT_GT(count([](const Rgb& c) { return c.sum() > 30; }), w * h / 4);
    }
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
    EXPECT_TRUE(boxes.empty());
}

// Each build puts its scene, shaders, materials, textures, cameras, quads and targets into
// the engine; a release, or the next reset, takes every one of them out again, so a
// second build draws exactly what the first did.
TEST_F(SceneTest, AResetOrReleaseLeavesNothingOfTheEarlierBuild) {
    auto expect_nothing_left = [&](const char* when) {
        SCOPED_TRACE(when);
        EXPECT_EQ(vnSceneMgr::getInstance()->getScene("Main_Scene"), nullptr);
        EXPECT_EQ(vnCameraMgr::getInstance()->getCamera("Main_Camera"), nullptr);
        EXPECT_EQ(vnCameraMgr::getInstance()->getCamera("ShadowMapCamera"), nullptr);
        EXPECT_EQ(vnGPUShaderMgr::getInstance()->getShaderCount(), 0u);
        EXPECT_EQ(vnMaterialMgr::getInstance()->getMaterialCount(), 0u);
        EXPECT_EQ(vnTextureMgr::getInstance()->getTextureCount(), 0u);
        EXPECT_EQ(render.mainCamera(), nullptr);
        EXPECT_EQ(render.lightingPasses().shadowMap(), nullptr);
        EXPECT_EQ(render.hudOverlays().font(), nullptr);
        EXPECT_EQ(render.hudOverlays().progressBar(), nullptr);
        EXPECT_EQ(render.postProcessing().backgroundQuad(), nullptr);
        EXPECT_FALSE(render.postProcessing().ready());
        EXPECT_EQ(built().faceCount(), 0u);
    };
    RenderSettings s = settings(64, 48);
    s.add_post_fx = true;
    s.increase_graphx_workload = true;
    s.benchmark = true;
    ASSERT_TRUE(build(s));
    FrameInput input;
    input.scene_time = 1.5f;
    frame(input);
    const std::vector<uint8_t> first = OffscreenTest::frame;

    render.reset(s);
    expect_nothing_left("after a second reset");
    ASSERT_TRUE(createShadowAndBuild());
    frame(input);
    EXPECT_TRUE(OffscreenTest::frame == first) << "the second build draws the same frame";

    // A build that stops halfway (no post-processing targets one pixel high) is released
    // by the next reset all the same.
    RenderSettings flat = settings(64, 1);
    flat.add_post_fx = true;
    render.reset(flat);
    ASSERT_TRUE(render.createShadowTarget() && render.buildScene(nullptr));
    EXPECT_FALSE(render.finishScene(nullptr));
    render.reset(s);
    expect_nothing_left("after a reset of a failed build");

    ASSERT_TRUE(createShadowAndBuild());
    render.release();
    expect_nothing_left("after release");
    render.release();
    expect_nothing_left("after a second release");
}

TEST_F(SceneTest, ScreenshotsTakeTheNextFreeName) {
    ASSERT_TRUE(build(settings(48, 32)));
    frame();
    std::ofstream("plashwerk_000000.jpg") << "taken";
    ASSERT_TRUE(render.takeScreenshot());
    EXPECT_EQ(render.lastScreenshotName(), "./Plashwerk_000001.jpg");
    EXPECT_EQ(render.screenshots().counter(), 2u);
    int width = 0, height = 0, channels = 0;
    stbi_uc* image = stbi_load("Plashwerk_000001.jpg", &width, &height, &channels, 3);
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(width, 48);
    EXPECT_EQ(height, 32);
    stbi_image_free(image);
    ASSERT_TRUE(render.takeScreenshot());
    EXPECT_EQ(render.lastScreenshotName(), "./plashwerk_000002.jpg");
    EXPECT_TRUE(std::filesystem::exists("plashwerk_000002.jpg"));

    DemoSceneRender empty;
    EXPECT_FALSE(empty.takeScreenshot()) << "no camera: nothing happens";
}

TEST_F(SceneTest, ScreenshotsGoToTheirFolderMadeWhenTheFirstIsWritten) {
    RenderSettings s = settings(48, 32);
    s.screenshot_folder = dir() + "/pictures/Plashwerk/";
    ASSERT_TRUE(build(s));
    frame();
    ASSERT_TRUE(render.takeScreenshot());
    EXPECT_EQ(render.lastScreenshotName(), s.screenshot_folder + "plashwerk_000000.jpg");
    EXPECT_TRUE(std::filesystem::is_regular_file(s.screenshot_folder + "plashwerk_000000.jpg"));
    EXPECT_FALSE(std::filesystem::exists("plashwerk_000000.jpg"))
        << "nothing in the working folder";
}

TEST_F(SceneTest, AScreenshotNameSkipsTakenNamesOnlyFromTheFirst) {
    for (const char* taken : {"plashwerk_000000.jpg", "Plashwerk_000001.jpg",
                              "plashwerk_000003.jpg", "Plashwerk_000003.jpg"})
        std::ofstream(taken) << "taken";
    uint32_t counter = 0;
    EXPECT_EQ(nextScreenshotName(counter), "./Plashwerk_000002.jpg");
    EXPECT_EQ(counter, 2u);
    counter = 1;
    EXPECT_EQ(nextScreenshotName(counter), "./plashwerk_000001.jpg")
        << "the first name is spelt in lower case; only it is checked in that spelling";
    counter = 3;
    EXPECT_EQ(nextScreenshotName(counter), "./Plashwerk_000004.jpg");
    EXPECT_EQ(counter, 4u);
}

TEST_F(SceneTest, MissingOrDamagedImagesFollowTheirRules) {
    // A data folder of our own: no stones, a damaged cement texture, no smiley.
    namespace fs = std::filesystem;
    fs::create_directories("mine/data");
    std::ofstream("mine/data/cement.dds") << "DDS " << std::string(200, '\xff');
    RenderSettings s = settings(48, 32);
    s.data_root = dir() + "/mine";
    ASSERT_TRUE(openWindow(48, 32));
    render.reset(s);
    ASSERT_TRUE(render.createShadowTarget());
    ASSERT_TRUE(render.buildScene(nullptr));
    ASSERT_NE(built().groundMaterial(), nullptr) << "the ground keeps its material";
    EXPECT_EQ(built().groundMaterial()->getTextureCount(), 0);
    EXPECT_EQ(built().groundMaterial()->getGpuShader(0), built().bumpShader());
    EXPECT_EQ(built().boxMaterial(), nullptr);
    EXPECT_EQ(built().sphere(0)->getMaterial(), nullptr) << "drawn without material";
    EXPECT_FALSE(render.finishScene(nullptr));
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0], "could not load particle texture!");

    // With a truncated smiley picture as well.
    fs::copy_file(PLASHWERK_SOURCE_DIR "/data/smiley.jpg", "mine/data/smiley.jpg");
    fs::resize_file("mine/data/smiley.jpg", 300);
    render.release();
    boxes.clear();
    render.reset(s);
    ASSERT_TRUE(render.createShadowTarget() && render.buildScene(nullptr));
    EXPECT_FALSE(render.finishScene(nullptr));
    EXPECT_EQ(boxes.size(), 1u);

    // A bare scene still draws: the spheres in their yellow vertex colour.
    fs::copy_file(PLASHWERK_SOURCE_DIR "/data/smiley.jpg", "mine/data/smiley.jpg",
                  fs::copy_options::overwrite_existing);
    render.release();
    render.reset(s);
    ASSERT_TRUE(render.createShadowTarget() && render.buildScene(nullptr) &&
                render.finishScene(nullptr));
    frame();
    EXPECT_GT(count([](const Rgb& c) { return c.r > 200 && c.g > 200 && c.b < 40; }), 20);
}

TEST_F(SceneTest, AWindowOnePixelHighKeepsItsAspectAndRefusesPostProcessing) {
    RenderSettings s = settings(64, 1);
    ASSERT_TRUE(build(s));
    EXPECT_FLOAT_EQ(render.mainCamera()->getAspect(), 64.0f);
    frame();

    render.release();
    s.add_post_fx = true;
    render.reset(s);
    ASSERT_TRUE(render.createShadowTarget() && render.buildScene(nullptr));
    EXPECT_FALSE(render.finishScene(nullptr));
    ASSERT_FALSE(boxes.empty());
    EXPECT_EQ(boxes.back(), "Post-FX render targets creation failed.");
    EXPECT_FALSE(render.postProcessing().ready());
}

TEST_F(SceneTest, TheMeshesAndTheCollisionActorsStandWhereTheOneSceneLayoutPutsThem) {
    PhysicsSettings options;
    options.num_fluid_emitters = 4;
    options.physx_cpu = true;
    DemoScenePhysics physics(options);
    ASSERT_TRUE(openWindow(64, 48));
    render.reset(settings(64, 48));
    ASSERT_TRUE(render.createShadowTarget());
    ASSERT_TRUE(physics.startPhysicsWithFallback());
    ASSERT_TRUE(render.buildScene(&physics));
    const SceneLayout& layout = physics.sceneLayout();
    auto same = [](const vnVector3& a, const NxVec3& b) {
        return a.x == b.x && a.y == b.y && a.z == b.z;
    };
    for (size_t i = 0; i < 4; ++i) {
        EXPECT_TRUE(same(built().sphere(i)->getPosition(), layout.obstacles.spheres[i].position));
        EXPECT_FLOAT_EQ(built().sphere(i)->getBoundingVolume().size().x * 0.5f,
                        layout.obstacles.spheres[i].radius);
    }
    EXPECT_FLOAT_EQ(layout.obstacles.spheres[3].radius, 4.0f);
    EXPECT_TRUE(same(built().pillar()->getPosition(), layout.obstacles.pillarPosition()));
    EXPECT_NEAR(built().pillar()->getBoundingVolume().size().y, 8.0f, 1e-5f);
    float ground[4];
    ASSERT_TRUE(built().ground()->getPlaneEquation(ground));
    EXPECT_FLOAT_EQ(ground[1], layout.obstacles.ground.equation[1]);
    EXPECT_FLOAT_EQ(ground[3], layout.obstacles.ground.equation[3]);

    const uint32_t faces_before = built().faceCount();
    physics.createFluidSimulations();
    ASSERT_EQ(layout.emitters.size(), 4u);
    ASSERT_TRUE(render.finishScene(&physics));
    ASSERT_EQ(built().emitterBoxes().size(), 4u);
    for (size_t e = 0; e < 4; ++e) {
        // One scene per emitter here: its kinematic actor is the emitter's frame box.
        NxScene& scene = *physics.fluid_simulations[e]->scene;
        NxActor* frame = scene.getActors()[scene.getNbActors() - 1];
        ASSERT_TRUE(frame->readBodyFlag(NX_BF_KINEMATIC));
        const vnVector3 p = built().emitterBoxes()[e]->getPosition();
        EXPECT_TRUE(same(p, layout.emitters[e].box_position)) << e;
        EXPECT_TRUE(same(p, frame->getGlobalPosition())) << e;
        EXPECT_NEAR(std::hypot(p.x, p.z), 15.0f, 1e-4f);
        EXPECT_EQ(built().emitterBoxes()[e]->getMaterial(), built().boxMaterial());
    }
    EXPECT_EQ(built().faceCount(), faces_before + 4 * 12);

    // A few steps fill the fluids; their particles are drawn.
    for (int step = 0; step < 30; ++step)
        for (auto& sim : physics.fluid_simulations) {
            sim->startStep();
            sim->completeStep();
            for (auto& fluid : sim->fluids)
                if (fluid) fluid->particles.takeForRender(fluid->particles.written());
        }
    EXPECT_GT(physics.particleTotal(), 0u);
    render.mainCamera()->setViewParams({0.0f, 25.0f, 25.0f}, {0.0f, 0.0f, 0.0f},
                                       {0.0f, 1.0f, 0.0f});
    frame();
    EXPECT_GT(count([](const Rgb& c) { return c.r > 60 && c.r > 3 * c.g && c.r > 3 * c.b; }), 3);
    render.release();
    physics.releaseFluidSimulations();
}

// The same scene in a real window (under a virtual X server in CI): drawn into the back
// buffer, swapped, and still there for the screenshot after the swap.
TEST_F(SceneTest, OnARealWindowTheScreenshotShowsTheSwappedFrame) {
    char error[256];
    std::unique_ptr<window::WindowSystem> system;
    if (!std::getenv("DISPLAY") || !(system = window::openGlfwWindowSystem(error, sizeof error)))
        GTEST_SKIP() << "no display";
    window::WindowDesc d;
    d.width = 200;
    d.height = 160;
    window::Window* win = system->createWindow(d, nullptr);
    ASSERT_NE(win, nullptr);
    w = win->clientWidth();
    h = win->clientHeight();
    window = engine->createRenderWindow(win, w, h, 32, 32, 0, 0, 2, 0, 1);
    ASSERT_NE(window, nullptr);
    ASSERT_FALSE(window->isOffscreen());
    engine->setCurrentRenderWindow(window);
    render.reset(settings(w, h));
    ASSERT_TRUE(render.createShadowTarget() && render.buildScene(nullptr) &&
                render.finishScene(nullptr));
    render.update(0.016f);
    render.renderScene({});
    render.drawLogos();
    // The frame before the swap, for comparison.
    std::vector<uint8_t> before(size_t(w) * size_t(h) * 3);
    glReadBuffer(GL_BACK);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, w, h, GL_RGB, GL_UNSIGNED_BYTE, before.data());
    engine->displayCurrentRenderWindow();
    ASSERT_TRUE(render.takeScreenshot());
    int width = 0, height = 0, channels = 0;
    stbi_uc* image = stbi_load(render.lastScreenshotName().c_str(), &width, &height, &channels, 3);
    ASSERT_NE(image, nullptr);
    ASSERT_EQ(width, w);
    ASSERT_EQ(height, h);
    // Same picture, give or take the JPEG: compare the mean brightness of both halves.
    long shot_top = 0, shot_bottom = 0, frame_top = 0, frame_bottom = 0;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            for (int k = 0; k < 3; ++k) {
                const int shot = image[(size_t(y) * size_t(w) + size_t(x)) * 3 + size_t(k)];
                const int drawn =
                    before[(size_t(h - 1 - y) * size_t(w) + size_t(x)) * 3 + size_t(k)];
                (y < h / 2 ? shot_top : shot_bottom) += shot;
                (y < h / 2 ? frame_top : frame_bottom) += drawn;
            }
    stbi_image_free(image);
    const long pixels = long(w) * long(h) / 2 * 3;
    EXPECT_GT(frame_bottom / pixels, 20) << "the scene was drawn";
    EXPECT_NEAR(double(shot_top) / double(pixels), double(frame_top) / double(pixels), 4.0);
    EXPECT_NEAR(double(shot_bottom) / double(pixels), double(frame_bottom) / double(pixels), 4.0);

    // Read before the swap, written after it: whatever the back buffer holds after the
    // swap (here a blue clear) does not reach the file.
    render.renderScene({});
    ASSERT_TRUE(render.captureScreenshot());
    engine->displayCurrentRenderWindow();
    glClearColor(0.0f, 0.0f, 1.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    ASSERT_TRUE(render.writeScreenshot());
    image = stbi_load(render.lastScreenshotName().c_str(), &width, &height, &channels, 3);
    ASSERT_NE(image, nullptr);
    long blue = 0;
    for (size_t i = 0; i < size_t(w) * size_t(h); ++i)
        blue += image[i * 3 + 2] > 200 && image[i * 3] < 40 && image[i * 3 + 1] < 40;
    stbi_image_free(image);
    EXPECT_LT(blue, long(w) * long(h) / 10) << "the frame drawn, not what came after the swap";
    EXPECT_FALSE(render.writeScreenshot()) << "a capture is written once";
    render.release();
    engine->destroyRenderWindow(window);
    window = nullptr;
    system->destroyWindow(win);
}

}  // namespace
}  // namespace plashwerk::test
