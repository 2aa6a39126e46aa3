#pragma once
// Every descriptor the program hands to the physics SDK, filled from the settings.
//
// Contents:
//   the SDK: kPhysicsApplicationGuid, makePhysicsSdkDesc, gpuHeapSizeMb
//   SDK parameters: kSdkParameters
//   scenes: fluidSceneFlags, makeFluidSceneDesc, makeDefaultMaterialDesc, initial timing
//   fluids: makeFluidCompartmentDesc, makeFluidDesc, makeEmitterDesc

#include <array>
#include <utility>

#include "platform/physx/nx_physics.h"

namespace plashwerk {

struct PhysicsSettings;

/// Identifies this program to the SDK for the run's SDK instance.
inline constexpr const char* kPhysicsApplicationGuid = "3C7A21D4-5E8F-4b60-9A12-7D04E6B3C58F";

/// The MB of GPU memory the SDK may use for physics hardware: 512 with z2o_physx_gpu_mem,
/// else physx_gpu_heap_size.
int gpuHeapSizeMb(const PhysicsSettings& options);

/// Per-scene batching always; no hardware at all with physx_cpu.
NxPhysicsSDKDesc makePhysicsSdkDesc(const PhysicsSettings& options);

/// SDK-wide parameters, set in this order after start-up.
inline constexpr std::array<std::pair<NxParameter, NxReal>, 5> kSdkParameters{{
    {NX_DEFAULT_SLEEP_LIN_VEL_SQUARED, 0.15f * 0.15f},  // bodies below 0.15 m/s may sleep
    {NX_DEFAULT_SLEEP_ANG_VEL_SQUARED, 0.14f * 0.14f},  // ... and below 0.14 rad/s
    {NX_SKIN_WIDTH, 0.01f},                             // 1 cm of allowed interpenetration
    {NX_CONTINUOUS_CD, 1.0f},                           // swept collision for fast bodies
    {NX_CCD_EPSILON, 0.01f},
}};

/// 0x4C (own thread, multithreaded, no scene mutex) with multicore_cpu_physx; replaced by
/// 0x4C, or 0x40 with alt_physx_threading, when multithreaded_physx is set; else 0.
NxU32 fluidSceneFlags(const PhysicsSettings& options);

/// The scene every FluidSimulation lives in. Hardware simulation is asked for when the SDK
/// reported hardware and physx_cpu is clear.
NxSceneDesc makeFluidSceneDesc(const PhysicsSettings& options, bool hardware_present);

/// Material 0 of each scene: friction 0.2, restitution 0.5.
NxMaterialDesc makeDefaultMaterialDesc();

/// Timing a new scene starts with: 4 ms sub-steps, at most 4 of them; the physics threads
/// set their own before every step.
inline constexpr NxReal kInitialMaxTimestep = 0.004f;
inline constexpr NxU32 kInitialMaxIter = 4;

/// A fluid compartment on the CPU that inherits the scene's settings.
NxCompartmentDesc makeFluidCompartmentDesc();

/// The fluid of every FluidSimulation, without its write buffers and compartment, which the
/// caller fills. hardware_fluid asks for hardware simulation.
NxFluidDesc makeFluidDesc(const PhysicsSettings& options, NxU32 max_particles, bool hardware_fluid);

/// An emitter of constant flow rate on frame_shape, 0.6 m above the shape's centre, tilted
/// by Rx(alpha) . Ry(beta).
NxFluidEmitterDesc makeEmitterDesc(const PhysicsSettings& options, NxShape* frame_shape, float rate,
                                   float lifetime, float alpha, float beta);

}  // namespace plashwerk
