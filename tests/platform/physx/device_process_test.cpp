// A short headless benchmark of the whole program with its physics on the OpenCL device
// (the CPU device, asked for through PLASHWERK_OPENCL_DEVICE): the results say "GPU PhysX"
// and the start-up check logs the device it found.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "platform/physx/opencl/cl_runtime.h"

namespace {

std::string slurp(const std::string& path) {
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

TEST(DeviceProcess, HeadlessBenchmarkRunsItsPhysicsOnTheDevice) {
    setenv("PLASHWERK_OPENCL_DEVICE", "cpu", 1);
    if (nxsdk::findPhysicsDevices().empty()) GTEST_SKIP() << "no OpenCL device";
    char pattern[] = "/tmp/plashwerk_device_XXXXXX";
    const std::string dir = mkdtemp(pattern);
    const std::string bin = dir + "/bin", work = dir + "/work";
    ASSERT_EQ(mkdir(bin.c_str(), 0755), 0);
    ASSERT_EQ(mkdir(work.c_str(), 0755), 0);
    ASSERT_EQ(symlink(PLASHWERK_DATA_DIR, (work + "/data").c_str()), 0);
    ASSERT_EQ(std::system(("cp '" PLASHWERK_EXE "' '" + bin + "/plashwerk'").c_str()), 0);
    // Physics on the GPU, few particles living briefly, nothing drawn.
    std::ofstream(bin + "/startup_options.xml")
        << "<plashwerk><startup_options physx_cpu=\"0\" use_particle_count=\"0\" "
           "particles_rate=\"100\" particles_lifetime=\"0.3\" render_scene=\"0\"/></plashwerk>";
    const std::string command =
        "cd '" + work +
        "' && env -u DISPLAY -u WAYLAND_DISPLAY timeout 600 ../bin/plashwerk "
        "/nogui /run_mode=1 /max_time=1500 /width=320 /height=240 "
        ">stdout 2>stderr";
    const int status = std::system(command.c_str());
    const std::string out = slurp(work + "/stdout"), log = slurp(work + "/Plashwerk_trace.log");
    std::system(("rm -rf '" + dir + "'").c_str());
    ASSERT_EQ(status, 0) << out;
    EXPECT_NE(out.find("GPU PhysX"), std::string::npos) << out;
    EXPECT_EQ(out.find("CPU PhysX"), std::string::npos) << out;
    EXPECT_NE(log.find("found 1 PhysX GPU(s)"), std::string::npos) << log;
    EXPECT_NE(log.find("PhysX hardware detected"), std::string::npos) << log;
    EXPECT_EQ(log.find("crash detected"), std::string::npos) << log;
}

}  // namespace
