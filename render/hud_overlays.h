#pragma once
// What is drawn over the scene in window pixels: the two logos, the benchmark's progress
// bar, and the on-screen information (the temperature graph of each monitored GPU, then
// the text lines) in the HUD font.
//
// Contents:
//   GraphSource: one GPU's history as its graph draws it
//   HudOverlays
//     construction, after the fluids: createLogos, createProgressBar (benchmark only),
//       createFont
//     per frame: growProgressBar, drawProgressBar, drawLogos, drawOnScreenInformation,
//       drawOverlayLines
//     release
//     what the run and the tests read: font, the quads, temperatureGraph
//
// HUD coordinates have their origin at the window centre, y up; text positions are pixels
// from the top left. The font and the graph's curve are owned here and the quads freed by
// release; the quads' materials and textures belong to the engine's managers, which the
// scene's owner clears after release.

#include <memory>
#include <span>
#include <vector>

#include "render/on_screen_information.h"
#include "render/temperature_graph.h"

namespace Vantorr_nsp {
class vnFont;
class vnQuad;
}  // namespace Vantorr_nsp

namespace plashwerk {

/// One GPU's temperature graph as the on-screen information draws it: the record's
/// history (oldest first; empty draws nothing) and its maximum and minimum.
struct GraphSource {
    std::span<const TemperatureSample> history;
    float max_celsius = 0.0f;
    float min_celsius = 0.0f;
};

class HudOverlays {
  public:
    HudOverlays();
    ~HudOverlays();
    HudOverlays(const HudOverlays&) = delete;
    HudOverlays& operator=(const HudOverlays&) = delete;

    // --- Construction ----------------------------------------------------------------------
    /// The program's logo at the bottom left and the physics logo at the bottom right of a
    /// width x height window; a logo whose picture cannot be read is left out.
    void createLogos(int width, int height);
    /// The bar's frame across the window 30 pixels below its top, and the bar, one pixel
    /// wide at the left, that growProgressBar lengthens.
    void createProgressBar(int width, int height);
    /// The 12-pixel Arial font of the text; without a face file no text is drawn.
    void createFont();
    /// Frees the font, the graph's curve, the bar and the logos, in reverse order. Safe
    /// when nothing was made.
    void release();

    // --- Per frame -------------------------------------------------------------------------
    /// Moves the right-hand end of the progress bar right by step pixels.
    void growProgressBar(float step);
    void drawProgressBar() const;
    void drawLogos() const;
    /// With display_information set: with show_temperature_graph, the graph of each
    /// monitored GPU (graphs[i], 200 pixels above the previous, at most kOverlayMaxGpus),
    /// then the text lines of buildOverlayLines, in a width x height window.
    void drawOnScreenInformation(const OverlayInput& input, std::span<const GraphSource> graphs,
                                 int width, int height);
    /// Lines of text in the font, between one beginText and endText.
    void drawOverlayLines(std::span<const OverlayLine> lines) const;

    Vantorr_nsp::vnFont* font() const { return m_font.get(); }
    Vantorr_nsp::vnQuad* logo() const { return m_logo; }
    Vantorr_nsp::vnQuad* physicsLogo() const { return m_physics_logo; }
    Vantorr_nsp::vnQuad* progressBar() const { return m_progress_bar; }
    const TemperatureGraph& temperatureGraph() const { return m_temperature_graph; }

  private:
    struct FontRelease {
        void operator()(Vantorr_nsp::vnFont* font) const;
    };

    Vantorr_nsp::vnQuad* m_logo = nullptr;
    Vantorr_nsp::vnQuad* m_physics_logo = nullptr;
    Vantorr_nsp::vnQuad* m_progress_bar_frame = nullptr;
    Vantorr_nsp::vnQuad* m_progress_bar = nullptr;
    std::unique_ptr<Vantorr_nsp::vnFont, FontRelease> m_font;
    TemperatureGraph m_temperature_graph;
    std::vector<OverlayLine> m_overlay_lines;  ///< this frame's text, room kept between frames
};

}  // namespace plashwerk
