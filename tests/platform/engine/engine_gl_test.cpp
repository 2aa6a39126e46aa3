// The engine's objects drawing into an offscreen render window: textures, shaders, render
// targets, meshes, HUD quads, text, points and screenshots, checked by their pixels.
#include <stb_image.h>
#include <stb_image_write.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>

#include "platform/engine/vn_font.h"
#include "platform/engine/vn_math.h"
#include "platform/engine/vn_mesh.h"
#include "platform/engine/vn_render_state.h"
#include "platform/engine/vn_render_target.h"
#include "tests/platform/engine/offscreen_fixture.h"

namespace plashwerk::test {
namespace {

using namespace Vantorr_nsp;

std::vector<uint8_t> jpegOf(int width, int height, uint8_t r, uint8_t g, uint8_t b) {
    std::vector<uint8_t> pixels;
    for (int i = 0; i < width * height; ++i) pixels.insert(pixels.end(), {r, g, b});
    std::vector<uint8_t> out;
    stbi_write_jpg_to_func(
        [](void* context, void* data, int size) {
            auto* o = static_cast<std::vector<uint8_t>*>(context);
            o->insert(o->end(), static_cast<uint8_t*>(data), static_cast<uint8_t*>(data) + size);
        },
        &out, width, height, 3, pixels.data(), 95);
    return out;
}

bool near(const Rgb& c, int r, int g, int b, int tolerance = 8) {
    return std::abs(c.r - r) <= tolerance && std::abs(c.g - g) <= tolerance &&
           std::abs(c.b - b) <= tolerance;
}

constexpr const char* kColourVertex =
    "#version 120\nvoid main() { gl_TexCoord[0] = gl_MultiTexCoord0; gl_Position = ftransform(); "
    "}\n";
constexpr const char* kColourPixel =
    "#version 120\nuniform vec4 colour;\nvoid main() { gl_FragColor = colour; }\n";
constexpr const char* kTexturePixel =
    "#version 120\nuniform sampler2D tex;\n"
    "void main() { gl_FragColor = texture2D(tex, gl_TexCoord[0].st); }\n";

using EngineGl = OffscreenTest;

TEST_F(EngineGl, ImagesFromMemoryAndFilesBecomeTexturesAndDamagedOnesDoNot) {
    ASSERT_TRUE(openWindow(32, 32));
    vnTextureMgr* textures = vnTextureMgr::getInstance();
    const auto jpeg = jpegOf(8, 4, 250, 10, 10);
    vnTexture* t = textures->createTexture2D("red", jpeg.data(), jpeg.size());
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t->getWidth(), 8);
    EXPECT_EQ(t->getHeight(), 4);
    EXPECT_EQ(t->getTexData()->getPixelFormat(), VN_PIXEL_FORMAT_RGB);
    EXPECT_EQ(textures->createTexture2D("red", jpeg.data(), jpeg.size()), t) << "shared by name";

    // Truncated, garbage and empty images, a missing file: no texture, no crash.
    EXPECT_EQ(textures->createTexture2D("cut", jpeg.data(), 40), nullptr);
    const std::vector<uint8_t> junk(300, 0xAB);
    EXPECT_EQ(textures->createTexture2D("junk", junk.data(), junk.size()), nullptr);
    EXPECT_EQ(textures->createTexture2D("empty", junk.data(), 0), nullptr);
    EXPECT_EQ(textures->createTexture2D("no/such/file.jpg"), nullptr);
    std::ofstream("broken.dds") << "DDS |not really";
    EXPECT_EQ(textures->createTexture2D("broken.dds"), nullptr);
    EXPECT_EQ(textures->getTextureCount(), 1u);

