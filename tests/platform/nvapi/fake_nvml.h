#pragma once
// Scripting interface of the NVML test double (fake_nvml.cpp), a shared library loaded by
// the NVAPI layer through PLASHWERK_NVML_LIBRARY. Tests open the same file themselves
// (FakeNvml below) and script the readings each NVML call answers.

#include <dlfcn.h>

#include <stdexcept>
#include <string>

extern "C" {

/// One scripted GPU. Clocks in MHz, power in mW, memory in bytes.
struct FakeNvmlGpu {
    char name[96];
    char vbios[32];
    unsigned domain, bus, device;
    unsigned pci_device_id;     ///< device << 16 | vendor
    unsigned pci_subsystem_id;  ///< subsystem device << 16 | subsystem vendor
    unsigned brand;
    unsigned temperature;         ///< °C
    unsigned memory_temperature;  ///< °C, 0 = no memory sensor
    unsigned util_gpu, util_memory, util_encoder;
    unsigned long long memory_total, memory_free;
    unsigned fans, fan_percent, fan_rpm;
    unsigned clock_graphics, clock_sm, clock_memory, clock_video;  ///< current
    unsigned base_graphics, base_memory;                           ///< default application clocks
    unsigned boost_graphics, boost_memory;                         ///< customer boost maximum
    unsigned max_graphics, max_memory;                             ///< maximum clocks
    unsigned power_mw, default_limit_mw, enforced_limit_mw;
    unsigned pstate;  ///< current; 32 = unknown
    unsigned pstate_count;
    unsigned pstates[16];
    unsigned pstate_graphics[16], pstate_memory[16], pstate_sm[16];  ///< top of each state's range
    unsigned cores;
    /// Clocks event reasons, one entry per reading: the n-th call answers
    /// reasons[min(n, reason_count - 1)]; 0 entries answer 0 (no reason).
    unsigned reason_count;
    unsigned reason_reads;  ///< calls answered so far
    unsigned long long reasons[64];
};

typedef void (*FakeNvmlResetFn)(void);
typedef int (*FakeNvmlAddGpuFn)(const FakeNvmlGpu*);
typedef FakeNvmlGpu* (*FakeNvmlGpuFn)(int);
typedef void (*FakeNvmlSetTextFn)(const char*);
typedef void (*FakeNvmlFailFn)(const char*, int);
typedef int (*FakeNvmlCountFn)(void);
typedef FakeNvmlGpu (*FakeNvmlDefaultGpuFn)(void);
}

/// The double's scripting functions, resolved from the library file.
struct FakeNvml {
    void* handle = nullptr;
    FakeNvmlResetFn reset = nullptr;     ///< no GPUs, nothing failing, driver "445.23"
    FakeNvmlAddGpuFn add_gpu = nullptr;  ///< returns the GPU's index
    FakeNvmlGpuFn gpu = nullptr;         ///< the scripted GPU, to change its readings
    FakeNvmlSetTextFn set_driver_version = nullptr;
    FakeNvmlFailFn fail = nullptr;               ///< fail(function, status); status 0 clears
    FakeNvmlCountFn init_count = nullptr;        ///< nvmlInit_v2 calls not yet shut down
    FakeNvmlDefaultGpuFn default_gpu = nullptr;  ///< a complete GPU to start from

    explicit FakeNvml(const std::string& path) {
        handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!handle) throw std::runtime_error("cannot open " + path);
        reset = reinterpret_cast<FakeNvmlResetFn>(dlsym(handle, "fake_nvml_reset"));
        add_gpu = reinterpret_cast<FakeNvmlAddGpuFn>(dlsym(handle, "fake_nvml_add_gpu"));
        gpu = reinterpret_cast<FakeNvmlGpuFn>(dlsym(handle, "fake_nvml_gpu"));
        set_driver_version =
            reinterpret_cast<FakeNvmlSetTextFn>(dlsym(handle, "fake_nvml_set_driver_version"));
        fail = reinterpret_cast<FakeNvmlFailFn>(dlsym(handle, "fake_nvml_fail"));
        init_count = reinterpret_cast<FakeNvmlCountFn>(dlsym(handle, "fake_nvml_init_count"));
        default_gpu =
            reinterpret_cast<FakeNvmlDefaultGpuFn>(dlsym(handle, "fake_nvml_default_gpu"));
        if (!reset || !add_gpu || !gpu || !set_driver_version || !fail || !init_count ||
            !default_gpu)
            throw std::runtime_error("incomplete NVML double " + path);
    }
    ~FakeNvml() {
        if (handle) dlclose(handle);
    }
    FakeNvml(const FakeNvml&) = delete;
    FakeNvml& operator=(const FakeNvml&) = delete;
};
