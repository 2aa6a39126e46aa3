#include "results/scores_csv.h"

#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/engine/vn_trace_mgr.h"
#include "platform/file/regular_file.h"
#include "platform/program/program_info.h"
#include "results/write_all_internal.h"

namespace plashwerk {
namespace {

const char* yesNo(bool on) {
    return on ? "YES" : "NO";
}

void reportFailure(const char* path, int error) {
    Vantorr_nsp::logTrace(Vantorr_nsp::VN_TRACE_ERROR, "Could not append the scores row to %s: %s",
                          path, std::strerror(error));
    std::fprintf(stderr, "%s: could not append the scores row to %s: %s\n", kAppName, path,
                 std::strerror(error));
}

// The last byte of the file, or 0 when it cannot be read (a file that is not empty but
// unreadable is then taken as ending its line, and the row goes straight after it).
char lastByte(const char* path, off_t size) {
    const int fd = openRegularFile(path, FileAccess::Read);
    if (fd < 0) return 0;
    char byte = 0;
    ssize_t n;
    do {
        n = pread(fd, &byte, 1, size - 1);
    } while (n < 0 && errno == EINTR);
    close(fd);
    return n == 1 ? byte : 0;
}

}  // namespace

const std::string& scoresHeader() {
    static const std::string header =
        "Renderer,Driver,GPU clock(MHz),Memory clock(MHz),MSAA,Width,Height,Fullscreen,"
        "Is time based,Max time,Max frames,GPU temp start(\xB0"
        "C),GPU temp end(\xB0"
        "C),GPU temp max(\xB0"
        "C),AVG FPS,MIN FPS,MAX FPS,Particles\n";
    return header;
}

std::string csvField(const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
    std::string quoted = "\"";
    for (const char c : text) {
        if (c == '"') quoted += '"';
        quoted += c;
    }
    quoted += '"';
    return quoted;
}

std::string formatScoresRow(const RunRecord& r) {
    const RunResult& result = r.result;
    // Column 11 ("Max frames") has always held the global score; scripts read it so.
    char numbers[512];
    std::snprintf(
        numbers, sizeof numbers, ",%.2f,%.2f,%d,%d,%d,%s,%s,%d,%d,%.2f,%.2f,%.2f,%d,%d,%d,%d\n",
        static_cast<double>(r.core_clock_max_mhz), static_cast<double>(r.memory_clock_max_mhz),
        r.msaa_samples, r.width, r.height, yesNo(r.fullscreen), yesNo(r.time_based),
        static_cast<int>(r.max_time_ms), result.global_score,
        static_cast<double>(result.start_temperature), static_cast<double>(result.end_temperature),
        static_cast<double>(r.run_max_celsius), result.fps_avg, result.fps_min, result.fps_max,
        r.num_particles);
    return csvField(r.renderer) + "," + csvField(r.driver) + numbers;
}

bool appendScoresRow(const char* path, const RunRecord& record) {
    const int fd = openRegularFile(path, FileAccess::Append);
    if (fd < 0) {
        reportFailure(path, errno);
        return false;
    }
    // Two programs finishing at once must not both find the file empty and both write the
    // header: the check and the write happen under an exclusive lock.
    while (flock(fd, LOCK_EX) != 0 && errno == EINTR) {
    }
    int error = 0;
    struct stat info {};
    if (fstat(fd, &info) != 0) error = errno;
    std::string text;
    if (error == 0) {
        if (info.st_size == 0) {
            text = scoresHeader();
        } else {
            const char last = lastByte(path, info.st_size);
            if (last != '\n' && last != 0) text = "\n";
        }
        text += formatScoresRow(record);
        error = writeAllBytes(fd, text.data(), text.size());
        // A row cut short by a full disk would run into the next one: take it back.
        if (error != 0 && ftruncate(fd, info.st_size) != 0)
            Vantorr_nsp::logTrace(Vantorr_nsp::VN_TRACE_ERROR,
                                  "The scores file %s may end with a partial row.", path);
    }
    if (close(fd) != 0 && error == 0) error = errno;
    if (error != 0) reportFailure(path, error);
    return error == 0;
}

}  // namespace plashwerk
