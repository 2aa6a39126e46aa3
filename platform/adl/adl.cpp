// ADL over the amdgpu driver's sysfs files. Each call checks its arguments and its
// adapter, reads the files it needs afresh and converts them to ADL's units and layouts.

#include "platform/adl/adl.h"

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <set>
#include <vector>

#include "platform/adl/amdgpu_sysfs.h"

namespace {

using plashwerk::amdgpu::Card;
using plashwerk::amdgpu::DpmTable;
using plashwerk::amdgpu::OdTable;
using plashwerk::amdgpu::Temperature;
namespace gpu = plashwerk::amdgpu;

using Cards = std::shared_ptr<const std::vector<Card>>;

struct AdlContext {
    ADL_MAIN_MALLOC_CALLBACK callback = nullptr;
    Cards cards;
};

// The adapter list is read when ADL is created and stays fixed until it is destroyed;
// calls copy the pointer under the lock and read the list without it.
struct AdlState {
    std::mutex mutex;
    ADL_MAIN_MALLOC_CALLBACK callback = nullptr;
    Cards cards;  // of the ADL_ calls; null until ADL_Main_Control_Create
    std::set<AdlContext*> contexts;
};

AdlState& state() {
    static AdlState s;
    return s;
}

char g_library_token;

// Copies a text into a fixed ADL buffer, cut to fit.
template <size_t N>
void copyText(char (&out)[N], const std::string& text) {
    std::snprintf(out, N, "%s", text.c_str());
}

Cards mainCards() {
    std::lock_guard lock(state().mutex);
    return state().cards;
}

// The adapter list and allocator of a live context; false for anything else.
bool contextOf(ADL_CONTEXT_HANDLE handle, Cards& cards, ADL_MAIN_MALLOC_CALLBACK* callback) {
    AdlState& s = state();
    std::lock_guard lock(s.mutex);
    auto* context = static_cast<AdlContext*>(handle);
    if (!context || s.contexts.count(context) == 0) return false;
    cards = context->cards;
    if (callback) *callback = context->callback;
    return true;
}

Cards scanOrNull() {
    auto cards = std::make_shared<std::vector<Card>>();
    if (!gpu::driverPresent() || !gpu::scanCards(*cards)) return nullptr;
    return cards;
}

// The adapter at index; its status is ADL_OK, or why its sensors cannot be read (the card
// is still there for the calls that describe it when the driver is not amdgpu).
struct Adapter {
    int status = ADL_ERR_NOT_INIT;
    const Card* card = nullptr;
    Cards keep;
};

Adapter adapterOf(const Cards& cards, int index) {
    Adapter a;
    a.keep = cards;
    if (!cards) return a;
    if (index < 0 || static_cast<size_t>(index) >= cards->size()) {
        a.status = ADL_ERR_INVALID_ADL_IDX;
        return a;
    }
    a.card = &(*cards)[static_cast<size_t>(index)];
    a.status = a.card->amdgpu() ? ADL_OK : ADL_ERR_DISABLED_ADAPTER;
    return a;
}

Adapter mainAdapter(int index) {
    return adapterOf(mainCards(), index);
}

Adapter contextAdapter(ADL_CONTEXT_HANDLE context, int index,
                       ADL_MAIN_MALLOC_CALLBACK* callback = nullptr) {
    Cards cards;
    if (!contextOf(context, cards, callback)) {
        Adapter a;
        a.status = ADL_ERR_INVALID_PARAM;
        return a;
    }
    return adapterOf(cards, index);
}

int overdriveVersion(const Card& card) {
    if (!card.amdgpu()) return 0;
    // A sensor that reads garbage for a moment does not change the card's generation.
    if (gpu::hasTemperatureSensor(gpu::hwmonDir(card))) return 8;
    DpmTable table;
    return gpu::readDpmTable(card, "pp_dpm_sclk", table) ? 7 : 0;
}

void fillAdapterInfo(const Card& card, int index, AdapterInfo& info) {
    std::memset(&info, 0, sizeof info);
    info.iSize = sizeof(AdapterInfo);
    info.iAdapterIndex = index;
    const std::string id = card.idText();
    copyText(info.strUDID, id + "\\" + card.address);
    info.iBusNumber = card.bus;
    info.iDeviceNumber = card.slot;
    info.iFunctionNumber = card.function;
    info.iVendorID = static_cast<int>(card.vendor);
    copyText(info.strAdapterName, card.name);
    copyText(info.strDisplayName, card.card_node);
    info.iPresent = info.iExist = card.amdgpu() ? 1 : 0;
    copyText(info.strDriverPath,
             "\\Registry\\Machine\\System\\CurrentControlSet\\Control\\Class\\{" + card.address +
                 "}\\0000");
    copyText(info.strDriverPathExt, "{" + card.address + "}\\0000");
    copyText(info.strPNPString, id);
    info.iOSDisplayIndex = index;
}

int numberOfAdapters(const Cards& cards, int* count) {
    if (!count) return ADL_ERR_NULL_POINTER;
    if (!cards) return ADL_ERR_NOT_INIT;
    *count = static_cast<int>(cards->size());
    return ADL_OK;
}

int adapterInfos(const Cards& cards, LPAdapterInfo info, int bytes) {
    if (!info) return ADL_ERR_NULL_POINTER;
    if (!cards) return ADL_ERR_NOT_INIT;
    if (bytes < static_cast<int>(sizeof(AdapterInfo))) return ADL_ERR_INVALID_PARAM_SIZE;
    const size_t room = static_cast<size_t>(bytes) / sizeof(AdapterInfo);
    for (size_t i = 0; i < std::min(room, cards->size()); ++i)
        fillAdapterInfo((*cards)[i], static_cast<int>(i), info[i]);
    return ADL_OK;
}

int activeStatus(const Adapter& a, int* status) {
    if (!status) return ADL_ERR_NULL_POINTER;
    if (!a.card) return a.status;
    *status = a.card->amdgpu() && !a.card->card_node.empty() ? 1 : 0;
    return ADL_OK;
}

int overdriveCaps(const Adapter& a, int* supported, int* enabled, int* version) {
    if (!supported || !enabled || !version) return ADL_ERR_NULL_POINTER;
    if (!a.card) return a.status;
    const int v = overdriveVersion(*a.card);
    *supported = *enabled = v > 0 ? 1 : 0;
    *version = v;
    return ADL_OK;
}

// Clocks and levels shared by the calls that report the current state.
struct CurrentState {
    int engine_mhz = 0, memory_mhz = 0, vddc_mv = 0, activity = 0;
    int engine_level = 0, memory_level = 0;
    int bus_speed = 0, lanes = 0, max_lanes = 0;
};

// False when the card has neither a current clock nor an activity reading.
bool readCurrentState(const Card& card, CurrentState& s) {
    const std::string hwmon = gpu::hwmonDir(card);
    const bool engine = gpu::readCurrentClock(card, hwmon, false, s.engine_mhz);
    gpu::readCurrentClock(card, hwmon, true, s.memory_mhz);
    gpu::readGfxMillivolts(hwmon, s.vddc_mv);
    const bool activity = gpu::readBusyPercent(card, false, s.activity);
    DpmTable table;
    if (gpu::readDpmTable(card, "pp_dpm_sclk", table))
        s.engine_level = std::max(table.current_level, 0);
    if (gpu::readDpmTable(card, "pp_dpm_mclk", table))
        s.memory_level = std::max(table.current_level, 0);
    gpu::readLink(card, s.bus_speed, s.lanes, s.max_lanes);
    return engine || activity;
}

int currentActivity(const Adapter& a, ADLPMActivity* out) {
    if (!out) return ADL_ERR_NULL_POINTER;
    if (out->iSize != static_cast<int>(sizeof(ADLPMActivity))) return ADL_ERR_INVALID_PARAM_SIZE;
    if (a.status != ADL_OK) return a.status;
    CurrentState s;
    if (!readCurrentState(*a.card, s)) return ADL_ERR_NOT_SUPPORTED;
    out->iEngineClock = s.engine_mhz * 100;
    out->iMemoryClock = s.memory_mhz * 100;
    out->iVddc = s.vddc_mv;
    out->iActivityPercent = s.activity;
    out->iCurrentPerformanceLevel = s.engine_level;
    out->iCurrentBusSpeed = s.bus_speed;
    out->iCurrentBusLanes = s.lanes;
    out->iMaximumBusLanes = s.max_lanes;
    out->iReserved = 0;
    return ADL_OK;
}

int temperatureOf(const Card& card, Temperature sensor, int* millidegrees) {
    if (!gpu::readTemperature(gpu::hwmonDir(card), sensor, *millidegrees))
        return ADL_ERR_NOT_SUPPORTED;
    return ADL_OK;
}

// Fills a variable-length OverdriveN level list from a clock table, checking that the
// caller's size holds the levels it asks for.
int odnLevels(const Adapter& a, ADLODNPerformanceLevels* out, bool memory) {
    if (!out) return ADL_ERR_NULL_POINTER;
    const int asked = out->iNumberOfPerformanceLevels;
    const size_t header = offsetof(ADLODNPerformanceLevels, aLevels);
    if (asked < 1 || asked > 1024 || out->iSize < 0 ||
        static_cast<size_t>(out->iSize) <
            header + static_cast<size_t>(asked) * sizeof(ADLODNPerformanceLevel))
        return ADL_ERR_INVALID_PARAM_SIZE;
    if (a.status != ADL_OK) return a.status;
    DpmTable table;
    if (!gpu::readDpmTable(*a.card, memory ? "pp_dpm_mclk" : "pp_dpm_sclk", table))
        return ADL_ERR_NOT_SUPPORTED;
    OdTable od;
    gpu::readOdTable(*a.card, od);
    const std::vector<int>& mv = memory ? od.mclk_mv : od.sclk_mv;
    out->iMode = 0;
    for (int i = 0; i < asked; ++i) {
        ADLODNPerformanceLevel& level = out->aLevels[i];
        const auto k = static_cast<size_t>(i);
        const bool known = k < table.levels.size();
        level.iClock = known ? table.levels[k].mhz * 100 : 0;
        level.iVddc = known && k < mv.size() ? mv[k] : 0;
        level.iEnabled = known ? 1 : 0;
    }
    return ADL_OK;
}

void range(ADLODNParameterRange& r, int min, int max, int def, int step) {
    r.iMode = 0;
    r.iMin = min;
    r.iMax = max;
    r.iDefault = def;
    r.iStep = step;
}

int lowest(const DpmTable& t) {
    int v = t.levels.front().mhz;
    for (const auto& l : t.levels) v = std::min(v, l.mhz);
    return v;
}
int highest(const DpmTable& t) {
    int v = t.levels.front().mhz;
    for (const auto& l : t.levels) v = std::max(v, l.mhz);
    return v;
}

// The Overdrive 8 features this driver can describe: {feature, min, max, default, current}.
struct Od8Feature {
    int id, min, max, def, current, capability;
};

std::vector<Od8Feature> od8Features(const Card& card) {
    std::vector<Od8Feature> features;
    const std::string hwmon = gpu::hwmonDir(card);
    DpmTable sclk, mclk;
    OdTable od;
    gpu::readOdTable(card, od);
    if (gpu::readDpmTable(card, "pp_dpm_sclk", sclk)) {
        const int lo = od.sclk_min ? od.sclk_min : lowest(sclk);
        const int hi = od.sclk_max ? od.sclk_max : highest(sclk);
        features.push_back(
            {OD8_GFXCLK_FMAX, lo, hi, highest(sclk), highest(sclk), ADL_OD8_GFXCLK_LIMITS});
        features.push_back(
            {OD8_GFXCLK_FMIN, lo, hi, lowest(sclk), lowest(sclk), ADL_OD8_GFXCLK_LIMITS});
    }
    if (gpu::readDpmTable(card, "pp_dpm_mclk", mclk)) {
        const int lo = od.mclk_min ? od.mclk_min : lowest(mclk);
        const int hi = od.mclk_max ? od.mclk_max : highest(mclk);
        features.push_back({OD8_UCLK_FMAX, lo, hi, highest(mclk), highest(mclk), ADL_OD8_UCLK_MAX});
    }
    int cap = 0, def = 0;
    if (gpu::readPowerCap(hwmon, cap, def)) {
        const int percent = cap * 100 / def - 100;
        features.push_back({OD8_POWER_PERCENTAGE, std::min(percent, 0), std::max(percent, 0), 0,
                            percent, ADL_OD8_POWER_LIMIT});
    }
    int fan_min = 0, fan_max = 0;
    if (gpu::readFanRpmRange(hwmon, fan_min, fan_max))
        features.push_back(
            {OD8_FAN_MIN_SPEED, fan_min, fan_max, fan_min, fan_min, ADL_OD8_FAN_SPEED_MIN});
    int crit = 0;
    if (gpu::readCriticalTemperature(hwmon, Temperature::Junction, crit) ||
        gpu::readCriticalTemperature(hwmon, Temperature::Edge, crit))
        features.push_back({OD8_OPERATING_TEMP_MAX, crit / 1000, crit / 1000, crit / 1000,
                            crit / 1000, ADL_OD8_TEMPERATURE_SYSTEM});
    return features;
}

void od8InitTable(const Card& card, ADLOD8SingleInitSetting* table, int& capabilities) {
    capabilities = 0;
    for (int i = 0; i < OD8_COUNT; ++i) table[i] = ADLOD8SingleInitSetting{i, 0, 0, 0};
    for (const Od8Feature& f : od8Features(card)) {
        table[f.id] = ADLOD8SingleInitSetting{f.id, f.min, f.max, f.def};
        capabilities |= f.capability;
    }
}

void od8CurrentTable(const Card& card, int* table) {
    for (int i = 0; i < OD8_COUNT; ++i) table[i] = 0;
    for (const Od8Feature& f : od8Features(card)) table[f.id] = f.current;
}

int requireOd8(const Adapter& a) {
    if (a.status != ADL_OK) return a.status;
    return overdriveVersion(*a.card) == 8 ? ADL_OK : ADL_ERR_NOT_SUPPORTED;
}

}  // namespace

