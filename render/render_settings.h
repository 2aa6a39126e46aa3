#pragma once
// What the scene is built with: the window size and multisampling, the effects switched
// on, the light's position, what the GPU offers, and where the data images are read from.

#include <string>

namespace plashwerk {

struct RenderSettings {
    int width = 0;  ///< window client size, pixels
    int height = 0;
    int msaa = 0;            ///< samples asked for; multisampling is switched on from 1
    bool benchmark = false;  ///< benchmark mode: the progress bar is made
    bool add_post_fx = false;
    bool increase_graphx_workload = false;
    bool preset_run = false;
    float light_position[3] = {15.0f, 30.0f, 0.0f};
    /// Vendor class of the primary adapter (GPU library): 2 (AMD) takes the particle
    /// shaders that read gl_PointCoord, every other class those reading texture
    /// coordinate 0.
    int vendor_class = 0;
    /// The lava look may be used: the OpenGL of the GPU has point parameters (checked
    /// again on the render window's own context).
    bool point_parameters = true;
    /// Prepended to the "data/..." paths of the images read at run time; empty for the
    /// working directory.
    std::string data_root;
    /// The folder screenshots are written to, ending with '/'; empty for the working
    /// directory.
    std::string screenshot_folder;
};

}  // namespace plashwerk
