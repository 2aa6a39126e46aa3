// The built program on a machine with one AMD card (a fake amdgpu sysfs tree handed over in
// PLASHWERK_SYSFS_ROOT): its hardware report in the trace log lists the card as the AMD
// back end reads it.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tests/platform/adl/fake_amdgpu.h"
#include "tests/support/files.h"

namespace {

using plashwerk::test::slurp;

TEST(AmdMachine, HardwareReportListsTheCard) {
    plashwerk::test::FakeAmdgpu tree(true, false);
    plashwerk::test::FakeAmdgpu::Card card;
    card.boot_vga = true;
    tree.addCard(card);
    tree.rdnaSensors(card);

    // The program reads its options from its own folder and writes into the working one.
    const std::string bin = tree.root() + "/run/bin", work = tree.root() + "/run/work";
    tree.write("run/work/.keep", "");
    tree.write("run/bin/startup_options.xml",
               "<plashwerk><startup_options use_particle_count=\"0\" particles_rate=\"300\" "
               "particles_lifetime=\"1.0\"/></plashwerk>");
    const std::string exe = bin + "/plashwerk";
    ASSERT_EQ(std::system(("cp '" PLASHWERK_EXE "' '" + exe + "'").c_str()), 0);
    const std::string log_path = work + "/Plashwerk_trace.log";

    const pid_t pid = fork();
    if (pid == 0) {
        if (chdir(work.c_str()) != 0) _exit(120);
        const int out = open((work + "/output").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(out, 1);
        dup2(out, 2);
        unsetenv("DISPLAY");
        unsetenv("WAYLAND_DISPLAY");
        setenv("PLASHWERK_SYSFS_ROOT", tree.root().c_str(), 1);
        setenv("PLASHWERK_NVML_LIBRARY", "/nonexistent/libnvidia-ml.so.1", 1);
        execl(exe.c_str(), exe.c_str(), "/nogui", "/run_mode=1", "/max_time=1000", nullptr);
        _exit(121);
    }
    // The report is complete once the monitoring thread starts; the run is not needed.
    bool started = false;
    while (!started) {
        started = slurp(log_path).find("GPU monitoring thread started up ok.") != std::string::npos;
        if (!started && waitpid(pid, nullptr, WNOHANG) == pid) break;
        if (!started) usleep(20000);
    }
    if (started) {
        kill(pid, SIGTERM);
        waitpid(pid, nullptr, 0);
    }
    const std::string log = slurp(log_path);
    ASSERT_TRUE(started) << log << slurp(work + "/output");

    const char* expected[] = {
        "Device ID string (main graphics card): PCI\\VEN_1002&DEV_73BF&SUBSYS_0E3A1002&REV_C1",
        "Found 1 GPUs.",
        "- GPU 1:  AMD Radeon RX 6800/6800 XT/6900 XT",
        "  - Memory size: 16368MB",
        "  - Bus ID: 3",
        "  - Bios: 113-D4120100-100/102-D41201-00",
        "  - GPU temperature: 45.0\260C",  // the degree sign: one Windows-1252 byte
        "  - Graphics driver: 3.54.0",
        "WARNING: true GPU core and memory clocks for GPU 1 are not available",
        "  - PState 0 - GPU clock: 500MHz - Memory clock: 96MHz - GPU voltage: 0.000V",
        "  - PState 0 - GPU clock: 1500MHz - Memory clock: 456MHz",
        "  - PState 0 - GPU clock: 2100MHz - Memory clock: 1000MHz",
        "  - Fan speed: 50%",
        "  - Fan speed: 1200 RPM",
        "GPU monitoring thread started up ok.",
    };
    size_t at = 0;
    for (const char* line : expected) {
        const size_t found = log.find(line, at);
        ASSERT_NE(found, std::string::npos) << "missing or out of order: " << line << "\n" << log;
        at = found;
    }
    EXPECT_EQ(log.find("GTX 600 series"), std::string::npos) << "no boost clocks on AMD";
}

}  // namespace
