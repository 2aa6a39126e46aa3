// The run's SDK: start-up and its version fall-back, hardware reports, scenes with their
// software fall-back, statistics and shut-down, against our real SDK.

#include <gtest/gtest.h>

#include "physics/demo_scene_physics.h"
#include "physics_test_support.h"

namespace plashwerk {
namespace {

const char* const kFailedPrefix =
    "[ERROR] NVIDIA PhysX initialization failed. Could not start NVIDIA PhysX Engine version ";

class PhysicsSdk : public test::PhysicsTest {
  protected:
    /// Forwards to the real SDK, turning every version newer than accept_up_to into one it
    /// refuses (2.9.x); records the versions asked for and the descriptor.
    void refuseVersionsAbove(NxU32 accept_up_to, DemoScenePhysics& physics) {
        physics.sdk_factory = [this, accept_up_to](NxU32 version, NxUserAllocator* a,
                                                   NxUserOutputStream* o,
                                                   const NxPhysicsSDKDesc& desc,
                                                   NxSDKCreateError* e, const char* guid) {
            versions_asked.push_back(version);
            last_guid = guid ? guid : "";
            const NxU32 sent = version > accept_up_to ? version + 0x00010000 : version;
            return NxCreatePhysicsSDK(sent, a, o, desc, e, guid);
        };
    }

    std::vector<NxU32> versions_asked;
    std::string last_guid;
    NxPhysicsSDKDesc last_desc;
    test::ScriptedSdk* sdk = nullptr;
};

TEST_F(PhysicsSdk, DefaultVersionStartsReportsAndSetsParametersOnce) {
    DemoScenePhysics physics(options);
    refuseVersionsAbove(NX_SDK_VERSION_NUMBER, physics);
    ASSERT_TRUE(physics.startPhysics(3, -1, 7));  // any -1: 2.8.4
    ASSERT_NE(physics.physics_sdk, nullptr);
    EXPECT_EQ(versions_asked, std::vector<NxU32>{0x02080400u});
    EXPECT_EQ(last_guid, "3C7A21D4-5E8F-4b60-9A12-7D04E6B3C58F");
    EXPECT_EQ(physics.sdk_version_minor, 8);
    EXPECT_EQ(physics.sdk_version_bugfix, 4);
    EXPECT_EQ(physics.ppu_count, 0u);
    EXPECT_FALSE(physics.physx_hardware_present);
    const std::vector<std::string> want = {
        "[INFO] NVIDIA PhysX engine init - gpuHeapSize=256MB",
        "[INFO] NVIDIA PhysX engine - # of PPUs detected: 0",
        "[INFO] NVIDIA PhysX: PhysX hardware not detected (NX_HW_VERSION_NONE).",
        "[INFO] NVIDIA PhysX engine version 2.8.4 successfully started.",
    };
    EXPECT_EQ(logLines(), want);
    EXPECT_FLOAT_EQ(physics.physics_sdk->getParameter(NX_DEFAULT_SLEEP_LIN_VEL_SQUARED), 0.0225f);
    EXPECT_FLOAT_EQ(physics.physics_sdk->getParameter(NX_SKIN_WIDTH), 0.01f);
    EXPECT_FLOAT_EQ(physics.physics_sdk->getParameter(NX_CONTINUOUS_CD), 1.0f);

    // Started already: nothing changes, nothing is logged.
    NxPhysicsSDK* first = physics.physics_sdk;
    EXPECT_TRUE(physics.startPhysics(2, 8, 1));
    EXPECT_EQ(physics.physics_sdk, first);
    EXPECT_EQ(logLines().size(), want.size());
}

TEST_F(PhysicsSdk, FallsBackThroughOlderVersionsUntilOneStarts) {
    options.z2o_physx_gpu_mem = true;
    DemoScenePhysics physics(options);
    refuseVersionsAbove(NxSdkVersionWord(2, 8, 2), physics);
    ASSERT_TRUE(physics.startPhysicsWithFallback());
    EXPECT_EQ(versions_asked, (std::vector<NxU32>{0x02080400u, 0x02080300u, 0x02080200u}));
    EXPECT_EQ(physics.sdk_version_bugfix, 2);
    EXPECT_TRUE(logged("[INFO] NVIDIA PhysX engine init - gpuHeapSize=512MB"));
    EXPECT_TRUE(logged(std::string(kFailedPrefix) + "2.8.4"));
    EXPECT_TRUE(logged(std::string(kFailedPrefix) + "2.8.3"));
    EXPECT_TRUE(logged("[INFO] NVIDIA PhysX engine version 2.8.2 successfully started."));
    EXPECT_TRUE(boxes.empty());
}

TEST_F(PhysicsSdk, AllVersionsRefusedShowsTheDriverBoxAndLeavesNothingStarted) {
    DemoScenePhysics physics(options);
    refuseVersionsAbove(0, physics);
    EXPECT_FALSE(physics.startPhysicsWithFallback());
    EXPECT_EQ(versions_asked.size(), 4u);
    EXPECT_TRUE(logged(std::string(kFailedPrefix) + "2.8.1"));
    EXPECT_EQ(physics.physics_sdk, nullptr);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].kind, MessageBoxKind::Error);
    EXPECT_EQ(boxes[0].text, "PhysX Engine 2.8.1 initialization failed. Verify your PhysX driver.");

