#include "physics/scene_layout.h"

namespace plashwerk {

std::vector<EmitterPlacement> placeEmitters(uint32_t total_emitters, uint32_t count,
                                            const ObstacleLayout& obstacles) {
    std::vector<EmitterPlacement> placements;
    placements.reserve(count);
    const float step = emitterAngleStep(total_emitters);
    float angle = 0.0f;
    for (uint32_t e = 0; e < count; ++e) {
        placements.push_back(
            {emitterFramePosition(angle, obstacles.emitter_circle_radius, obstacles.emitter_box_y),
             emitterTilt(angle)});
        angle += step;
    }
    return placements;
}

}  // namespace plashwerk
