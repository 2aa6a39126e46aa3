#pragma once
// Screenshots of the presented frame, numbered in their folder (the working directory
// unless told otherwise).
//
// Contents:
//   nextScreenshotName: the next free name from a counter
//   Screenshots: the counter and the capture between reading a frame and writing it

#include <cstdint>
#include <string>
#include <utility>

namespace Vantorr_nsp {
class vnCamera;
}

namespace plashwerk {

/// The next free screenshot name in `folder` (ending with '/') from `counter` on:
/// "./plashwerk_NNNNNN.jpg", and while a file of that name exists, the counter goes up and
/// the name becomes "./Plashwerk_NNNNNN.jpg". The counter is left at the free name's number.
std::string nextScreenshotName(uint32_t& counter, const std::string& folder = "./");

class Screenshots {
  public:
    /// Screenshots go to `folder` (ending with '/'), made when the first one is written;
    /// empty for the working directory.
    explicit Screenshots(std::string folder = {}) : m_folder(std::move(folder)) {}

    /// Reads the frame `camera` draws into (before presenting). False without a camera or
    /// when it cannot be read.
    bool capture(Vantorr_nsp::vnCamera* camera);
    /// Writes the captured frame under the next free name and counts it (after
    /// presenting). False without a camera or capture, or when the file cannot be written
    /// (logged; the run goes on).
    bool write(Vantorr_nsp::vnCamera* camera);

    const std::string& lastName() const { return m_last_name; }
    /// The number the next name is looked for from.
    uint32_t counter() const { return m_counter; }

  private:
    std::string m_folder;
    uint32_t m_counter = 0;
    std::string m_last_name;
    bool m_captured = false;
};

}  // namespace plashwerk