    const size_t lines = logLines().size();
    EXPECT_FALSE(physics.dumpSceneStats());
    EXPECT_EQ(physics.createFluidScene(), nullptr);
    EXPECT_TRUE(physics.shutdownPhysics());
    EXPECT_EQ(logLines().size(), lines);
}

TEST_F(PhysicsSdk, ShutdownAndStatisticsWithoutScenes) {
    DemoScenePhysics physics(options);
    ASSERT_TRUE(physics.startPhysics(-1, -1, -1));
    const size_t lines = logLines().size();
    EXPECT_TRUE(physics.dumpSceneStats());  // started, but no scene to report
    EXPECT_EQ(logLines().size(), lines);
    EXPECT_TRUE(physics.shutdownPhysics());
    EXPECT_EQ(physics.physics_sdk, nullptr);
    EXPECT_EQ(logLines().back(), "[INFO] NVIDIA PhysX shutdown ok.");
    EXPECT_TRUE(physics.shutdownPhysics());
    EXPECT_EQ(logLines().size(), lines + 1);
    EXPECT_FALSE(physics.dumpSceneStats());
}

TEST_F(PhysicsSdk, SoftwareSceneGetsItsFlagsMaterialAndTiming) {
    options.multicore_cpu_physx = false;
    options.multithreaded_physx = true;
    options.alt_physx_threading = true;
    DemoScenePhysics physics(options);
    ASSERT_TRUE(physics.startPhysics(-1, -1, -1));
    NxScene* scene = physics.createFluidScene();
    ASSERT_NE(scene, nullptr);
    EXPECT_FALSE(physics.gpuPhysxActive());
    EXPECT_EQ(scene->getSimType(), NX_SIMULATION_SW);
    EXPECT_EQ(scene->getFlags(), 0x40u);
    NxMaterial* material = scene->getMaterialFromIndex(0);
    ASSERT_NE(material, nullptr);
    EXPECT_FLOAT_EQ(material->getRestitution(), 0.5f);
    NxReal step = 0;
    NxU32 iterations = 0;
    NxTimeStepMethod method = NX_TIMESTEP_VARIABLE;
    scene->getTiming(step, iterations, method);
    EXPECT_FLOAT_EQ(step, 0.004f);
    EXPECT_EQ(iterations, 4u);

    EXPECT_FALSE(physics.releaseFluidScene(nullptr));
    EXPECT_TRUE(physics.releaseFluidScene(scene));
    EXPECT_EQ(physics.physics_sdk->getNbScenes(), 0u);
}

TEST_F(PhysicsSdk, RefusedHardwareSceneFallsBackToSoftwareSilently) {
    DemoScenePhysics physics(options);
    test::useScriptedSdk(physics, &sdk, true, 2);
    ASSERT_TRUE(physics.startPhysics(-1, -1, -1));
    EXPECT_EQ(physics.ppu_count, 2u);
    EXPECT_TRUE(physics.physx_hardware_present);
    EXPECT_TRUE(logged("[INFO] NVIDIA PhysX: PhysX hardware detected (NX_HW_VERSION_ATHENA_1_0)."));

    NxScene* scene = physics.createFluidScene();
    ASSERT_NE(scene, nullptr);
    EXPECT_EQ(sdk->scene_requests,
              (std::vector<NxSimulationType>{NX_SIMULATION_HW, NX_SIMULATION_SW}));
    EXPECT_EQ(scene->getSimType(), NX_SIMULATION_SW);
    EXPECT_FALSE(physics.gpuPhysxActive());
    // Both refused: null, and still no message.
    sdk->refuse_scenes = true;
    EXPECT_EQ(physics.createFluidScene(), nullptr);
    EXPECT_EQ(log().find("[ERROR]"), std::string::npos) << log();
    EXPECT_TRUE(boxes.empty());
}

TEST_F(PhysicsSdk, CpuPhysicsOnAHardwareMachineAsksForSoftwareOnly) {
    options.physx_cpu = true;
    DemoScenePhysics physics(options);
    test::useScriptedSdk(physics, &sdk, true, 1, &last_desc);
    ASSERT_TRUE(physics.startPhysics(-1, -1, -1));
    EXPECT_EQ(last_desc.flags, 3u);
    ASSERT_NE(physics.createFluidScene(), nullptr);
    EXPECT_EQ(sdk->scene_requests, std::vector<NxSimulationType>{NX_SIMULATION_SW});
    EXPECT_FALSE(physics.gpuPhysxActive());
    sdk->refuse_scenes = true;  // a refused software scene is worth an error line
    EXPECT_EQ(physics.createFluidScene(), nullptr);
    EXPECT_TRUE(logged("[ERROR] NVIDIA PhysX: could not create PhysX scene!"));
}

}  // namespace
}  // namespace plashwerk
