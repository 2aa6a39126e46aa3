#pragma once
// The temperature graph: over the lower left of the scene, for each monitored GPU, a chart
// of its temperature history (2 pixels per degree above 20 °C, the newest sample at the
// right once 1000 exist) with a label giving the current, minimum and maximum.
//
// Coordinates are window-centred (origin at the window centre, y up) except the label's,
// which are window pixels from the top left as the font takes them.

#include <cstdint>
#include <memory>
#include <span>

#include "gpumon/gpu_status.h"

namespace Vantorr_nsp {
class vnCurve;
class vnFont;
}  // namespace Vantorr_nsp

namespace plashwerk {

/// Where one chart goes and what it shows, worked out without drawing.
struct GraphLayout {
    float left = 0.0f, bottom = 0.0f, right = 0.0f, top = 0.0f;
    int count = 0;          ///< points of the line
    float newest_y = 0.0f;  ///< height of the newest point
    float newest = 0.0f;    ///< the newest temperature, °C
    float label_x = 0.0f;   ///< label position in window pixels, y downwards
    float label_y = 0.0f;
};

class TemperatureGraph {
  public:
    TemperatureGraph();
    ~TemperatureGraph();
    TemperatureGraph(const TemperatureGraph&) = delete;
    TemperatureGraph& operator=(const TemperatureGraph&) = delete;

    /// Lays out the chart of `history` (oldest first, not empty) in a w x h window,
    /// y_offset pixels up; with `points`, also fills the line's points (room for
    /// history_points).
    GraphLayout layout(std::span<const TemperatureSample> history, float y_offset, int w, int h,
                       Vantorr_nsp::vnCurve* points) const;

    /// Draws the chart and label of GPU `gpu` (0-based) from its history, oldest first:
    /// the line, the axes, a dashed line at the newest temperature and the label "GPU n:
    /// ..." (n = gpu + 1, one more with an integrated main GPU). The caller sets shown_max
    /// and shown_min from the GPU's record first. False, drawing nothing, for an empty
    /// history. Needs the render window current.
    bool draw(std::span<const TemperatureSample> history, unsigned gpu, float y_offset, int w,
              int h, bool integrated_main_gpu, Vantorr_nsp::vnFont* font);

    /// The label's text for the current shown_min and shown_max.
    void formatLabel(char* out, size_t size, unsigned gpu, bool integrated_main_gpu,
                     float newest) const;

    /// Frees the curve (with the render window current).
    void release();

    int history_points = 1000;   ///< samples the chart spans
    float shown_max = 0.0f;      ///< °C printed as the maximum
    float shown_min = 0.0f;      ///< °C printed as the minimum
    float base_celsius = 20.0f;  ///< temperature at the chart's bottom edge

  private:
    std::unique_ptr<Vantorr_nsp::vnCurve> m_curve;  ///< made at the first draw
};

}  // namespace plashwerk