// ---------------------------------------------------------------------------------------
// The library loader

void* adlLoadLibrary(const char* name) {
    if (!name) return nullptr;
    if (std::strcmp(name, "atiadlxx.dll") != 0 && std::strcmp(name, "atiadlxy.dll") != 0 &&
        std::strcmp(name, "libatiadlxx.so") != 0)
        return nullptr;
    return gpu::driverPresent() ? &g_library_token : nullptr;
}

void adlFreeLibrary(void*) {}

void* adlGetProcAddress(void* library, const char* name) {
    if (library != &g_library_token || !name) return nullptr;
    struct Entry {
        const char* name;
        void* function;
    };
#define PLASHWERK_ADL_ENTRY(f) \
    { #f, reinterpret_cast < void*>(&::f) }
    static const Entry kEntries[] = {
        PLASHWERK_ADL_ENTRY(ADL_Main_Control_Create),
        PLASHWERK_ADL_ENTRY(ADL_Main_Control_Destroy),
        PLASHWERK_ADL_ENTRY(ADL_Main_Control_Refresh),
        PLASHWERK_ADL_ENTRY(ADL2_Main_Control_Create),
        PLASHWERK_ADL_ENTRY(ADL2_Main_Control_Destroy),
        PLASHWERK_ADL_ENTRY(ADL_Adapter_NumberOfAdapters_Get),
        PLASHWERK_ADL_ENTRY(ADL_Adapter_AdapterInfo_Get),
        PLASHWERK_ADL_ENTRY(ADL_Adapter_Active_Get),
        PLASHWERK_ADL_ENTRY(ADL_Adapter_MemoryInfo_Get),
        PLASHWERK_ADL_ENTRY(ADL2_Adapter_NumberOfAdapters_Get),
        PLASHWERK_ADL_ENTRY(ADL2_Adapter_AdapterInfo_Get),
        PLASHWERK_ADL_ENTRY(ADL2_Adapter_Active_Get),
        PLASHWERK_ADL_ENTRY(ADL2_Adapter_VideoBiosInfo_Get),
        PLASHWERK_ADL_ENTRY(ADL_Overdrive_Caps),
        PLASHWERK_ADL_ENTRY(ADL2_Overdrive_Caps),
        PLASHWERK_ADL_ENTRY(ADL_Overdrive5_Temperature_Get),
        PLASHWERK_ADL_ENTRY(ADL_Overdrive5_FanSpeed_Get),
        PLASHWERK_ADL_ENTRY(ADL_Overdrive5_ODParameters_Get),
        PLASHWERK_ADL_ENTRY(ADL_Overdrive5_ODPerformanceLevels_Get),
        PLASHWERK_ADL_ENTRY(ADL_Overdrive5_CurrentActivity_Get),
        PLASHWERK_ADL_ENTRY(ADL2_Overdrive5_CurrentActivity_Get),
        PLASHWERK_ADL_ENTRY(ADL_Overdrive6_ThermalController_Caps),
        PLASHWERK_ADL_ENTRY(ADL_Overdrive6_Temperature_Get),
        PLASHWERK_ADL_ENTRY(ADL_Overdrive6_FanSpeed_Get),
        PLASHWERK_ADL_ENTRY(ADL_Overdrive6_CurrentStatus_Get),
        PLASHWERK_ADL_ENTRY(ADL2_OverdriveN_Capabilities_Get),
        PLASHWERK_ADL_ENTRY(ADL2_OverdriveN_SystemClocks_Get),
        PLASHWERK_ADL_ENTRY(ADL2_OverdriveN_MemoryClocks_Get),
        PLASHWERK_ADL_ENTRY(ADL2_OverdriveN_FanControl_Get),
        PLASHWERK_ADL_ENTRY(ADL2_OverdriveN_PowerLimit_Get),
        PLASHWERK_ADL_ENTRY(ADL2_OverdriveN_Temperature_Get),
        PLASHWERK_ADL_ENTRY(ADL2_OverdriveN_PerformanceStatus_Get),
        PLASHWERK_ADL_ENTRY(ADL2_Overdrive8_Init_Setting_Get),
        PLASHWERK_ADL_ENTRY(ADL2_Overdrive8_Current_Setting_Get),
        PLASHWERK_ADL_ENTRY(ADL2_Overdrive8_Init_SettingX2_Get),
        PLASHWERK_ADL_ENTRY(ADL2_Overdrive8_Current_SettingX2_Get),
        PLASHWERK_ADL_ENTRY(ADL2_New_QueryPMLogData_Get),
    };
#undef PLASHWERK_ADL_ENTRY
    for (const Entry& e : kEntries)
        if (std::strcmp(e.name, name) == 0) return e.function;
    return nullptr;
}

// ---------------------------------------------------------------------------------------
// Main control

int ADL_Main_Control_Create(ADL_MAIN_MALLOC_CALLBACK callback, int) {
    if (!callback) return ADL_ERR_INVALID_CALLBACK;
    Cards cards = scanOrNull();
    if (!cards) return ADL_ERR;
    AdlState& s = state();
    std::lock_guard lock(s.mutex);
    s.callback = callback;
    s.cards = std::move(cards);
    return ADL_OK;
}

int ADL_Main_Control_Destroy() {
    AdlState& s = state();
    std::lock_guard lock(s.mutex);
    s.callback = nullptr;
    s.cards.reset();
    return ADL_OK;
}

int ADL_Main_Control_Refresh() {
    return mainCards() ? ADL_OK : ADL_ERR_NOT_INIT;
}

int ADL2_Main_Control_Create(ADL_MAIN_MALLOC_CALLBACK callback, int, ADL_CONTEXT_HANDLE* context) {
    if (!context) return ADL_ERR_NULL_POINTER;
    *context = nullptr;
    if (!callback) return ADL_ERR_INVALID_CALLBACK;
    Cards cards = scanOrNull();
    if (!cards) return ADL_ERR;
    auto* c = new AdlContext{callback, std::move(cards)};
    AdlState& s = state();
    std::lock_guard lock(s.mutex);
    s.contexts.insert(c);
    *context = c;
    return ADL_OK;
}

int ADL2_Main_Control_Destroy(ADL_CONTEXT_HANDLE context) {
    AdlState& s = state();
    std::lock_guard lock(s.mutex);
    auto* c = static_cast<AdlContext*>(context);
    if (!c || s.contexts.erase(c) == 0) return ADL_ERR_INVALID_PARAM;
    delete c;
    return ADL_OK;
}

// ---------------------------------------------------------------------------------------
// Adapters

int ADL_Adapter_NumberOfAdapters_Get(int* count) {
    return numberOfAdapters(mainCards(), count);
}

int ADL_Adapter_AdapterInfo_Get(LPAdapterInfo info, int bytes) {
    return adapterInfos(mainCards(), info, bytes);
}

int ADL_Adapter_Active_Get(int index, int* status) {
    return activeStatus(mainAdapter(index), status);
}

int ADL2_Adapter_NumberOfAdapters_Get(ADL_CONTEXT_HANDLE context, int* count) {
    Cards cards;
    if (!contextOf(context, cards, nullptr)) return ADL_ERR_INVALID_PARAM;
    return numberOfAdapters(cards, count);
}

int ADL2_Adapter_AdapterInfo_Get(ADL_CONTEXT_HANDLE context, LPAdapterInfo info, int bytes) {
    Cards cards;
    if (!contextOf(context, cards, nullptr)) return ADL_ERR_INVALID_PARAM;
    return adapterInfos(cards, info, bytes);
}

int ADL2_Adapter_Active_Get(ADL_CONTEXT_HANDLE context, int index, int* status) {
    return activeStatus(contextAdapter(context, index), status);
}

int ADL_Adapter_MemoryInfo_Get(int index, ADLMemoryInfo* info) {
    if (!info) return ADL_ERR_NULL_POINTER;
    const Adapter a = mainAdapter(index);
    if (a.status != ADL_OK) return a.status;
    uint64_t bytes = 0;
    if (!gpu::readVramBytes(*a.card, bytes)) return ADL_ERR_NOT_SUPPORTED;
    std::memset(info, 0, sizeof *info);
    info->iMemorySize = static_cast<long long>(bytes);
    // The driver publishes neither the memory type nor the bus width in sysfs.
    return ADL_OK;
}

int ADL2_Adapter_VideoBiosInfo_Get(ADL_CONTEXT_HANDLE context, int index, ADLBiosInfo* info) {
    if (!info) return ADL_ERR_NULL_POINTER;
    const Adapter a = contextAdapter(context, index);
    if (a.status != ADL_OK) return a.status;
    const std::string version = gpu::readCardText(*a.card, "vbios_version");
    if (version.empty()) return ADL_ERR_NOT_SUPPORTED;
    std::memset(info, 0, sizeof *info);
    copyText(info->strVersion, version);
    copyText(info->strPartNumber, gpu::readCardText(*a.card, "product_number"));
    return ADL_OK;
}

int ADL_Overdrive_Caps(int index, int* supported, int* enabled, int* version) {
    return overdriveCaps(mainAdapter(index), supported, enabled, version);
}

int ADL2_Overdrive_Caps(ADL_CONTEXT_HANDLE context, int index, int* supported, int* enabled,
                        int* version) {
    return overdriveCaps(contextAdapter(context, index), supported, enabled, version);
}

// ---------------------------------------------------------------------------------------
// Overdrive 5

int ADL_Overdrive5_Temperature_Get(int index, int controller, ADLTemperature* out) {
    if (!out) return ADL_ERR_NULL_POINTER;
    if (out->iSize != static_cast<int>(sizeof(ADLTemperature))) return ADL_ERR_INVALID_PARAM_SIZE;
    if (controller != 0) return ADL_ERR_INVALID_CONTROLLER_IDX;
    const Adapter a = mainAdapter(index);
    if (a.status != ADL_OK) return a.status;
    return temperatureOf(*a.card, Temperature::Edge, &out->iTemperature);
}

int ADL_Overdrive5_FanSpeed_Get(int index, int controller, ADLFanSpeedValue* out) {
    if (!out) return ADL_ERR_NULL_POINTER;
    if (out->iSize != static_cast<int>(sizeof(ADLFanSpeedValue))) return ADL_ERR_INVALID_PARAM_SIZE;
    if (controller != 0) return ADL_ERR_INVALID_CONTROLLER_IDX;
    const Adapter a = mainAdapter(index);
    if (a.status != ADL_OK) return a.status;
    const std::string hwmon = gpu::hwmonDir(*a.card);
    int value = 0;
    if (out->iSpeedType == ADL_DL_FANCTRL_SPEED_TYPE_PERCENT) {
        if (!gpu::readFanPercent(hwmon, value)) return ADL_ERR_NOT_SUPPORTED;
    } else if (out->iSpeedType == ADL_DL_FANCTRL_SPEED_TYPE_RPM) {
        if (!gpu::readFanRpm(hwmon, value)) return ADL_ERR_NOT_SUPPORTED;
    } else {
        return ADL_ERR_INVALID_PARAM;
    }
    out->iFanSpeed = value;
    out->iFlags = 0;
    return ADL_OK;
}

int ADL_Overdrive5_ODParameters_Get(int index, ADLODParameters* out) {
    if (!out) return ADL_ERR_NULL_POINTER;
    if (out->iSize != static_cast<int>(sizeof(ADLODParameters))) return ADL_ERR_INVALID_PARAM_SIZE;
    const Adapter a = mainAdapter(index);
    if (a.status != ADL_OK) return a.status;
    DpmTable sclk, mclk;
    if (!gpu::readDpmTable(*a.card, "pp_dpm_sclk", sclk)) return ADL_ERR_NOT_SUPPORTED;
    OdTable od;
    gpu::readOdTable(*a.card, od);
    int activity = 0;
    out->iNumberOfPerformanceLevels = static_cast<int>(sclk.levels.size());
    out->iActivityReportingSupported = gpu::readBusyPercent(*a.card, false, activity) ? 1 : 0;
    out->iDiscretePerformanceLevels = 1;
    out->iReserved = 0;
    out->sEngineClock = {(od.sclk_min ? od.sclk_min : lowest(sclk)) * 100,
                         (od.sclk_max ? od.sclk_max : highest(sclk)) * 100, 100};
    out->sMemoryClock = {0, 0, 0};
    if (gpu::readDpmTable(*a.card, "pp_dpm_mclk", mclk))
        out->sMemoryClock = {(od.mclk_min ? od.mclk_min : lowest(mclk)) * 100,
                             (od.mclk_max ? od.mclk_max : highest(mclk)) * 100, 100};
    out->sVddc = {od.vddc_min, od.vddc_max, od.vddc_max > 0 ? 1 : 0};
    return ADL_OK;
}

int ADL_Overdrive5_ODPerformanceLevels_Get(int index, int, ADLODPerformanceLevels* out) {
    if (!out) return ADL_ERR_NULL_POINTER;
    const size_t header = offsetof(ADLODPerformanceLevels, aLevels);
    if (out->iSize < static_cast<int>(sizeof(ADLODPerformanceLevels)))
        return ADL_ERR_INVALID_PARAM_SIZE;
    const size_t room = (static_cast<size_t>(out->iSize) - header) / sizeof(ADLODPerformanceLevel);
    const Adapter a = mainAdapter(index);
    if (a.status != ADL_OK) return a.status;
    DpmTable sclk, mclk;
    if (!gpu::readDpmTable(*a.card, "pp_dpm_sclk", sclk)) return ADL_ERR_NOT_SUPPORTED;
    const bool memory = gpu::readDpmTable(*a.card, "pp_dpm_mclk", mclk);
    OdTable od;
    gpu::readOdTable(*a.card, od);
    // Defaults and current values are the same here: the driver's tables are what runs.
    for (size_t i = 0; i < std::min(room, sclk.levels.size()); ++i) {
        ADLODPerformanceLevel& level = out->aLevels[i];
        level.iEngineClock = sclk.levels[i].mhz * 100;
        level.iMemoryClock =
            memory ? mclk.levels[std::min(i, mclk.levels.size() - 1)].mhz * 100 : 0;
        level.iVddc = i < od.sclk_mv.size() ? od.sclk_mv[i] : 0;
    }
    return ADL_OK;
}

int ADL_Overdrive5_CurrentActivity_Get(int index, ADLPMActivity* out) {
    return currentActivity(mainAdapter(index), out);
}

int ADL2_Overdrive5_CurrentActivity_Get(ADL_CONTEXT_HANDLE context, int index, ADLPMActivity* out) {
    return currentActivity(contextAdapter(context, index), out);
}

// ---------------------------------------------------------------------------------------
// Overdrive 6

int ADL_Overdrive6_ThermalController_Caps(int index, ADLOD6ThermalControllerCaps* out) {
    if (!out) return ADL_ERR_NULL_POINTER;
    const Adapter a = mainAdapter(index);
    if (a.status != ADL_OK) return a.status;
    const std::string hwmon = gpu::hwmonDir(*a.card);
    std::memset(out, 0, sizeof *out);
    int value = 0;
    if (gpu::readTemperature(hwmon, Temperature::Edge, value))
        out->iCapabilities |= ADL_OD6_TCCAPS_THERMAL_CONTROLLER;
    if (gpu::readFanPercent(hwmon, value)) {
        out->iCapabilities |=
            ADL_OD6_TCCAPS_FANSPEED_CONTROL | ADL_OD6_TCCAPS_FANSPEED_PERCENT_READ;
        out->iFanMaxPercent = 100;
    }
    if (gpu::readFanRpm(hwmon, value)) out->iCapabilities |= ADL_OD6_TCCAPS_FANSPEED_RPM_READ;
    gpu::readFanRpmRange(hwmon, out->iFanMinRPM, out->iFanMaxRPM);
    return ADL_OK;
}

int ADL_Overdrive6_Temperature_Get(int index, int* millidegrees) {
    if (!millidegrees) return ADL_ERR_NULL_POINTER;
    const Adapter a = mainAdapter(index);
    if (a.status != ADL_OK) return a.status;
    return temperatureOf(*a.card, Temperature::Edge, millidegrees);
}

int ADL_Overdrive6_FanSpeed_Get(int index, ADLOD6FanSpeedInfo* out) {
    if (!out) return ADL_ERR_NULL_POINTER;
    const Adapter a = mainAdapter(index);
    if (a.status != ADL_OK) return a.status;
    const std::string hwmon = gpu::hwmonDir(*a.card);
    const int asked = out->iSpeedType;
    int types = 0, percent = 0, rpm = 0;
    if (gpu::readFanPercent(hwmon, percent)) types |= ADL_OD6_FANSPEED_TYPE_PERCENT;
    if (gpu::readFanRpm(hwmon, rpm)) types |= ADL_OD6_FANSPEED_TYPE_RPM;
    const int wanted = asked & (ADL_OD6_FANSPEED_TYPE_PERCENT | ADL_OD6_FANSPEED_TYPE_RPM);
    if (types == 0 || (wanted != 0 && (types & wanted) != wanted)) return ADL_ERR_NOT_SUPPORTED;
    std::memset(out, 0, sizeof *out);
    out->iSpeedType = types;
    out->iFanSpeedPercent = percent;
    out->iFanSpeedRPM = rpm;
    return ADL_OK;
}

int ADL_Overdrive6_CurrentStatus_Get(int index, ADLOD6CurrentStatus* out) {
    if (!out) return ADL_ERR_NULL_POINTER;
    const Adapter a = mainAdapter(index);
    if (a.status != ADL_OK) return a.status;
    CurrentState s;
    if (!readCurrentState(*a.card, s)) return ADL_ERR_NOT_SUPPORTED;
    std::memset(out, 0, sizeof *out);
    out->iEngineClock = s.engine_mhz * 100;
    out->iMemoryClock = s.memory_mhz * 100;
    out->iActivityPercent = s.activity;
    out->iCurrentPerformanceLevel = s.engine_level;
    out->iCurrentBusSpeed = s.bus_speed;
    out->iCurrentBusLanes = s.lanes;
    out->iMaximumBusLanes = s.max_lanes;
    return ADL_OK;
}

// ---------------------------------------------------------------------------------------
// OverdriveN

int ADL2_OverdriveN_Capabilities_Get(ADL_CONTEXT_HANDLE context, int index,
                                     ADLODNCapabilities* out) {
    if (!out) return ADL_ERR_NULL_POINTER;
    const Adapter a = contextAdapter(context, index);
    if (a.status != ADL_OK) return a.status;
    DpmTable sclk, mclk;
    if (!gpu::readDpmTable(*a.card, "pp_dpm_sclk", sclk)) return ADL_ERR_NOT_SUPPORTED;
    OdTable od;
    gpu::readOdTable(*a.card, od);
    std::memset(out, 0, sizeof *out);
    out->iMaximumNumberOfPerformanceLevels = static_cast<int>(sclk.levels.size());
    range(out->sEngineClockRange, (od.sclk_min ? od.sclk_min : lowest(sclk)) * 100,
          (od.sclk_max ? od.sclk_max : highest(sclk)) * 100, highest(sclk) * 100, 100);
    if (gpu::readDpmTable(*a.card, "pp_dpm_mclk", mclk))
        range(out->sMemoryClockRange, (od.mclk_min ? od.mclk_min : lowest(mclk)) * 100,
              (od.mclk_max ? od.mclk_max : highest(mclk)) * 100, highest(mclk) * 100, 100);
    range(out->svddcRange, od.vddc_min, od.vddc_max, od.vddc_max, od.vddc_max > 0 ? 1 : 0);
    const std::string hwmon = gpu::hwmonDir(*a.card);
    int fan_min = 0, fan_max = 0;
    if (gpu::readFanRpmRange(hwmon, fan_min, fan_max))
        range(out->fanSpeed, fan_min, fan_max, fan_min, 1);
    return ADL_OK;
}

int ADL2_OverdriveN_SystemClocks_Get(ADL_CONTEXT_HANDLE context, int index,
                                     ADLODNPerformanceLevels* out) {
    return odnLevels(contextAdapter(context, index), out, false);
}

int ADL2_OverdriveN_MemoryClocks_Get(ADL_CONTEXT_HANDLE context, int index,
                                     ADLODNPerformanceLevels* out) {
    return odnLevels(contextAdapter(context, index), out, true);
}

int ADL2_OverdriveN_FanControl_Get(ADL_CONTEXT_HANDLE context, int index, ADLODNFanControl* out) {
    if (!out) return ADL_ERR_NULL_POINTER;
    const Adapter a = contextAdapter(context, index);
    if (a.status != ADL_OK) return a.status;
    const std::string hwmon = gpu::hwmonDir(*a.card);
    int rpm = 0;
    if (!gpu::readFanRpm(hwmon, rpm)) return ADL_ERR_NOT_SUPPORTED;
    std::memset(out, 0, sizeof *out);
    out->iCurrentFanSpeedMode = ADL_DL_FANCTRL_SPEED_TYPE_RPM;
    out->iCurrentFanSpeed = rpm;
    gpu::readFanTargetRpm(hwmon, out->iTargetFanSpeed);
    int fan_max = 0;
    gpu::readFanRpmRange(hwmon, out->iMinFanLimit, fan_max);
    return ADL_OK;
}

int ADL2_OverdriveN_PowerLimit_Get(ADL_CONTEXT_HANDLE context, int index,
                                   ADLODNPowerLimitSetting* out) {
    if (!out) return ADL_ERR_NULL_POINTER;
    const Adapter a = contextAdapter(context, index);
    if (a.status != ADL_OK) return a.status;
    const std::string hwmon = gpu::hwmonDir(*a.card);
    int cap = 0, def = 0;
    if (!gpu::readPowerCap(hwmon, cap, def)) return ADL_ERR_NOT_SUPPORTED;
    std::memset(out, 0, sizeof *out);
    out->iTDPLimit = cap * 100 / def - 100;
    int crit = 0;
    if (gpu::readCriticalTemperature(hwmon, Temperature::Edge, crit))
        out->iMaxOperatingTemperature = crit / 1000;
    return ADL_OK;
}

int ADL2_OverdriveN_Temperature_Get(ADL_CONTEXT_HANDLE context, int index, int type,
                                    int* millidegrees) {
    if (!millidegrees) return ADL_ERR_NULL_POINTER;
    const Adapter a = contextAdapter(context, index);
    if (a.status != ADL_OK) return a.status;
    switch (type) {
        case ODN_GPU_EDGE_TEMP:
            return temperatureOf(*a.card, Temperature::Edge, millidegrees);
        case ODN_GPU_MEM_TEMP:
            return temperatureOf(*a.card, Temperature::Memory, millidegrees);
        case ODN_GPU_HOTSPOT_TEMP:
            return temperatureOf(*a.card, Temperature::Junction, millidegrees);
        default:
            return ADL_ERR_NOT_SUPPORTED;
    }
}

int ADL2_OverdriveN_PerformanceStatus_Get(ADL_CONTEXT_HANDLE context, int index,
                                          ADLODNPerformanceStatus* out) {
    if (!out) return ADL_ERR_NULL_POINTER;
    const Adapter a = contextAdapter(context, index);
    if (a.status != ADL_OK) return a.status;
    CurrentState s;
    if (!readCurrentState(*a.card, s)) return ADL_ERR_NOT_SUPPORTED;
    std::memset(out, 0, sizeof *out);
    out->iCoreClock = s.engine_mhz * 100;
    out->iMemoryClock = s.memory_mhz * 100;
    out->iGFXClock = out->iCoreClock;
    out->iGPUActivityPercent = s.activity;
    out->iCurrentCorePerformanceLevel = s.engine_level;
    out->iCurrentMemoryPerformanceLevel = s.memory_level;
    out->iCurrentGFXPerformanceLevel = s.engine_level;
    out->iCurrentBusSpeed = s.bus_speed;
    out->iCurrentBusLanes = s.lanes;
    out->iMaximumBusLanes = s.max_lanes;
    out->iVDDC = s.vddc_mv;
    return ADL_OK;
}

// ---------------------------------------------------------------------------------------
// Overdrive 8

int ADL2_Overdrive8_Init_Setting_Get(ADL_CONTEXT_HANDLE context, int index,
                                     ADLOD8InitSetting* out) {
    if (!out) return ADL_ERR_NULL_POINTER;
    const Adapter a = contextAdapter(context, index);
    if (const int status = requireOd8(a); status != ADL_OK) return status;
    out->count = OD8_COUNT;
    od8InitTable(*a.card, out->od8SettingTable, out->overdrive8Capabilities);
    return ADL_OK;
}

int ADL2_Overdrive8_Current_Setting_Get(ADL_CONTEXT_HANDLE context, int index,
                                        ADLOD8CurrentSetting* out) {
    if (!out) return ADL_ERR_NULL_POINTER;
    const Adapter a = contextAdapter(context, index);
    if (const int status = requireOd8(a); status != ADL_OK) return status;
    out->count = OD8_COUNT;
    od8CurrentTable(*a.card, out->Od8SettingTable);
    return ADL_OK;
}

int ADL2_Overdrive8_Init_SettingX2_Get(ADL_CONTEXT_HANDLE context, int index, int* capabilities,
                                       int* count, ADLOD8SingleInitSetting** list) {
    if (!capabilities || !count || !list) return ADL_ERR_NULL_POINTER;
    ADL_MAIN_MALLOC_CALLBACK callback = nullptr;
    const Adapter a = contextAdapter(context, index, &callback);
    if (const int status = requireOd8(a); status != ADL_OK) return status;
    auto* table = static_cast<ADLOD8SingleInitSetting*>(
        callback(sizeof(ADLOD8SingleInitSetting) * OD8_COUNT));
    if (!table) return ADL_ERR;
    od8InitTable(*a.card, table, *capabilities);
    *count = OD8_COUNT;
    *list = table;
    return ADL_OK;
}

int ADL2_Overdrive8_Current_SettingX2_Get(ADL_CONTEXT_HANDLE context, int index, int* count,
                                          int** list) {
    if (!count || !list) return ADL_ERR_NULL_POINTER;
    ADL_MAIN_MALLOC_CALLBACK callback = nullptr;
    const Adapter a = contextAdapter(context, index, &callback);
    if (const int status = requireOd8(a); status != ADL_OK) return status;
    auto* table = static_cast<int*>(callback(sizeof(int) * OD8_COUNT));
    if (!table) return ADL_ERR;
    od8CurrentTable(*a.card, table);
    *count = OD8_COUNT;
    *list = table;
    return ADL_OK;
}

int ADL2_New_QueryPMLogData_Get(ADL_CONTEXT_HANDLE context, int index, ADLPMLogDataOutput* out) {
    if (!out) return ADL_ERR_NULL_POINTER;
    const Adapter a = contextAdapter(context, index);
    if (const int status = requireOd8(a); status != ADL_OK) return status;
    const Card& card = *a.card;
    const std::string hwmon = gpu::hwmonDir(card);
    std::memset(out, 0, sizeof *out);
    out->size = sizeof *out;
    // Each reading on its own: a sensor the driver lacks stays unsupported.
    auto put = [out](int sensor, auto&& read, int divisor = 1) {
        int value = 0;
        if (read(value)) out->sensors[sensor] = ADLSingleSensorData{1, value / divisor};
    };
    put(PMLOG_CLK_GFXCLK, [&](int& v) { return gpu::readCurrentClock(card, hwmon, false, v); });
    put(PMLOG_CLK_MEMCLK, [&](int& v) { return gpu::readCurrentClock(card, hwmon, true, v); });
    put(
        PMLOG_TEMPERATURE_EDGE,
        [&](int& v) { return gpu::readTemperature(hwmon, Temperature::Edge, v); }, 1000);
    put(
        PMLOG_TEMPERATURE_MEM,
        [&](int& v) { return gpu::readTemperature(hwmon, Temperature::Memory, v); }, 1000);
    put(
        PMLOG_TEMPERATURE_HOTSPOT,
        [&](int& v) { return gpu::readTemperature(hwmon, Temperature::Junction, v); }, 1000);
    put(PMLOG_FAN_RPM, [&](int& v) { return gpu::readFanRpm(hwmon, v); });
    put(PMLOG_FAN_PERCENTAGE, [&](int& v) { return gpu::readFanPercent(hwmon, v); });
    put(PMLOG_INFO_ACTIVITY_GFX, [&](int& v) { return gpu::readBusyPercent(card, false, v); });
    put(PMLOG_INFO_ACTIVITY_MEM, [&](int& v) { return gpu::readBusyPercent(card, true, v); });
    put(PMLOG_GFX_VOLTAGE, [&](int& v) { return gpu::readGfxMillivolts(hwmon, v); });
    put(PMLOG_ASIC_POWER, [&](int& v) { return gpu::readPowerWatts(hwmon, v); });
    return ADL_OK;
}
