#include "app/settings_handover.h"

#include <atomic>

#include "run/run_state.h"

namespace plashwerk {

PhysicsSettings physicsSettingsFrom(const StartupOptions& o) {
    PhysicsSettings p;
    p.physx_cpu = o.physx_cpu;
    p.physx_gpu_heap_size = o.physx_gpu_heap_size;
    p.z2o_physx_gpu_mem = o.z2o_physx_gpu_mem;
    p.multithreaded_physx = o.multithreaded_physx;
    p.multicore_cpu_physx = o.multicore_cpu_physx;
    p.alt_physx_threading = o.alt_physx_threading;
    p.fluid_per_emitter = o.fluid_per_emitter;
    p.num_fluid_emitters = o.num_fluid_emitters;
    p.num_particles = o.num_particles;
    p.use_particle_count = o.use_particle_count;
    p.particles_rate = o.particles_rate;
    p.particles_rate_xtreme = o.particles_rate_xtreme;
    p.xtreme_burning = o.xtreme_burning != 0;
    p.particles_lifetime = o.particles_lifetime;
    p.use_sph = o.use_sph;
    p.physx_fluid_velocity = o.physx_fluid_velocity;
    p.physx_fluid_emitter_size = o.physx_fluid_emitter_size;
    p.preset_run = o.preset_run;
    return p;
}

RunRequest runRequestFrom(const StartupOptions& o) {
    RunRequest r;
    r.mode = runModeFrom(o.run_mode);
    r.width = o.width;
    r.height = o.height;
    r.fullscreen = o.fullscreen != 0;
    r.msaa = o.msaa;
    r.max_time_ms = o.max_time;
    r.stability_time_s = o.stability_time > 0 ? static_cast<uint32_t>(o.stability_time) : 0u;
    return r;
}

RunSettings runSettingsFrom(const StartupOptions& o) {
    RunSettings s;
    s.physics = physicsSettingsFrom(o);
    s.render.add_post_fx = o.add_post_fx;
    s.render.increase_graphx_workload = o.increase_graphx_workload;
    s.render.preset_run = o.preset_run;
    s.render.light_position[0] = o.light_pos_x;
    s.render.light_position[1] = o.light_pos_y;
    s.render.light_position[2] = o.light_pos_z;
    s.threads_sync = o.threads_sync;
    s.thread_affinity = o.thread_affinity;
    s.render_slowdown_delay = o.render_slowdown_delay;
    s.use_gpuz = o.use_gpuz;
    s.display_score = o.display_score != 0;
    s.top_left_osi_y_offset = o.top_left_osi_y_offset;
    s.display_information = o.display_information;
    s.render_scene = o.render_scene;
    s.particle_look = particleLookFrom(o.particle_type);
    return s;
}

MonitorConfig monitorConfigFrom(const StartupOptions& o) {
    MonitorConfig c;
    c.use_gpuz = o.use_gpuz;
    c.log_temperature = o.log_temperature;
    c.enable_gpu_temp_spike_filter = o.enable_gpu_temp_spike_filter;
    c.gpu_temp_spike_filter_threshold = o.gpu_temp_spike_filter_threshold;
    c.num_cpu_cores = o.num_cpu_cores;
    return c;
}

KeepSettings keepSettingsFrom(const StartupOptions& o) {
    KeepSettings k;
    k.log_score = o.log_score;
    k.results_json = o.results_json;
    k.report = o.report;
    return k;
}

JudgeSettings judgeSettingsFrom(const StartupOptions& o) {
    JudgeSettings j;
    j.max_celsius = o.max_celsius > 0 ? static_cast<float>(o.max_celsius) : 0.0f;
    return j;
}

void keepKeyTogglesInSettings(const RunState& run, StartupOptions& o) {
    o.display_information = run.display_information.load(std::memory_order_relaxed);
    o.render_scene = run.render_scene.load(std::memory_order_relaxed);
    o.particle_type = static_cast<int>(run.particle_look.load(std::memory_order_relaxed));
}

}  // namespace plashwerk
