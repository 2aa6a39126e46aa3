#pragma once
// What the physics tests share: a trace log in a temporary folder, captured message boxes,
// the default settings, and an SDK double that can report physics hardware.

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "physics/physics_settings.h"
#include "platform/engine/vn_trace_mgr.h"
#include "platform/msgbox/message_box.h"
#include "platform/physx/nx_physics.h"

namespace plashwerk::test {

/// Sends the trace log to a fresh temporary folder and captures message boxes.
class PhysicsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/plashwerk_physics_XXXXXX";
        const char* made = mkdtemp(pattern);
        ASSERT_NE(made, nullptr);
        m_dir = made;
        Vantorr_nsp::vnTraceMgr::instance().setTraceLevel(4);
        Vantorr_nsp::vnTraceMgr::instance().setLogFileName((m_dir + "/Plashwerk_").c_str());
        setMessageBoxSink([this](MessageBoxKind kind, const char*, const char* text) {
            boxes.push_back({kind, text});
        });
        options = PhysicsSettings{};
        options.physx_cpu = false;
        options.z2o_physx_gpu_mem = false;
    }
    void TearDown() override {
        Vantorr_nsp::vnTraceMgr::instance().close();
        setMessageBoxSink({});
        std::error_code ignored;
        std::filesystem::remove_all(m_dir, ignored);
    }

    /// The log so far, without the time stamps: "[LEVEL] text" per line.
    std::vector<std::string> logLines() const {
        std::ifstream in(Vantorr_nsp::vnTraceMgr::instance().logFileName());
        std::vector<std::string> lines;
        for (std::string line; std::getline(in, line);) {
            const size_t bracket = line.find('[');
            lines.push_back(bracket == std::string::npos ? line : line.substr(bracket));
        }
        return lines;
    }
    std::string log() const {
        std::string all;
        for (const std::string& line : logLines()) all += line + "\n";
        return all;
    }
    bool logged(const std::string& line) const {
        for (const std::string& l : logLines())
            if (l == line) return true;
        return false;
    }

    struct Box {
        MessageBoxKind kind;
        std::string text;
    };
    std::vector<Box> boxes;
    PhysicsSettings options{};

  private:
    std::string m_dir;
};

/// Our real SDK behind a script: it may report physics hardware (a hardware version and
/// processors) and refuse scenes, and otherwise hands every call to the real SDK, which
/// refuses hardware scenes itself.
class ScriptedSdk final : public NxPhysicsSDK {
  public:
    explicit ScriptedSdk(NxPhysicsSDK* inner) : m_inner(inner) {}

    void release() override {
        if (journal) journal->push_back("release");
        m_inner->release();
        delete this;
    }
    bool setParameter(NxParameter p, NxReal v) override { return m_inner->setParameter(p, v); }
    NxReal getParameter(NxParameter p) const override { return m_inner->getParameter(p); }
    NxHWVersion getHWVersion() const override {
        return hardware ? NX_HW_VERSION_ATHENA_1_0 : NX_HW_VERSION_NONE;
    }
    NxU32 getNbPPUs() const override { return ppus; }
    NxScene* createScene(const NxSceneDesc& desc) override {
        scene_requests.push_back(desc.simType);
        if (refuse_scenes || scenes_allowed == 0) return nullptr;
        if (scenes_allowed > 0) --scenes_allowed;
        return m_inner->createScene(desc);
    }
    void releaseScene(NxScene& scene) override {
        if (journal)
            journal->push_back("releaseScene with " + std::to_string(scene.getNbFluids()) +
                               " fluids");
        m_inner->releaseScene(scene);
    }
    NxU32 getNbScenes() const override { return m_inner->getNbScenes(); }
    NxScene* getScene(NxU32 i) override { return m_inner->getScene(i); }

    bool hardware = false;
    NxU32 ppus = 0;
    bool refuse_scenes = false;
    int scenes_allowed = -1;                      ///< scenes still granted; -1: no limit
    std::vector<std::string>* journal = nullptr;  ///< records releases when set
    std::vector<NxSimulationType> scene_requests;

  private:
    ~ScriptedSdk() override = default;
    NxPhysicsSDK* m_inner;
};

/// Makes physics start a ScriptedSdk over the real one; *made points at it once started.
template <typename Physics>
void useScriptedSdk(Physics& physics, ScriptedSdk** made, bool hardware, NxU32 ppus,
                    NxPhysicsSDKDesc* desc_seen = nullptr) {
    physics.sdk_factory = [=](NxU32 version, NxUserAllocator* a, NxUserOutputStream* o,
                              const NxPhysicsSDKDesc& desc, NxSDKCreateError* e,
                              const char* guid) -> NxPhysicsSDK* {
        if (desc_seen) *desc_seen = desc;
        NxPhysicsSDK* real = NxCreatePhysicsSDK(version, a, o, desc, e, guid);
        if (!real) return nullptr;
        auto* scripted = new ScriptedSdk(real);
        scripted->hardware = hardware;
        scripted->ppus = ppus;
        *made = scripted;
        return scripted;
    };
}

}  // namespace plashwerk::test