    // The program's own images load.
    EXPECT_NE(textures->createTexture2D(PLASHWERK_SOURCE_DIR "/data/cement.dds"), nullptr);
    EXPECT_NE(textures->createTexture2D(PLASHWERK_SOURCE_DIR "/data/smiley.jpg"), nullptr);
    EXPECT_NE(textures->createTexture2D(PLASHWERK_SOURCE_DIR "/data/stones_512x512.jpg"), nullptr);
}

TEST_F(EngineGl, DxtImagesReachTheDriverCompressedAndReadBackAsTheirColours) {
    ASSERT_TRUE(openWindow(16, 16));
    // A 4 x 4 DXT1 image: red, its second pixel blue.
    std::vector<uint8_t> dds(128, 0);
    auto put = [&](size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i) dds[at + size_t(i)] = uint8_t(v >> (8 * i));
    };
    std::memcpy(dds.data(), "DDS ", 4);
    put(4, 124);
    put(12, 4);
    put(16, 4);
    put(76, 32);
    put(80, 0x4);
    std::memcpy(&dds[84], "DXT1", 4);
    dds.insert(dds.end(), {0x00, 0xF8, 0x1F, 0x00, 0x04, 0x00, 0x00, 0x00});
    vnTexture* t = vnTextureMgr::getInstance()->createTexture2D("dxt", dds.data(), dds.size());
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t->getTexData()->getPixelFormat(), VN_PIXEL_FORMAT_DXT1);
    std::vector<uint8_t> rgba(4 * 4 * 4);
    glBindTexture(GL_TEXTURE_2D, t->getGLName());
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
    EXPECT_EQ((std::vector<uint8_t>(rgba.begin(), rgba.begin() + 8)),
              (std::vector<uint8_t>{255, 0, 0, 255, 0, 0, 255, 255}));

    // Changing the pixel format decodes the blocks first.
    ASSERT_TRUE(t->changePixelFormat(VN_PIXEL_FORMAT_RGBA));
    EXPECT_EQ(t->getTexData()->getPixelFormat(), VN_PIXEL_FORMAT_RGBA);
    EXPECT_EQ(t->getTexData()->getPixels()[4 + 2], 255);
}

TEST_F(EngineGl, OpacityMapsFollowBrightness) {
    ASSERT_TRUE(openWindow(16, 16));
    vnTextureMgr* textures = vnTextureMgr::getInstance();
    const auto white = jpegOf(4, 4, 255, 255, 255);
    const auto black = jpegOf(4, 4, 0, 0, 0);
    const auto grey = jpegOf(4, 4, 140, 140, 140);
    vnTexture* tw = textures->createTexture2D("white", white.data(), white.size());
    vnTexture* tb = textures->createTexture2D("black", black.data(), black.size());
    vnTexture* tg = textures->createTexture2D("grey", grey.data(), grey.size());
    ASSERT_TRUE(tw && tb && tg);
    EXPECT_FALSE(tw->updateOpacityMap(0.1f, 1.0f)) << "RGB has no alpha to set";
    for (vnTexture* t : {tw, tb, tg}) {
        ASSERT_TRUE(t->changePixelFormat(VN_PIXEL_FORMAT_RGBA));
        ASSERT_TRUE(t->updateOpacityMap(0.1f, 1.0f));
    }
    EXPECT_EQ(tw->getTexData()->getPixels()[3], 255);
    EXPECT_EQ(tb->getTexData()->getPixels()[3], 0);
    const int grey_alpha = tg->getTexData()->getPixels()[3];  // (0.55 - 0.1) / 0.9 = 0.5
    EXPECT_NEAR(grey_alpha, 127, 6);
    EXPECT_FALSE(tw->changePixelFormat(VN_PIXEL_FORMAT_DXT5));
}

