// Builds the benchmark's scene without a window (EGL offscreen), runs the fluids for a
// number of frames, draws each frame and writes the last one as a screenshot into the
// working directory. Prints the mean frame time of the drawing alone, with the share of the
// lighting passes, for measuring the renderer without the run controller.
//
//   render_preview [width height frames] [options...]
//     postfx     the bloom chain          workload  the animated background quad
//     lava       lava particles            points    plain point particles
//     benchmark  with the progress bar     emitters=N  fluid emitters (default 4)
//     overlay    the on-screen information with the help and two GPUs' lines and
//                temperature graphs of 1000 samples each
//     fill=N     N physics steps before the first drawn frame (the default run's 120000
//                particles take about 760: 15 s of particle life at 0.02 s a step)
// Run from the source root (the data/ images are read from the working directory).

#include <GL/glew.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "physics/demo_scene_physics.h"
#include "physics/physics_settings.h"
#include "platform/engine/vantorr.h"
#include "platform/engine/vn_render_window.h"
#include "render/demo_scene_render.h"

using namespace plashwerk;
using namespace Vantorr_nsp;

int main(int argc, char** argv) {
    int width = 800, height = 600, frames = 200;
    if (argc >= 4) {
        width = std::atoi(argv[1]);
        height = std::atoi(argv[2]);
        frames = std::atoi(argv[3]);
    }
    PhysicsSettings physics_settings;
    RenderSettings settings;
    FrameInput input;
    bool benchmark = false;
    bool overlay = false;
    int fill = 0;
    for (int i = 4; i < argc; ++i) {
        if (!std::strcmp(argv[i], "postfx")) settings.add_post_fx = true;
        if (!std::strcmp(argv[i], "workload")) settings.increase_graphx_workload = true;
        if (!std::strcmp(argv[i], "lava")) input.look = ParticleLook::Lava;
        if (!std::strcmp(argv[i], "points")) input.look = ParticleLook::Point;
        if (!std::strcmp(argv[i], "benchmark")) benchmark = true;
        if (!std::strcmp(argv[i], "overlay")) overlay = true;
        if (!std::strncmp(argv[i], "emitters=", 9))
            physics_settings.num_fluid_emitters = std::atoi(argv[i] + 9);
        if (!std::strncmp(argv[i], "fill=", 5)) fill = std::atoi(argv[i] + 5);
    }

    Vantorr* engine = Vantorr::getInstance();
    engine->startup(VN_RENDER_SYSTEM_OPENGL, 1, nullptr);
    vnRenderWindow* rw = engine->createRenderWindow(nullptr, width, height, 32, 32, 0, 0, 2, 0, 1);
    if (!rw) {
        std::fprintf(stderr, "no render window\n");
        return 1;
    }
    engine->setCurrentRenderWindow(rw);

    DemoSceneRender render;
    settings.width = width;
    settings.height = height;
    settings.benchmark = benchmark;
    render.reset(settings);
    DemoScenePhysics physics(physics_settings);
    if (!render.createShadowTarget() || !physics.startPhysicsWithFallback() ||
        !render.buildScene(&physics))
        return 1;
    physics.createFluidSimulations();
    if (!render.finishScene(&physics)) return 1;

    for (int step = 0; step < fill; ++step)
        for (auto& sim : physics.fluid_simulations)
            if (sim) {
                sim->startStep();
                sim->completeStep();
            }

    // What a stability test with two monitored GPUs shows, help included.
    OverlayInput info;
    info.width = width;
    info.height = height;
    info.benchmark = benchmark;
    info.warmup_over = true;
    info.max_time_ms = 60000;
    info.show_help = true;
    info.multithreaded_physx = true;
    info.physics_thread_count = 1;
    std::snprintf(info.renderer_name, sizeof info.renderer_name, "%s",
                  vnRenderer::getInstance()->getRendererName());
    info.gpu_count = 2;
    std::vector<TemperatureSample> histories[2];
    GraphSource graphs[2];
    for (int g = 0; g < 2; ++g) {
        std::snprintf(info.gpus[g].name, sizeof info.gpus[g].name, "Preview GPU %d", g + 1);
        info.gpus[g].true_core_clock = 1500.0f;
        info.gpus[g].true_memory_clock = 7000.0f;
        info.gpus[g].celsius = 70.0f;
        for (int k = 0; k < 1000; ++k)
            histories[g].push_back({40.0f + 30.0f * float(k) / 999.0f + float(g * 5), k});
        graphs[g] = {histories[g], 75.0f, 40.0f};
    }

    double draw_seconds = 0.0, overlay_seconds = 0.0;
    int timed = 0;
    uint32_t particles = 0;
    for (int f = 0; f < frames; ++f) {
        for (auto& sim : physics.fluid_simulations)
            if (sim) sim->startStep();
        const auto t0 = std::chrono::steady_clock::now();
        input.scene_time += 0.02f;
        render.update(0.02f);
        render.renderScene(input);
        if (benchmark) {
            render.growProgressBar(float(width) / float(frames));
            render.drawProgressBar();
        }
        render.drawLogos();
        if (overlay) {
            // Timed on its own: the rasteriser finishes the scene first, then the overlay.
            glFinish();
            const auto o0 = std::chrono::steady_clock::now();
            info.particle_total = particles;
            info.frames = uint32_t(f);
            info.elapsed_ms = uint32_t(f * 20);
            render.drawOnScreenInformation(info, graphs);
            glFinish();
            if (f >= frames / 2)
                overlay_seconds +=
                    std::chrono::duration<double>(std::chrono::steady_clock::now() - o0).count();
        }
        engine->displayCurrentRenderWindow();  // finishes the frame on the rasteriser
        const auto t1 = std::chrono::steady_clock::now();
        if (f >= frames / 2) {
            draw_seconds += std::chrono::duration<double>(t1 - t0).count();
            ++timed;
        }
        particles = 0;
        for (auto& sim : physics.fluid_simulations) {
            if (!sim) continue;
            sim->completeStep();
            for (auto& fluid : sim->fluids)
                if (fluid) {
                    FluidParticles& p = fluid->particles;
                    p.takeForRender(p.written());
                    particles += p.forRender().count;
                }
        }
    }
    render.takeScreenshot();
    if (overlay && draw_seconds > 0)
        std::printf("on-screen information and graphs: %.2f ms per frame, %.1f %% of the frame\n",
                    timed ? 1000.0 * overlay_seconds / timed : 0.0,
                    100.0 * overlay_seconds / draw_seconds);
    std::printf(
        "%dx%d, %u particles: %.1f ms per drawn frame (%.1f FPS drawing only), faces %u; "
        "screenshot %s\n",
        width, height, particles, timed ? 1000.0 * draw_seconds / timed : 0.0,
        draw_seconds > 0 ? timed / draw_seconds : 0.0, render.sceneBuild().faceCount(),
        render.lastScreenshotName().c_str());
    render.release();
    physics.releaseFluidSimulations();
    engine->destroyRenderWindow(rw);
    engine->shutdown();
    return 0;
}
