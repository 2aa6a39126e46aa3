#pragma once
// The placement every scene object carries (vnTripod: position, look-at point, up vector)
// and the base of cameras, lights and meshes (vnObject).

#include <cstdint>
#include <string>

#include "platform/engine/vn_math.h"

namespace Vantorr_nsp {

class vnTripod {
  public:
    void setPosition(const vnVector3& p) {
        m_position = p;
        ++m_version;
    }
    void setPosition(float x, float y, float z) { setPosition(vnVector3{x, y, z}); }
    void setLookatPoint(const vnVector3& p) {
        m_lookat = p;
        ++m_version;
    }
    void setLookatPoint(float x, float y, float z) { setLookatPoint(vnVector3{x, y, z}); }
    void setUpVector(const vnVector3& u) {
        m_up = u;
        ++m_version;
    }
    const vnVector3& getPosition() const { return m_position; }
    const vnVector3& getLookatPoint() const { return m_lookat; }
    const vnVector3& getUpVector() const { return m_up; }
    /// The view matrix of an eye at the position looking at the look-at point.
    vnMatrix4 getViewMatrix() const { return vnMatrix4::lookAt(m_position, m_lookat, m_up); }
    /// Grows with every change, so dependants can tell when to recompute.
    uint32_t version() const { return m_version; }

  private:
    vnVector3 m_position{0, 0, 0};
    vnVector3 m_lookat{0, 0, -1};
    vnVector3 m_up{0, 1, 0};
    uint32_t m_version = 0;
};

/// Options of an object (setOptionsState).
enum vnObjectOption {
    VN_OPTION_VISIBLE = 0,       ///< drawn at all
    VN_OPTION_CAST_SHADOWS = 1,  ///< drawn into shadow maps
    VN_OPTION_LIGHTED = 2,       ///< drawn in the per-light passes
};

class vnObject {
  public:
    virtual ~vnObject() = default;

    const std::string& getName() const { return m_name; }
    vnTripod* getTripod() { return &m_tripod; }
    const vnTripod* getTripod() const { return &m_tripod; }
    void setPosition(const vnVector3& p) { m_tripod.setPosition(p); }
    void setPosition(float x, float y, float z) { m_tripod.setPosition(x, y, z); }
    const vnVector3& getPosition() const { return m_tripod.getPosition(); }
    void setLookatPoint(const vnVector3& p) { m_tripod.setLookatPoint(p); }

    /// option: vnObjectOption. Every option starts on.
    void setOptionsState(int option, bool on) {
        if (option < 0 || option > 31) return;
        if (on)
            m_options |= 1u << option;
        else
            m_options &= ~(1u << option);
    }
    bool getOptionsState(int option) const {
        return option >= 0 && option < 32 && (m_options & (1u << option));
    }

    /// Advances the object by dt seconds (cameras refresh their matrices here).
    virtual void update(float dt) { (void)dt; }

  protected:
    explicit vnObject(const char* name) : m_name(name ? name : "") {}
    std::string m_name;
    vnTripod m_tripod;
    uint32_t m_options = ~0u;
};

}  // namespace Vantorr_nsp