TEST_F(EngineGl, ShadersCompileLinkAndReportTheirErrors) {
    ASSERT_TRUE(openWindow(16, 16));
    vnGPUShaderMgr* shaders = vnGPUShaderMgr::getInstance();
    vnGpuShader* good = shaders->createGPUShader("good");
    ASSERT_NE(good, nullptr);
    EXPECT_EQ(good->loadVertexShaderFromMemory(kColourVertex), 0);
    EXPECT_FALSE(good->isReady());
    EXPECT_EQ(good->loadPixelShaderFromMemory(kColourPixel), 0);
    EXPECT_TRUE(good->isReady());
    EXPECT_STREQ(good->getCompileLog(), "");

    vnGpuShader* bad = shaders->createGPUShader("bad");
    EXPECT_EQ(
        bad->loadVertexShaderFromMemory("#version 120\nvoid main() { gl_Position = oops; }\n"), -1);
    EXPECT_NE(std::string(bad->getCompileLog()).find("oops"), std::string::npos)
        << bad->getCompileLog();
    EXPECT_EQ(bad->loadVertexShaderFromMemory(nullptr), -1);
    // Stages that compile but do not link: the pixel stage reads a varying nobody writes.
    vnGpuShader* unlinked = shaders->createGPUShader("unlinked");
    EXPECT_EQ(unlinked->loadVertexShaderFromMemory(kColourVertex), 0);
    EXPECT_EQ(unlinked->loadPixelShaderFromMemory(
                  "#version 120\nvarying vec4 missing;\nvoid main() { gl_FragColor = missing; }\n"),
              -1);
    EXPECT_FALSE(unlinked->isReady());
    EXPECT_GT(std::strlen(unlinked->getCompileLog()), 0u);
    EXPECT_EQ(shaders->getShader("good"), good);

    // A uniform set by name reaches the drawing; an unknown name is ignored.
    good->setUniform4f("colour", 0.0f, 1.0f, 0.0f, 1.0f);
    good->setUniform1f("no_such_uniform", 3.0f);
    good->bind();
    renderer->drawScreenQuad();
    vnGpuShader::unbind();
    present();
    EXPECT_TRUE(near(at(8, 8), 0, 255, 0));
}

TEST_F(EngineGl, RenderTargetsHoldWhatWasDrawnAndNestBackToTheirCaller) {
    ASSERT_TRUE(openWindow(32, 32));
    vnRenderTarget outer, inner;
    ASSERT_EQ(outer.createColorTarget("outer", 32, 32, VN_PIXEL_FORMAT_RGBA, 3, 1, 0), 0);
    ASSERT_EQ(inner.createDepthTarget("inner", 64, 64), 0);
    ASSERT_NE(outer.getTarget(), nullptr);

    // Drawing into the outer target; a shadow map drawn in between must hand it back.
    outer.activate();
    renderer->setClearColor(0.0f, 0.0f, 1.0f, 1.0f);
    renderer->clear(VN_CLEAR_ALL);
    inner.activate();
    renderer->clear(VN_CLEAR_DEPTH);
    inner.deactivate();
    GLint viewport[4];
    glGetIntegerv(GL_VIEWPORT, viewport);
    EXPECT_EQ(viewport[2], 32) << "the outer target's viewport is back";
    renderer->setClearColor(1.0f, 1.0f, 0.0f, 1.0f);
    glEnable(GL_SCISSOR_TEST);
    glScissor(0, 0, 16, 32);
    renderer->clear(VN_CLEAR_COLOR);
    glDisable(GL_SCISSOR_TEST);
    outer.deactivate();

    // The window shows the target's texture.
    renderer->setClearColor(0.0f, 0.0f, 0.0f, 1.0f);
    renderer->clear(VN_CLEAR_ALL);
    vnGpuShader* show = vnGPUShaderMgr::getInstance()->createGPUShader("show");
    ASSERT_EQ(show->loadVertexShaderFromMemory(kColourVertex), 0);
    ASSERT_EQ(show->loadPixelShaderFromMemory(kTexturePixel), 0);
    renderer->bindTexture(0, outer.getTarget());
    show->bind();
    renderer->drawScreenQuad();
    vnGpuShader::unbind();
    present();
    EXPECT_TRUE(near(at(4, 16), 255, 255, 0));
    EXPECT_TRUE(near(at(28, 16), 0, 0, 255));

    // Sizes and formats the driver cannot have are refused.
    vnRenderTarget bad;
    EXPECT_EQ(bad.createColorTarget("huge", 100000, 4, VN_PIXEL_FORMAT_RGBA, 3, 1, 0), -1);
    EXPECT_EQ(bad.createColorTarget("empty", 0, 4, VN_PIXEL_FORMAT_RGBA, 3, 1, 0), -1);
    EXPECT_EQ(bad.createColorTarget("format", 4, 4, 99, 3, 1, 0), -1);
    EXPECT_EQ(bad.getTarget(), nullptr);
    bad.activate();  // nothing to activate: harmless
    bad.deactivate();
}

