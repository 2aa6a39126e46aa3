#pragma once
// Perspective cameras and their manager, and screenshots of what a camera shows.

#include <cstdint>
#include <memory>
#include <vector>

#include "platform/engine/vn_object.h"

namespace Vantorr_nsp {

/// Engine events a camera answers to once switched on (setEventState).
enum vnCameraEvent {
    VN_EVENT_CAMERA_VIEW = 29,        ///< update() refreshes the view matrix from the tripod
    VN_EVENT_CAMERA_PROJECTION = 30,  ///< update() refreshes the projection matrix
    VN_EVENT_CAMERA_FRUSTUM = 31,     ///< objects outside the view frustum are not drawn
};

class vnCamera : public vnObject {
  public:
    /// The area of the render target the camera draws into, pixels from the lower left.
    void setViewport(int x, int y, int width, int height);
    void getViewport(int viewport[4]) const;
    /// Vertical field of view in degrees, width / height, near and far plane distances.
    void setProjPerspParams(float fov_deg, float aspect, float near_z, float far_z);
    float getFov() const { return m_fov; }
    float getAspect() const { return m_aspect; }
    float getNear() const { return m_near; }
    float getFar() const { return m_far; }
    void setViewParams(const vnVector3& position, const vnVector3& lookat, const vnVector3& up);

    const vnMatrix4& getViewMatrix();
    const vnMatrix4& getProjectionMatrix();
    const vnMatrix4& getInverseViewMatrix();

    void setEventState(int event, bool on);
    bool getEventState(int event) const;
    void update(float dt) override;

    /// False when the sphere lies wholly outside the view frustum (only with the frustum
    /// event on; otherwise everything is inside).
    bool sphereInFrustum(const vnVector3& centre, float radius);

    /// Reserves the memory for a screenshot of the viewport. False when the viewport is
    /// empty or the memory cannot be had.
    bool allocMemoryForScreenShot();
    /// Reads the viewport of the current render window's last frame and writes it as a
    /// JPEG file (RGB, quality 95). Allocates the memory itself when not yet done. False
    /// when nothing can be read or the file cannot be written (logged).
    bool makeScreenShot(const char* file);
    /// The first half of makeScreenShot: reads the viewport of the frame being drawn into
    /// the screenshot memory. Called before presenting, the frame is read where it was
    /// drawn, whatever the swap does with the back buffer. False (logged) when nothing
    /// can be read.
    bool captureScreenShot();
    /// The second half: writes the pixels captured last as a JPEG file. False (logged)
    /// when nothing was captured or the file cannot be written.
    bool writeScreenShot(const char* file);
    /// The pixels of the last screenshot: RGB rows from the top.
    const std::vector<uint8_t>& getScreenShotPixels() const { return m_shot; }

  private:
    friend class vnCameraMgr;
    explicit vnCamera(const char* name) : vnObject(name) {}
    void refresh();

    int m_viewport[4] = {0, 0, 0, 0};
    float m_fov = 60.0f, m_aspect = 1.0f, m_near = 1.0f, m_far = 1000.0f;
    vnMatrix4 m_view, m_projection, m_inverse_view;
    uint32_t m_view_version = ~0u;
    bool m_projection_dirty = true;
    uint32_t m_events = 0;
    vnColor m_planes[6];
    uint32_t m_frustum_version = ~0u;
    bool m_frustum_dirty = true;
    std::vector<uint8_t> m_shot;
    std::vector<uint8_t> m_shot_rows;
    int m_shot_width = 0, m_shot_height = 0;  ///< size of the captured pixels
    bool m_shot_ready = false;                ///< m_shot holds a captured frame
};

class vnCameraMgr {
  public:
    static vnCameraMgr* getInstance();
    vnCamera* createCameraPerspective(const char* name, float fov_deg, float aspect, float near_z,
                                      float far_z);
    vnCamera* getCamera(const char* name);
    void clear();

  private:
    std::vector<std::unique_ptr<vnCamera>> m_cameras;
};

}  // namespace Vantorr_nsp
