#pragma once
// Shared pieces of the GPU monitoring tests: the NVML double and the trace log's lines,
// beside the fake sysfs tree and the file helpers that all tests share.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "platform/engine/vn_trace_mgr.h"
#include "platform/nvapi/nvml_api.h"
#include "tests/platform/nvapi/fake_nvml.h"
#include "tests/platform/sysfs/fake_sysfs.h"
#include "tests/support/blocking.h"
#include "tests/support/files.h"

namespace plashwerk::test {

/// The NVML double loaded through PLASHWERK_NVML_LIBRARY, reset on both ends of a test.
class NvmlDouble {
  public:
    explicit NvmlDouble(const char* path = FAKE_NVML_LIBRARY) : m_nvml(path) {
        setenv("PLASHWERK_NVML_LIBRARY", path, 1);
        m_nvml.reset();
    }
    ~NvmlDouble() {
        m_nvml.reset();
        unsetenv("PLASHWERK_NVML_LIBRARY");
    }
    FakeNvml* operator->() { return &m_nvml; }
    /// Adds the double's standard GPU with a bus and device id of the caller's.
    FakeNvmlGpu& add(unsigned bus, unsigned device_id = 0x2484) {
        FakeNvmlGpu g = m_nvml.default_gpu();
        g.bus = bus;
        g.pci_device_id = device_id << 16 | 0x10DE;
        return *m_nvml.gpu(m_nvml.add_gpu(&g));
    }

  private:
    FakeNvml m_nvml;
};

/// The engine trace log redirected into a folder; lines() gives the messages without
/// their time and level prefix.
class TraceCapture {
  public:
    TraceCapture() {
        auto& trace = Vantorr_nsp::vnTraceMgr::instance();
        trace.setTraceLevel(Vantorr_nsp::VN_TRACE_INFO);
        trace.setLogFileName((m_folder.folder() + "test_").c_str());
    }
    ~TraceCapture() { Vantorr_nsp::vnTraceMgr::instance().close(); }

    std::vector<std::string> lines() const {
        std::vector<std::string> out;
        std::istringstream in(slurp(Vantorr_nsp::vnTraceMgr::instance().logFileName()));
        std::string line;
        while (std::getline(in, line)) {
            const size_t end_of_prefix = line.find("] ");
            out.push_back(end_of_prefix == std::string::npos ? line
                                                             : line.substr(end_of_prefix + 2));
        }
        return out;
    }

  private:
    TempFolder m_folder{"plashwerk_gpumon"};
};

}  // namespace plashwerk::test