TEST_F(EngineGl, MeshesHaveTheirFacesBoundsAndPlanes) {
    ASSERT_TRUE(openWindow(16, 16));
    vnScene* scene = vnSceneMgr::getInstance()->createScene("s");
    vnMeshDesc plane;
    plane.type = VN_MESH_PLANE;
    plane.size = {200.0f, 0.0f, 200.0f};
    plane.segments[0] = plane.segments[2] = 100;
    vnMesh* ground = engine->createMesh(scene, "ground", plane);
    ASSERT_NE(ground, nullptr);
    EXPECT_EQ(ground->getFaceCount(), 20000);
    float eq[4];
    ASSERT_TRUE(ground->getPlaneEquation(eq));
    EXPECT_NEAR(eq[1], 1.0f, 1e-6f) << "the plane faces up";
    EXPECT_NEAR(eq[3], 0.0f, 1e-6f);
    ground->setPosition(0.0f, 2.0f, 0.0f);
    ASSERT_TRUE(ground->getPlaneEquation(eq));
    EXPECT_NEAR(eq[3], -2.0f, 1e-5f);

    vnMeshDesc box;
    box.size = {2.0f, 8.0f, 2.0f};
    box.segments[0] = box.segments[1] = box.segments[2] = 30;
    vnMesh* pillar = engine->createMesh(scene, "pillar", box);
    ASSERT_NE(pillar, nullptr);
    EXPECT_EQ(pillar->getFaceCount(), 6 * 30 * 30 * 2);
    pillar->setPosition(0.0f, 4.0f, -4.0f);
    const vnBoundingVolume bv = pillar->getBoundingVolume();
    EXPECT_NEAR(bv.size().y, 8.0f, 1e-5f);
    EXPECT_NEAR(bv.min.y, 0.0f, 1e-5f);
    EXPECT_NEAR(bv.centre.z, -4.0f, 1e-5f);
    // Every face of the box points outwards.
    pillar->computeFaceNormals();
    const auto& vertices = pillar->getMeshData()->getVertices();
    const auto& indices = pillar->getMeshData()->getIndices();
    for (size_t f = 0; f < indices.size() / 3; f += 97) {
        const float* p = vertices[indices[3 * f]].position;
        EXPECT_GT(pillar->getMeshData()->getFaceNormals()[f].dot({p[0], p[1], p[2]}), 0.0f);
    }

    vnMeshDesc sphere;
    sphere.type = VN_MESH_SPHERE;
    sphere.size = {3.0f, 3.0f, 3.0f};
    sphere.segments[0] = sphere.segments[1] = 100;
    vnMesh* ball = engine->createMesh(scene, "ball", sphere);
    ASSERT_NE(ball, nullptr);
    EXPECT_EQ(ball->getFaceCount(), 100 * 98 * 2 + 2 * 100) << "one triangle per cell at the poles";
    EXPECT_NEAR(ball->getBoundingVolume().size().x, 6.0f, 1e-4f);

    // Materials over ranges of faces split the groups they cut.
    vnMaterial* a = vnMaterialMgr::getInstance()->createMaterial("a");
    vnMaterial* b = vnMaterialMgr::getInstance()->createMaterial("b");
    pillar->assignMaterialToFaces(a);
    pillar->assignMaterialToFaces(b, 100, 50);
    const auto& groups = pillar->getFaceGroups();
    ASSERT_EQ(groups.size(), 3u);
    EXPECT_EQ(groups[1].material, b);
    EXPECT_EQ(groups[1].first_face, 100u);
    EXPECT_EQ(groups[2].first_face, 150u);
    EXPECT_EQ(groups[0].face_count + groups[1].face_count + groups[2].face_count, 10800u);
    pillar->assignMaterialToFaces(a, 99999);  // beyond the faces: nothing changes
    EXPECT_EQ(pillar->getFaceGroups().size(), 3u);

    // Descriptions that cannot be built give no mesh.
    vnMeshDesc bad = box;
    bad.segments[1] = 0;
    EXPECT_EQ(engine->createMesh(scene, "bad", bad), nullptr);
    bad = box;
    bad.size.x = std::nanf("");
    EXPECT_EQ(engine->createMesh(scene, "nan", bad), nullptr);
    bad.type = 42;
    EXPECT_EQ(engine->createMesh(scene, "type", bad), nullptr);
    EXPECT_EQ(engine->createMesh(nullptr, "none", box), nullptr);
    EXPECT_EQ(scene->getMeshCount(), 3u);
    engine->destroyNode(ball);
    EXPECT_EQ(scene->getMeshCount(), 2u);
}

