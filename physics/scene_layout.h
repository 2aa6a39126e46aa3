#pragma once
// Where everything of the scene stands, computed once by the physics and read by both the
// collision actors and the visible meshes, so the fluid meets the surfaces that are drawn.
//
// Contents:
//   GroundPlane, SphereObstacle, ObstacleLayout: the ground, spheres, pillar and box sizes
//   EmitterPlacement: one emitter's box on the circle and its tilt
//   SceneLayout: the fluids' plan, the obstacles and every emitter's placement
//   placeEmitters

#include <array>
#include <cstdint>
#include <vector>

#include "physics/fluid_layout.h"
#include "platform/physx/nx_foundation.h"

namespace plashwerk {

/// The ground as a plane a x + b y + c z + d = 0 through position.
struct GroundPlane {
    float equation[4] = {0.0f, 1.0f, 0.0f, 0.0f};
    NxVec3 position{0.0f, 0.0f, 0.0f};
};

struct SphereObstacle {
    NxVec3 position;
    float radius = 1.0f;  ///< metres
};

/// The fixed obstacles and the boxes under the emitters, in metres.
struct ObstacleLayout {
    GroundPlane ground;  ///< the plane y = 0 through the origin
    std::array<SphereObstacle, 4> spheres{{
        {{5.0f, 8.5f, -0.5f}, 2.0f},
        {{2.0f, 5.0f, 8.0f}, 3.0f},
        {{6.0f, 7.0f, -6.0f}, 3.0f},
        {{-1.0f, 3.8f, 1.5f}, 4.0f},
    }};
    NxVec3 pillar_size{2.0f, 8.0f, 2.0f};  ///< full width, height and depth of the pillar
    float pillar_x = 0.0f;                 ///< the pillar stands on the ground here
    float pillar_z = -4.0f;
    NxVec3 emitter_box_size{0.5f, 1.0f, 0.5f};  ///< full size of the box under each emitter
    float emitter_circle_radius = 15.0f;        ///< the emitter boxes stand on this circle
    float emitter_box_y = 0.5f;  ///< centre height of an emitter box: it sits on y = 0

    /// Centre of the pillar: it stands on the ground.
    NxVec3 pillarPosition() const { return {pillar_x, pillar_size.y / 2.0f, pillar_z}; }
};

/// One emitter: the centre of the box it stands on, and its tilt.
struct EmitterPlacement {
    NxVec3 box_position;
    EmitterTilt tilt;
};

struct SceneLayout {
    FluidLayout fluids;  ///< scenes, fluids and emitters as planned
    ObstacleLayout obstacles;
    /// Every emitter of every existing fluid, in creation order (simulation by simulation,
    /// fluid by fluid): one visible box and one frame actor each. Empty until the fluids
    /// exist.
    std::vector<EmitterPlacement> emitters;
};

/// The first count places of total_emitters spread evenly on the obstacles' emitter circle:
/// the angle starts at 0 and grows by 360 / total_emitters degrees (in float, added up) from
/// one emitter to the next.
std::vector<EmitterPlacement> placeEmitters(uint32_t total_emitters, uint32_t count,
                                            const ObstacleLayout& obstacles);

}  // namespace plashwerk
