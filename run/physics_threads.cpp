#include "run/physics_threads.h"

#include "platform/engine/vn_trace_mgr.h"

namespace plashwerk {

using Vantorr_nsp::logTrace;

namespace {

constexpr uint8_t kFresh = 4;  // in Lane::ready: the slot holds a step not yet taken
constexpr uint32_t kPausePollMs = 2;
constexpr uint32_t kThreadEndWaitMs = 1000;

bool isPaused(const std::atomic<bool>* paused) {
    return paused && paused->load(std::memory_order_relaxed);
}

}  // namespace

/// One completed step of every fluid of a lane, kept for a free-running hand-over.
struct PhysicsThreads::Slot {
    std::vector<ParticleCopy> fluids;
};

struct PhysicsThreads::Lane {
    SimulationLane sim;
    StepCounters* counters = nullptr;
    bool step_pending = false;           ///< in-frame: a started step awaits completion
    std::atomic<uint32_t> particles{0};  ///< live particles after the last good step
    std::atomic<bool> thread_running{false};
    std::atomic<uint32_t> thread_id{0};
    std::thread thread;
    AutoResetEvent go;
    AutoResetEvent done;
    AutoResetEvent exited;

    // Free-running triple buffer: the physics thread fills slots[back], the render thread
    // reads slots[front], and `ready` holds the third index, with kFresh while it holds a
    // step the render thread has not taken.
    Slot slots[3];
    uint8_t back = 0;
    uint8_t front = 1;
    std::atomic<uint8_t> ready{2};
};

PhysicsArrangement choosePhysicsArrangement(bool multithreaded_physx, bool alt_physx_threading) {
    if (!multithreaded_physx) return PhysicsArrangement::InFrame;
    return alt_physx_threading ? PhysicsArrangement::PerFluid : PhysicsArrangement::SingleThread;
}

PhysicsThreads::PhysicsThreads() = default;
PhysicsThreads::~PhysicsThreads() {
    stop();
}

void PhysicsThreads::init(const PhysicsConfig& config, const PhysicsFlags& flags,
                          std::vector<SimulationLane> lanes) {
    stop();
    // A run ended with a baton still in flight; the next one starts without it.
    m_physics_go.waitFor(0);
    m_physics_done.waitFor(0);
    m_physics_exited.waitFor(0);
    m_config = config;
    m_flags = flags;
    m_threads_started = false;
    m_physics_thread_id = 0;
    m_lanes.clear();
    m_counters = std::make_unique<StepCounters[]>(lanes.size());
    const bool free_running =
        config.arrangement != PhysicsArrangement::InFrame && !config.threads_sync;
    for (size_t i = 0; i < lanes.size(); ++i) {
        if (!lanes[i].target) continue;  // nothing to step
        auto lane = std::make_unique<Lane>();
        lane->sim = std::move(lanes[i]);
        lane->counters = &m_counters[m_lanes.size()];
        if (free_running) {
            for (Slot& slot : lane->slots) {
                slot.fluids.resize(lane->sim.fluids.size());
                for (size_t f = 0; f < slot.fluids.size(); ++f)
                    slot.fluids[f].allocate(lane->sim.fluids[f]->capacity());
            }
        }
        m_lanes.push_back(std::move(lane));
    }
}

uint32_t PhysicsThreads::laneThreadId(size_t lane) const {
    return lane < m_lanes.size() ? m_lanes[lane]->thread_id.load(std::memory_order_relaxed) : 0;
}

void PhysicsThreads::clearCounters() {
    for (StepCounters& c : counters()) {
        c.sps_steps.store(0, std::memory_order_relaxed);
        c.total_steps.store(0, std::memory_order_relaxed);
    }
}

uint32_t PhysicsThreads::particleTotal() const {
    uint32_t total = 0;
    for (const auto& lane : m_lanes) total += lane->particles.load(std::memory_order_relaxed);
    return total;
}

// ---------------------------------------------------------------------------------------
// Frame side

void PhysicsThreads::kickOff() {
    if (m_config.arrangement != PhysicsArrangement::InFrame) {
        if (!m_threads_started) startThreads();
        return;
    }
    if (isPaused(m_flags.paused)) return;
    for (auto& lane : m_lanes) {
        lane->sim.target->startStep();
        lane->step_pending = true;
    }
}

void PhysicsThreads::complete() {
    if (m_config.arrangement != PhysicsArrangement::InFrame) return;
    // A step started this frame is completed even when the pause came in between: the
    // scene must not be left with a step running, and no step is counted twice.
    for (auto& lane : m_lanes) {
        if (!lane->step_pending) continue;
        lane->step_pending = false;
        countStep(*lane, lane->sim.target->completeStep());
    }
}

void PhysicsThreads::handOver(bool particles_update, bool copy_particles) {
    if (!particles_update || isPaused(m_flags.paused)) return;
    switch (m_config.arrangement) {
        case PhysicsArrangement::InFrame:
            if (copy_particles)
                for (auto& lane : m_lanes) copyToRender(*lane);
            break;
        case PhysicsArrangement::SingleThread:
            if (!m_threads_started) return;
            if (m_config.threads_sync) {
                m_physics_done.wait();
                if (copy_particles)
                    for (auto& lane : m_lanes) copyToRender(*lane);
                m_physics_go.set();
            } else if (copy_particles) {
                for (auto& lane : m_lanes) takeNewestStep(*lane);
            }
            break;
        case PhysicsArrangement::PerFluid:
            if (!m_threads_started) return;
            for (auto& lane : m_lanes) {
                if (m_config.threads_sync) {
                    lane->done.wait();
                    if (copy_particles) copyToRender(*lane);
                    lane->go.set();
                } else if (copy_particles) {
                    takeNewestStep(*lane);
                }
            }
            break;
    }
}

void PhysicsThreads::copyToRender(Lane& lane) {
    for (FluidParticles* fluid : lane.sim.fluids) fluid->takeForRender(fluid->written());
}

bool PhysicsThreads::takeNewestStep(Lane& lane) {
    if (!(lane.ready.load(std::memory_order_acquire) & kFresh)) return false;
    lane.front = lane.ready.exchange(lane.front, std::memory_order_acq_rel) & 3;
    const Slot& slot = lane.slots[lane.front];
    for (size_t i = 0; i < lane.sim.fluids.size(); ++i)
        lane.sim.fluids[i]->takeForRender(slot.fluids[i].view());
    return true;
}

// ---------------------------------------------------------------------------------------
// Physics side

void PhysicsThreads::publishStep(Lane& lane) {
    Slot& slot = lane.slots[lane.back];
    for (size_t i = 0; i < lane.sim.fluids.size(); ++i)
        slot.fluids[i].copyFrom(lane.sim.fluids[i]->written());
    lane.back = lane.ready.exchange(lane.back | kFresh, std::memory_order_acq_rel) & 3;
}

void PhysicsThreads::countStep(Lane& lane, uint32_t error_state) {
    if (error_state != 0) {
        if (m_flags.crash_detected) m_flags.crash_detected->store(true, std::memory_order_relaxed);
        logTrace(Vantorr_nsp::VN_TRACE_ERROR, "PhysX hardware crash detected (code=%d)",
                 static_cast<int>(error_state));
        return;
    }
    uint32_t particles = 0;
    for (const FluidParticles* fluid : lane.sim.fluids) particles += fluid->liveCount();
    lane.particles.store(particles, std::memory_order_relaxed);
    lane.counters->sps_steps.fetch_add(1, std::memory_order_relaxed);
    lane.counters->total_steps.fetch_add(1, std::memory_order_relaxed);
    if (m_config.arrangement != PhysicsArrangement::InFrame && !m_config.threads_sync)
        publishStep(lane);
}

void PhysicsThreads::startThreads() {
    m_threads_started = true;
    if (m_config.arrangement == PhysicsArrangement::SingleThread) {
        m_physics_running = true;
        m_physics_thread = std::thread([this] { physicsThreadMain(); });
        if (m_config.threads_sync) m_physics_go.set();  // the first step completes at once
        return;
    }
    for (auto& lane : m_lanes) {
        lane->thread_running = true;
        Lane* l = lane.get();
        lane->thread = std::thread([this, l] { fluidThreadMain(*l); });
        if (m_config.threads_sync) lane->go.set();  // the first step completes at once
    }
}

void PhysicsThreads::physicsThreadMain() {
    m_physics_thread_id = currentThreadId();
    const bool sync = m_config.threads_sync;
    while (m_physics_running.load(std::memory_order_acquire)) {
        if (isPaused(m_flags.paused)) {
            // Lock-step passes one baton: "go" hands it to this thread, "done" back to the
            // render thread, and only its holder touches the particle buffers. A paused
            // thread that finds the baton handed to it gives it straight back, so the render
            // thread never waits for a thread that does not step, and never copies while a
            // step writes.
            if (sync && m_physics_go.waitFor(0)) m_physics_done.set();
            sleepMs(kPausePollMs);
            continue;
        }
        // Every simulation starts before any is completed, so their steps overlap. The
        // baton is needed only for completing them (the SDK then writes the particle
        // buffers): the render thread's copy of the last step overlaps with this one.
        for (auto& lane : m_lanes) lane->sim.target->startStep();
        if (sync) {
            m_physics_go.wait();
            if (!m_physics_running.load(std::memory_order_acquire)) {
                // Stopped: the started steps are completed (and counted) all the same.
                for (auto& lane : m_lanes) countStep(*lane, lane->sim.target->completeStep());
                break;
            }
        }
        for (auto& lane : m_lanes) countStep(*lane, lane->sim.target->completeStep());
        if (sync) m_physics_done.set();
    }
    m_physics_exited.set();
}

void PhysicsThreads::fluidThreadMain(Lane& lane) {
    if (m_config.thread_affinity) setCurrentThreadAffinity(0xFFFFFFFEu);
    lane.thread_id = currentThreadId();
    const bool sync = m_config.threads_sync;
    while (lane.thread_running.load(std::memory_order_acquire)) {
        if (isPaused(m_flags.paused)) {
            if (sync && lane.go.waitFor(0)) lane.done.set();  // the baton goes back
            sleepMs(kPausePollMs);
            continue;
        }
        // As in physicsThreadMain: the step runs while the render thread copies the last
        // one, and waits for the baton only to be completed.
        lane.sim.target->startStep();
        if (sync) {
            lane.go.wait();
            if (!lane.thread_running.load(std::memory_order_acquire)) {
                countStep(lane,
                          lane.sim.target->completeStep());  // stopped: completed all the same
                break;
            }
        }
        countStep(lane, lane.sim.target->completeStep());
        if (sync) lane.done.set();
    }
    lane.exited.set();
}

void PhysicsThreads::stop() {
    if (m_physics_thread.joinable()) {
        m_physics_running.store(false, std::memory_order_release);
        m_physics_go.set();  // a thread waiting for its go leaves the wait
        if (!m_physics_exited.waitFor(kThreadEndWaitMs))
            logTrace(Vantorr_nsp::VN_TRACE_WARNING,
                     "PhysX thread did not end within %u ms: waiting for its step to end.",
                     kThreadEndWaitMs);
        m_physics_thread.join();
    }
    for (auto& lane : m_lanes) {
        if (!lane->thread.joinable()) continue;
        lane->thread_running.store(false, std::memory_order_release);
        lane->go.set();
    }
    for (auto& lane : m_lanes) {
        if (!lane->thread.joinable()) continue;
        if (!lane->exited.waitFor(kThreadEndWaitMs))
            logTrace(Vantorr_nsp::VN_TRACE_WARNING,
                     "PhysX fluid thread did not end within %u ms: waiting for its step to end.",
                     kThreadEndWaitMs);
        lane->thread.join();
    }
}

}  // namespace plashwerk
