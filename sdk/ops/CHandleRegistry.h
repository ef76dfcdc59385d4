// The live handles of one kind (open remote files, directory cursors, file-information lists),
// each owning the object behind it. A handle is valid for the operations of its kind if and only
// if it is registered here; closing takes it out and frees it.
//
// The table has its own lock so that handles opened or closed on different threads cannot
// corrupt it. A handle that one thread uses while another closes it is still the caller's error.
#pragma once

#include "sdk/core/Result.h"
#include "sdk/include/TavikErrors.h"

#include <cstddef>
#include <map>
#include <memory>
#include <mutex>

namespace tavik {

// What a handle that is not registered leaves: 24002, the text as it was.
inline ErrorReport invalidHandle() {
    return ErrorReport::codeOnly(TAVIK_ERR_INVALID_HANDLE);
}

template <class Object> class CHandleRegistry {
public:
    // Takes ownership; handle is what the caller will pass back. Returns the object.
    Object* add(const void* handle, std::unique_ptr<Object> object) {
        std::lock_guard<std::mutex> guard(mutex_);
        Object* raw = object.get();
        objects_[handle] = std::move(object);
        return raw;
    }

    // The object behind handle, or null when it is not registered.
    Object* find(const void* handle) const {
        std::lock_guard<std::mutex> guard(mutex_);
        auto found = objects_.find(handle);
        return found == objects_.end() ? nullptr : found->second.get();
    }

    // Unregisters handle and hands its object back (null when it was not registered).
    std::unique_ptr<Object> take(const void* handle) {
        std::lock_guard<std::mutex> guard(mutex_);
        auto found = objects_.find(handle);
        if (found == objects_.end()) {
            return nullptr;
        }
        std::unique_ptr<Object> object = std::move(found->second);
        objects_.erase(found);
        return object;
    }

    std::size_t size() const {
        std::lock_guard<std::mutex> guard(mutex_);
        return objects_.size();
    }

private:
    mutable std::mutex mutex_;
    std::map<const void*, std::unique_ptr<Object>> objects_;
};

} // namespace tavik
