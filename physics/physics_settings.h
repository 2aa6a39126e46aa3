#pragma once
// What the physics of a run is built with: the SDK's memory and hardware choices, the
// fluids' layout, emission and simulation method. The shell fills it from the program's
// settings; the defaults are those of a fresh installation.

#include <cstdint>

namespace plashwerk {

struct PhysicsSettings {
    /// Simulate on the CPU even where physics hardware exists. Default on.
    bool physx_cpu = true;
    /// MB of GPU memory the SDK may use for physics hardware. Default 256.
    int physx_gpu_heap_size = 256;
    /// Ask for 512 MB of GPU memory whatever physx_gpu_heap_size says. Default off.
    bool z2o_physx_gpu_mem = false;
    /// Each fluid scene steps on its own thread (with compartments on the CPU). Default on.
    bool multithreaded_physx = true;
    /// The SDK's own worker threads inside each scene. Default on.
    bool multicore_cpu_physx = true;
    /// With multithreaded_physx: scenes without the SDK's scene mutex. Default off.
    bool alt_physx_threading = false;
    /// With physics hardware: one fluid per emitter (else one fluid with every emitter).
    bool fluid_per_emitter = true;
    /// Emitters asked for, 1 .. kMaxFluidEmitters after clamping. Default 4.
    int num_fluid_emitters = 4;
    /// Live particles the emitters share out with use_particle_count. Default 120000.
    int num_particles = 120000;
    /// Emit so that num_particles stay alive (else at the fixed rates). Default on.
    bool use_particle_count = true;
    /// Particles per second of each emitter without use_particle_count. Default 500.
    int particles_rate = 500;
    /// ... and under xtreme_burning. Default 2000.
    int particles_rate_xtreme = 2000;
    bool xtreme_burning = false;
    /// Seconds a particle lives. Default 15.
    float particles_lifetime = 15.0f;
    /// SPH (particles push each other); off: particles fly without interaction. Default on.
    bool use_sph = true;
    /// m/s of the particles leaving an emitter. Default 100.
    float physx_fluid_velocity = 100.0f;
    /// Metres of each side of an emitter's opening. Default 0.2.
    float physx_fluid_emitter_size = 0.2f;
    /// A preset run: the warm-up waits for 98 % of the expected particles instead of 90 %.
    bool preset_run = false;

    bool operator==(const PhysicsSettings&) const = default;
};

}  // namespace plashwerk