TEST_F(EngineGl, CameraMatricesPutTheLookAtPointInTheMiddle) {
    vnCamera* c =
        vnCameraMgr::getInstance()->createCameraPerspective("c", 60.0f, 4.0f / 3.0f, 1.0f, 100.0f);
    c->setViewParams({5.86f, 12.83f, 10.15f}, {0.0f, 3.0f, 0.0f}, {0.0f, 1.0f, 0.0f});
    const vnMatrix4 identity = c->getViewMatrix() * c->getInverseViewMatrix();
    for (int i = 0; i < 16; ++i) EXPECT_NEAR(identity.m[i], (i % 5 == 0) ? 1.0f : 0.0f, 1e-5f);
    const vnColor clip =
        (c->getProjectionMatrix() * c->getViewMatrix()).transform({0.0f, 3.0f, 0.0f});
    EXPECT_NEAR(clip.r / clip.a, 0.0f, 1e-5f);
    EXPECT_NEAR(clip.g / clip.a, 0.0f, 1e-5f);
    EXPECT_GT(clip.b / clip.a, -1.0f);
    EXPECT_LT(clip.b / clip.a, 1.0f);
    EXPECT_EQ(vnMatrix4{}.inverse().m[5], 1.0f);
    vnMatrix4 singular;
    singular.m[0] = 0.0f;
    EXPECT_EQ(singular.inverse().m[0], 1.0f) << "a singular matrix inverts to the identity";
}

TEST_F(EngineGl, SceneMeshesDrawInTheirPassesWithTheirColours) {
    ASSERT_TRUE(openWindow(48, 48));
    vnScene* scene = vnSceneMgr::getInstance()->createScene("s");
    vnCamera* cam =
        vnCameraMgr::getInstance()->createCameraPerspective("c", 60.0f, 1.0f, 1.0f, 100.0f);
    cam->setViewport(0, 0, 48, 48);
    cam->setViewParams({0.0f, 0.0f, 10.0f}, {0.0f, 0.0f, 0.0f}, {0.0f, 1.0f, 0.0f});
    cam->setEventState(VN_EVENT_CAMERA_FRUSTUM, true);
    vnMeshDesc box;
    box.size = {2.0f, 2.0f, 2.0f};
    vnMesh* bare = engine->createMesh(scene, "bare", box);
    bare->setVerticesColor({1.0f, 1.0f, 0.0f, 1.0f});
    vnMesh* hidden = engine->createMesh(scene, "behind", box);
    hidden->setPosition(0.0f, 0.0f, 30.0f);  // behind the camera: culled

    renderer->setClearColor(0.0f, 0.0f, 0.0f, 1.0f);
    renderer->clear(VN_CLEAR_ALL);
    renderer->setRenderingState(VN_STATE_DEPTH_TEST, true);
    renderer->setCamera(cam);
    // The lit pass leaves meshes without material out; the ambient pass draws them bare.
    renderer->drawSceneObjects(scene, cam, VN_PASS_LIT);
    present();
    EXPECT_EQ(at(24, 24).sum(), 0);
    renderer->drawSceneObjects(scene, cam, VN_PASS_AMBIENT);
    present();
    EXPECT_TRUE(near(at(24, 24), 255, 255, 0));
    EXPECT_EQ(at(2, 2).sum(), 0);

    // With a material the mesh takes the material's colours and state.
    vnMaterial* m = vnMaterialMgr::getInstance()->createMaterial("m");
    m->getRendererCtx()->setRenderingState(VN_STATE_LIGHTING, true);
    m->setAmbient({0.0f, 0.0f, 0.0f, 1.0f});
    m->setEmissive({0.0f, 0.5f, 1.0f, 1.0f});
    m->setDiffuse({0.0f, 0.0f, 0.0f, 1.0f});
    bare->assignMaterialToFaces(m);
    renderer->clear(VN_CLEAR_ALL);
    renderer->drawSceneObjects(scene, cam, VN_PASS_AMBIENT);
    present();
    EXPECT_TRUE(near(at(24, 24), 0, 128, 255, 10));
    renderer->setRenderingState(VN_STATE_LIGHTING, false);
}

