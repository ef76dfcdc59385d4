#include "sdk/ops/CCommandResultRegistry.h"

namespace tavik {

CCommandResultRegistry& CCommandResultRegistry::instance() {
    static CCommandResultRegistry registry;
    return registry;
}

const char* CCommandResultRegistry::add(std::string text) {
    auto owned = std::make_unique<std::string>(std::move(text));
    const char* handle = owned->c_str();
    results_.add(handle, std::move(owned));
    return handle;
}

const char* CCommandResultRegistry::find(const char* result) const {
    return results_.find(result) != nullptr ? result : nullptr;
}

bool CCommandResultRegistry::close(const char* result) {
    return results_.take(result) != nullptr;
}

} // namespace tavik
