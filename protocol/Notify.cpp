#include "Notify.h"

#include <mutex>
#include <string>
#include <unordered_map>

namespace {

// Registered ids start where a desktop's registered messages usually do,
// well clear of small numbers a caller might use for its own events.
constexpr std::uint32_t FirstRegisteredId = 0xC000;

struct Registry {
    std::mutex lock;
    std::unordered_map<std::string, std::uint32_t> ids;
};

Registry& TheRegistry()
{
    static Registry registry;
    return registry;
}

} // namespace

std::uint32_t RegisterMessage(const char* name)
{
    if (name == nullptr || *name == '\0')
        return 0;
    Registry& registry = TheRegistry();
    const std::lock_guard<std::mutex> hold(registry.lock);
    const auto next = static_cast<std::uint32_t>(FirstRegisteredId + registry.ids.size());
    return registry.ids.try_emplace(name, next).first->second;
}
