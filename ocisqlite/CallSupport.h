// What every exported entry point does around its work: find the handle, take its environment's lock,
// and move attribute values in and out of the caller's memory.
#pragma once

#include "Handles.h"

#include <cstring>
#include <memory>
#include <mutex>
#include <string>

#define OCI_EXPORT extern "C" __attribute__((visibility("default")))

namespace ocisqlite {

// Takes the environment's lock for the duration of one call, after checking the handle is alive.
class CallLock {
public:
    explicit CallLock(const void* h, ub4 type) {
        std::shared_ptr<std::recursive_mutex> m;
        {
            std::lock_guard<std::recursive_mutex> lock(registryMutex());
            Handle* found = findHandle(h, type);
            if (!found)
                return;
            m = found->env->mutex;
        }
        lock_ = std::unique_lock<std::recursive_mutex>(*m);
        mutex_ = std::move(m);
        handle_ = findHandle(h, type); // may have been freed meanwhile
    }
    Handle* handle() const { return handle_; }
    template <class T> T* as() const { return static_cast<T*>(handle_); }

private:
    std::shared_ptr<std::recursive_mutex> mutex_;
    std::unique_lock<std::recursive_mutex> lock_;
    Handle* handle_ = nullptr;
};

inline Error* errorOf(OCIError* errhp) {
    return static_cast<Error*>(findHandle(errhp, OCI_HTYPE_ERROR));
}

inline void copyText(std::string& out, const void* p, ub4 size) {
    if (!p) {
        out.clear();
        return;
    }
    out.assign(static_cast<const char*>(p), size);
}

template <class T> void put(void* dst, T v) {
    if (dst)
        std::memcpy(dst, &v, sizeof v);
}

// Text attributes point into memory the handle owns; the caller copies them.
inline void putText(void* attributep, ub4* sizep, const std::string& s) {
    if (attributep)
        *static_cast<const OraText**>(attributep) = reinterpret_cast<const OraText*>(s.c_str());
    if (sizep)
        *sizep = static_cast<ub4>(s.size());
}

} // namespace ocisqlite
