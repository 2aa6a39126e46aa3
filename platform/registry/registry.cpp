#include "platform/registry/registry.h"

namespace plashwerk {
namespace {

class LinuxRegistry final : public Registry {
public:
    bool readDword(const char*, const char*, uint32_t&) override { return false; }
    bool readString(const char*, const char*, std::string&) override { return false; }
};

LinuxRegistry g_linux_registry;
Registry* g_registry = nullptr;

}  // namespace

Registry& systemRegistry() { return g_registry ? *g_registry : g_linux_registry; }

void setSystemRegistry(Registry* registry) { g_registry = registry; }

bool MemoryRegistry::readDword(const char* key, const char* value, uint32_t& out) {
    auto it = m_dwords.find(std::string(key) + '\\' + value);
    if (it == m_dwords.end()) return false;
    out = it->second;
    return true;
}

bool MemoryRegistry::readString(const char* key, const char* value, std::string& out) {
    auto it = m_strings.find(std::string(key) + '\\' + value);
    if (it == m_strings.end()) return false;
    out = it->second;
    return true;
}

}  // namespace plashwerk
