#pragma once
// Field-wise equality of two settings records for tests (memcmp would see padding).

#include <cstring>

#include "settings/startup_options.h"

namespace plashwerk {

inline bool sameOptions(const StartupOptions& a, const StartupOptions& b) {
#define SAME(f) (a.f == b.f)
    return SAME(show_startup_dialog) && SAME(display_menu_bar) && SAME(display_score) &&
           SAME(display_version) && SAME(width) && SAME(height) && SAME(msaa) &&
           SAME(fullscreen) && SAME(run_mode) && SAME(preset_1080) && SAME(preset_720) &&
           SAME(max_time) && SAME(max_frames) && SAME(time_based_benchmark) &&
           SAME(num_cpu_cores) && SAME(xtreme_burning) && SAME(log_temperature) &&
           SAME(log_score) && SAME(add_post_fx) && SAME(use_gpuz) &&
           SAME(display_information) && SAME(top_left_osi_y_offset) && SAME(particles_rate) &&
           SAME(particles_rate_xtreme) && SAME(num_particles) && SAME(num_total_particles) &&
           SAME(use_particle_count) && SAME(particles_lifetime) && SAME(use_sph) &&
           SAME(render_scene) && SAME(render_slowdown_delay) && SAME(physx_cpu) &&
           SAME(multithreaded_physx) && SAME(multicore_cpu_physx) && SAME(threads_sync) &&
           SAME(unlock_cpu_cores_number) && SAME(physx_mutex) && SAME(alt_physx_threading) &&
           SAME(fluid_per_emitter) && SAME(num_fluid_emitters) && SAME(physx_fluid_velocity) &&
           SAME(physx_fluid_emitter_size) && SAME(particle_type) && SAME(thread_affinity) &&
           SAME(light_pos_x) && SAME(light_pos_y) && SAME(light_pos_z) &&
           SAME(gpu_temp_spike_filter_threshold) && SAME(enable_gpu_temp_spike_filter) &&
           SAME(physx_gpu_heap_size) && SAME(increase_graphx_workload) && SAME(preset_run) &&
           SAME(display_latest_news) && SAME(z2o_physx_gpu_mem) &&
           std::strcmp(a.submit_score_user_email, b.submit_score_user_email) == 0;
#undef SAME
}

}  // namespace plashwerk