TEST_F(EngineGl, HudQuadsSitInWindowPixelsFromTheCentre) {
    ASSERT_TRUE(openWindow(64, 48));
    vnQuad* q = engine->createHud("q", 10.0f, 6.0f);
    ASSERT_NE(q, nullptr);
    q->setPosition(20.0f, -10.0f, 0.0f);
    q->setColor({0.0f, 1.0f, 0.0f, 1.0f});
    renderer->setClearColor(0.0f, 0.0f, 0.0f, 1.0f);
    renderer->clear(VN_CLEAR_ALL);
    renderer->drawHud(q);
    present();
    // Centre (32 + 20, 24 - 10); 10 x 6 pixels around it.
    EXPECT_TRUE(near(at(52, 14), 0, 255, 0));
    EXPECT_TRUE(near(at(48, 12), 0, 255, 0));
    EXPECT_EQ(at(45, 14).sum(), 0);
    EXPECT_EQ(at(52, 18).sum(), 0);
    EXPECT_EQ(count([](const Rgb& c) { return c.g > 200; }), 60);

    // Moving the right-hand corners stretches it.
    for (vnVertex& v : q->getMeshData()->getVertices())
        if (v.position[0] > 0.0f) v.position[0] += 4.0f;
    q->getMeshData()->markChanged();
    renderer->clear(VN_CLEAR_ALL);
    renderer->drawHud(q);
    present();
    EXPECT_EQ(count([](const Rgb& c) { return c.g > 200; }), 84);
    EXPECT_EQ(engine->createHud("none", 0.0f, 5.0f), nullptr);
}

TEST_F(EngineGl, TheHudFontWritesWindows1252Text) {
    EXPECT_EQ(windows1252ToUnicode(0x80), 0x20ACu);
    EXPECT_EQ(windows1252ToUnicode(0xB0), 0xB0u);
    EXPECT_EQ(windows1252ToUnicode(0x81), 0u);
    EXPECT_EQ(windows1252ToUnicode('A'), uint32_t('A'));

    ASSERT_TRUE(openWindow(96, 32));
    vnFont* font = engine->createFont("Arial", 12);
    ASSERT_NE(font, nullptr);
    EXPECT_GE(font->getLineHeight(), 12);
    font->setText("%s %d\xB0", "GPU", 70);
    EXPECT_STREQ(font->getText(), "GPU 70\xB0");
    EXPECT_GT(font->getTextWidth(), 20.0f);
    std::string long_text(1000, 'x');
    font->setText("%s", long_text.c_str());
    EXPECT_EQ(std::strlen(font->getText()), size_t(kVnFontTextBytes - 1));
    font->setText("Hi \xB0");
    font->setPosition(2.0f, 2.0f);
    font->setColor(1.0f, 1.0f, 1.0f);
    font->setStyle(0);
    renderer->setClearColor(0.0f, 0.0f, 0.0f, 1.0f);
    renderer->clear(VN_CLEAR_ALL);
    renderer->beginText();
    renderer->drawText(font);
    renderer->endText();
    present();
    // Bright pixels only in the top left, where the line is.
    int top_left = 0, elsewhere = 0;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            if (at(x, y).sum() < 300) continue;
            (x < 40 && y >= h - 18 ? top_left : elsewhere) += 1;
        }
    EXPECT_GT(top_left, 15);
    EXPECT_EQ(elsewhere, 0);
    engine->destroyFont(font);
}

