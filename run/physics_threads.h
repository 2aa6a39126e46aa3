#pragma once
// The physics side of a run: who steps the fluid simulations, and how their particles
// reach the render thread.
//
// Contents:
//   StepTarget: one simulation's step, split where the threads hand over
//   StepCounters: steps counted per simulation
//   PhysicsThreads: the three arrangements, lock-step or free-running
//
// Arrangements:
//   in-frame       the render thread starts every step before drawing and completes it
//                  after presenting;
//   single thread  one physics thread starts every simulation's step, then completes them
//                  in order;
//   per fluid      one thread per simulation.
// Lock-step (threads_sync) pairs each physics thread with the render thread through two
// auto-reset events: the physics side completes a step and signals "done"; the render side
// waits for it, copies the particles and signals "go", which the physics side waits for
// before it completes the next step (already started: the copy and the step overlap; the
// SDK writes the particle buffers only when a step is completed). Free-running threads
// never wait: each
// completed step is copied on the physics thread into a triple buffer, and the render
// thread takes the newest whole step from it, so a copy never reads a buffer that a step is
// writing. Every copy is one of the fluid's FluidParticles (physics/fluid_particles.h).

#include <atomic>
#include <cstdint>
#include <memory>
#include <span>
#include <thread>
#include <vector>

#include "physics/fluid_particles.h"
#include "platform/thread/thread_util.h"

namespace plashwerk {

/// One simulation's physics step. Called only by the thread of the arrangement.
class StepTarget {
  public:
    virtual ~StepTarget() = default;
    /// Sets the fixed timing (0.02 s, one sub-step), starts a 0.02 s step and flushes.
    virtual void startStep() = 0;
    /// Waits for the step; the SDK writes the particle buffers now. Returns the error
    /// state: 0 for a good step.
    virtual uint32_t completeStep() = 0;
};

/// Steps of one simulation. Incremented by the thread that completes a step, read and
/// cleared by the render thread.
struct StepCounters {
    std::atomic<uint32_t> sps_steps{0};    ///< since the last one-second sample
    std::atomic<uint32_t> total_steps{0};  ///< since the warm-up ended
};

/// One simulation as the run sees it.
struct SimulationLane {
    StepTarget* target = nullptr;
    std::vector<FluidParticles*> fluids;  ///< its fluids' particles; a failed fluid is left out
};

enum class PhysicsArrangement { InFrame, SingleThread, PerFluid };

/// The arrangement the settings choose: in-frame without multithreaded_physx, otherwise one
/// thread, or one per fluid with alt_physx_threading.
PhysicsArrangement choosePhysicsArrangement(bool multithreaded_physx, bool alt_physx_threading);

struct PhysicsConfig {
    PhysicsArrangement arrangement = PhysicsArrangement::InFrame;
    bool threads_sync = true;      ///< lock-step; false: free-running
    bool thread_affinity = false;  ///< per-fluid threads stay off the first processor
};

/// Flags the physics shares with the rest of the run.
struct PhysicsFlags {
    const std::atomic<bool>* paused = nullptr;  ///< P key; read every step
    std::atomic<bool>* crash_detected = nullptr;
};

class PhysicsThreads {
  public:
    PhysicsThreads();
    ~PhysicsThreads();
    PhysicsThreads(const PhysicsThreads&) = delete;
    PhysicsThreads& operator=(const PhysicsThreads&) = delete;

    /// Takes the simulations and allocates everything the arrangement needs, once. No
    /// thread starts yet. The lanes and their fluids must outlive stop().
    void init(const PhysicsConfig& config, const PhysicsFlags& flags,
              std::vector<SimulationLane> lanes);

    const PhysicsConfig& config() const { return m_config; }
    size_t laneCount() const { return m_lanes.size(); }
    std::span<StepCounters> counters() { return {m_counters.get(), m_lanes.size()}; }

    /// Frame, before drawing. In-frame: starts every step unless paused. Threaded: starts
    /// the threads on the first call (startPhysicsThreads).
    void kickOff();
    /// Frame, after presenting. In-frame: completes and counts every step unless paused.
    void complete();
    /// Frame, last: copies the particles of completed steps into the render copies, fenced
    /// as the arrangement requires. Skipped while paused or while particle
    /// updates are off. Without copy_particles the steps are handed over just the same, but
    /// their particles stay where the SDK wrote them (no frame will draw them).
    void handOver(bool particles_update, bool copy_particles = true);

    /// Ends the physics threads (stopPhysicsThreads): clears their running flags, wakes a
    /// thread waiting for its go event, and waits for each. A thread that takes longer than
    /// the second allowed is logged and still waited for: the scenes it steps are released
    /// next. Safe to call more than once.
    void stop();

    /// Kernel ids of the physics threads, 0 until they run: the single thread's, or one per
    /// simulation.
    uint32_t physicsThreadId() const { return m_physics_thread_id.load(std::memory_order_relaxed); }
    uint32_t laneThreadId(size_t lane) const;
    bool threadsStarted() const { return m_threads_started; }

    /// Sets every simulation's step counters to 0 (the end of the warm-up).
    void clearCounters();

    /// Particles alive in every fluid after each simulation's last good step, as published
    /// by the thread that completed it.
    uint32_t particleTotal() const;

  private:
    struct Slot;
    struct Lane;

    void startThreads();
    void physicsThreadMain();
    void fluidThreadMain(Lane& lane);
    void countStep(Lane& lane, uint32_t error_state);
    void copyToRender(Lane& lane);
    void publishStep(Lane& lane);
    bool takeNewestStep(Lane& lane);

    PhysicsConfig m_config;
    PhysicsFlags m_flags;
    std::vector<std::unique_ptr<Lane>> m_lanes;
    std::unique_ptr<StepCounters[]> m_counters;

    // The single physics thread.
    std::thread m_physics_thread;
    std::atomic<bool> m_physics_running{false};
    std::atomic<uint32_t> m_physics_thread_id{0};
    AutoResetEvent m_physics_go;
    AutoResetEvent m_physics_done;
    AutoResetEvent m_physics_exited;
    bool m_threads_started = false;
};

}  // namespace plashwerk
