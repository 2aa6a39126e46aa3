#pragma once
// A polyline of homogeneous points (x, y, z, w), drawn as one connected line by
// vnRenderer::drawCurve. The room is fixed when the curve is made; points beyond it are
// ignored.

#include <vector>

#include "platform/engine/vn_math.h"

namespace Vantorr_nsp {

class vnCurve {
  public:
    explicit vnCurve(int capacity) : m_points(size_t(capacity > 0 ? capacity : 0)) {}

    int getCapacity() const { return int(m_points.size()); }
    /// Sets point k (0 <= k < capacity); other indices are ignored.
    void setPoint(int k, const vnColor& point) {
        if (k >= 0 && k < getCapacity()) m_points[size_t(k)] = point;
    }
    const vnColor& getPoint(int k) const { return m_points[size_t(k)]; }
    const float* data() const { return m_points.empty() ? nullptr : m_points[0].data(); }

  private:
    std::vector<vnColor> m_points;
};

}  // namespace Vantorr_nsp