TEST_F(EngineGl, PointsDrawFromPositionAndColourArrays) {
    ASSERT_TRUE(openWindow(32, 32));
    renderer->setClearColor(0.0f, 0.0f, 0.0f, 1.0f);
    renderer->clear(VN_CLEAR_ALL);
    renderer->setMatrixMode(VN_MATRIX_PROJECTION);
    renderer->loadIdentity();
    renderer->setMatrixMode(VN_MATRIX_MODELVIEW);
    renderer->loadIdentity();
    renderer->setRenderingState(VN_STATE_DEPTH_TEST, false);
    // Positions with four floats and a stride of 16 bytes, colours with three.
    const float positions[] = {-0.5f, -0.5f, 0.0f, 1.0f, 0.5f, 0.5f, 0.0f, 1.0f};
    const float colours[] = {1.0f, 0.0f, 0.0f, 0.0f, 0.0f, 1.0f};
    renderer->setPointSize(4.0f);
    renderer->drawPoints(2, positions, 4, 16, colours, 3, 12);
    renderer->drawPoints(-3, positions, 4, 16, colours, 3, 12);  // nothing
    renderer->drawPoints(2, positions, 7, 16, colours, 3, 12);   // bad size: nothing
    renderer->setPointSize(1.0f);
    present();
    EXPECT_TRUE(near(at(8, 8), 255, 0, 0));
    EXPECT_TRUE(near(at(24, 24), 0, 0, 255));
    EXPECT_EQ(count([](const Rgb& c) { return c.sum() > 0; }), 32);
}

TEST_F(EngineGl, ScreenshotsAreJpegFilesOfTheLastFrame) {
    ASSERT_TRUE(openWindow(40, 24));
    vnCamera* cam =
        vnCameraMgr::getInstance()->createCameraPerspective("c", 60.0f, 1.0f, 1.0f, 10.0f);
    EXPECT_FALSE(cam->allocMemoryForScreenShot()) << "no viewport yet";
    EXPECT_FALSE(cam->makeScreenShot("none.jpg"));
    cam->setViewport(0, 0, 40, 24);
    ASSERT_TRUE(cam->allocMemoryForScreenShot());
    renderer->setClearColor(1.0f, 0.0f, 0.0f, 1.0f);
    renderer->clear(VN_CLEAR_ALL);
    glEnable(GL_SCISSOR_TEST);
    glScissor(0, 0, 40, 12);  // the lower half blue
    renderer->setClearColor(0.0f, 0.0f, 1.0f, 1.0f);
    renderer->clear(VN_CLEAR_COLOR);
    glDisable(GL_SCISSOR_TEST);
    engine->displayCurrentRenderWindow();
    ASSERT_TRUE(cam->makeScreenShot("shot.jpg"));
    int width = 0, height = 0, channels = 0;
    stbi_uc* image = stbi_load("shot.jpg", &width, &height, &channels, 3);
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(width, 40);
    EXPECT_EQ(height, 24);
    const uint8_t* top = image + (2 * 40 + 20) * 3;
    const uint8_t* bottom = image + (21 * 40 + 20) * 3;
    EXPECT_GT(top[0], 230);
    EXPECT_LT(top[2], 30);
    EXPECT_GT(bottom[2], 230);
    EXPECT_LT(bottom[0], 30);
    stbi_image_free(image);
    EXPECT_FALSE(cam->makeScreenShot("no_such_dir/shot.jpg"));
}

TEST_F(EngineGl, NothingIsDrawnOrBrokenWithoutACurrentRenderWindow) {
    engine->setCurrentRenderWindow(engine->getDummyRenderWindow());
    const float p[3] = {0.0f, 0.0f, 0.0f};
    renderer->setRenderingState(VN_STATE_BLENDING, true);
    renderer->setPointSprites(true);
    renderer->drawPoints(1, p, 3, 0, p, 3, 0);
    renderer->drawScreenQuad();
    renderer->beginText();
    renderer->endText();
    renderer->setCamera(nullptr);
    renderer->drawSceneObjects(nullptr, nullptr, VN_PASS_LIT);
    renderer->drawHud(nullptr);
    EXPECT_EQ(renderer->getRendererName(), nullptr);
}

}  // namespace
}  // namespace plashwerk::test
