#include "render/temperature_graph.h"

#include <algorithm>
#include <cstdio>

#include "platform/engine/vantorr.h"
#include "platform/engine/vn_curve.h"
#include "platform/engine/vn_font.h"
#include "render/on_screen_information.h"

namespace plashwerk {

using Vantorr_nsp::vnColor;
using Vantorr_nsp::vnRenderer;
using Vantorr_nsp::vnVector3;

namespace {

constexpr float kPixelsPerDegree = 2.0f;
constexpr float kDepth = -1.0f;  // inside the 0.1 .. 10 depth range of the 2D projection
constexpr vnColor kLineColor{1.0f, 0.7f, 0.2f, 1.0f};
constexpr vnColor kAxisColor{0.1f, 0.6f, 0.7f, 1.0f};
constexpr vnColor kAxisTopColor{1.0f, 0.6f, 0.0f, 1.0f};
constexpr vnColor kLevelColor{0.5f, 0.5f, 0.5f, 1.0f};

}  // namespace

TemperatureGraph::TemperatureGraph() = default;
TemperatureGraph::~TemperatureGraph() = default;

void TemperatureGraph::release() {
    m_curve.reset();
}

GraphLayout TemperatureGraph::layout(std::span<const TemperatureSample> history, float y_offset,
                                     int w, int h, Vantorr_nsp::vnCurve* points) const {
    GraphLayout g;
    g.left = float(-(w / 2) + 170);
    g.right = float(w / 2 - 10);
    g.bottom = float(-(h / 2) + 20) + y_offset;
    g.top = float(-(h / 2) + 200) + y_offset;
    const size_t n = history.size();
    const size_t span = size_t(std::max(history_points, 1));
    const size_t first = n > span ? n - span : 0;
    g.count = int(std::min(span, n));
    const float step = (g.right - g.left) / float(span);
    float x = g.left, y = g.bottom;
    for (int k = 0; k < g.count; ++k) {
        const float t = history[first + size_t(k)].celsius;
        x += step;
        y = g.bottom + kPixelsPerDegree * std::max(0.0f, t - base_celsius);
        if (points) points->setPoint(k, vnColor{x, y, kDepth, 1.0f});
    }
    g.newest_y = y;
    g.newest = n ? history[n - 1].celsius : 0.0f;
    g.label_x = float(w / 2) + g.left + 20.0f;
    g.label_y = float(h / 2) - (y + 20.0f);
    return g;
}

void TemperatureGraph::formatLabel(char* out, size_t size, unsigned gpu, bool integrated_main_gpu,
                                   float newest) const {
    const unsigned number = gpu + 1 + (integrated_main_gpu ? 1 : 0);
    std::snprintf(out, size,
                  "GPU %u: %d\xB0"
                  "C (min: %d\xB0"
                  "C - max: %d\xB0"
                  "C)",
                  number, truncateReading(newest), truncateReading(shown_min),
                  truncateReading(shown_max));
}

bool TemperatureGraph::draw(std::span<const TemperatureSample> history, unsigned gpu,
                            float y_offset, int w, int h, bool integrated_main_gpu,
                            Vantorr_nsp::vnFont* font) {
    vnRenderer* r = vnRenderer::getInstance();
    if (history.empty() || !r) return false;
    if (!m_curve) {
        m_curve = std::make_unique<Vantorr_nsp::vnCurve>(std::max(history_points, 1));
        shown_max = shown_min = history.front().celsius;
    }
    const GraphLayout g = layout(history, y_offset, w, h, m_curve.get());
    const float left = g.left, right = g.right, bottom = g.bottom, top = g.top;

    r->begin2D(w, h, 0.1f, 10.0f);
    r->setLineWidth(2.0f);
    r->drawCurve(m_curve.get(), g.count, kLineColor);
    r->setLineWidth(1.0f);
    if (g.newest < shown_min) shown_min = g.newest;

    // Axes, 2 pixels wide and solid; then the newest temperature's level, dashed.
    r->setLineWidth(2.0f);
    r->setLineStipple(false, 1, 0xFFFF);
    r->drawLine(vnVector3{left, bottom, kDepth}, kAxisColor, vnVector3{right, bottom, kDepth},
                kAxisColor);
    r->drawLine(vnVector3{left, bottom, kDepth}, kAxisColor, vnVector3{left, top, kDepth},
                kAxisTopColor);
    r->setLineWidth(1.0f);
    r->setLineStipple(true, 1, 0xF0F0);
    r->drawLine(vnVector3{left, g.newest_y, kDepth}, kLevelColor,
                vnVector3{right, g.newest_y, kDepth}, kLevelColor);
    r->setLineStipple(false, 1, 0xFFFF);
    if (g.newest > shown_max) shown_max = g.newest;
    r->end2D();

    if (font) {
        char label[kOverlayTextBytes];
        formatLabel(label, sizeof label, gpu, integrated_main_gpu, g.newest);
        r->beginText();
        font->setText("%s", label);
        font->setPosition(g.label_x, g.label_y);
        font->setColor(1.0f, 1.0f, 1.0f);
        font->setStyle(0);
        r->drawText(font);
        r->endText();
    }
    return true;
}

}  // namespace plashwerk
