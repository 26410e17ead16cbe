// OCI's thread, memory and context-value services. Drivers keep their per-thread error buffers in thread
// keys and allocate them with OCIMemoryAlloc, so these must behave as documented, not merely exist.
#include "CallSupport.h"
#include "Engine.h"

#include <pthread.h>

#include <cstdlib>
#include <unordered_set>

namespace ocisqlite {

namespace {

// The objects behind OCIThreadMutex* and OCIThreadKey*; live ones are registered so a stale pointer is
// refused instead of followed.
struct ThreadMutex {
    std::mutex m;
};
struct ThreadKey {
    pthread_key_t key{};
};

std::mutex& threadObjectsMutex() {
    static auto* m = new std::mutex();
    return *m;
}
std::unordered_set<const void*>& threadObjects() {
    static auto* s = new std::unordered_set<const void*>();
    return *s;
}
bool liveThreadObject(const void* p) {
    std::lock_guard<std::mutex> lock(threadObjectsMutex());
    return p && threadObjects().count(p);
}

// Thread and memory calls name an environment or a user session as their context.
Env* contextEnv(const void* hndl) {
    Handle* h = findAnyHandle(hndl);
    if (!h || (h->type != OCI_HTYPE_ENV && h->type != OCI_HTYPE_SESSION) || h->descriptor)
        return nullptr;
    return h->env;
}

sword argumentFault(OCIError* errhp, int n) {
    if (Error* err = errorOf(errhp))
        return fail(err, 21560,
                    "ORA-21560: argument " + std::to_string(n) + " is null, invalid, or out of range");
    return OCI_ERROR;
}

std::map<std::string, void*>* contextValues(Handle* h) {
    if (h->type == OCI_HTYPE_SESSION)
        return &static_cast<Session*>(h)->contextValues;
    if (h->type == OCI_HTYPE_ENV)
        return &static_cast<Env*>(h)->contextValues;
    return nullptr;
}

} // namespace

} // namespace ocisqlite

using namespace ocisqlite;

OCI_EXPORT void OCIThreadProcessInit() {
    // The process-wide tables are created here, before any thread can race to create them.
    registryMutex();
    threadObjectsMutex();
    threadObjects();
}

OCI_EXPORT sword OCIThreadInit(void* hndl, OCIError*) {
    return contextEnv(hndl) ? OCI_SUCCESS : OCI_INVALID_HANDLE;
}

OCI_EXPORT sword OCIThreadTerm(void* hndl, OCIError*) {
    return contextEnv(hndl) ? OCI_SUCCESS : OCI_INVALID_HANDLE;
}

OCI_EXPORT sword OCIThreadMutexInit(void* hndl, OCIError* err, OCIThreadMutex** mutex) {
    if (!contextEnv(hndl))
        return OCI_INVALID_HANDLE;
    if (!mutex)
        return argumentFault(err, 3);
    auto* m = new ThreadMutex();
    {
        std::lock_guard<std::mutex> lock(threadObjectsMutex());
        threadObjects().insert(m);
    }
    *mutex = reinterpret_cast<OCIThreadMutex*>(m);
    return OCI_SUCCESS;
}

OCI_EXPORT sword OCIThreadMutexDestroy(void* hndl, OCIError* err, OCIThreadMutex** mutex) {
    if (!contextEnv(hndl))
        return OCI_INVALID_HANDLE;
    if (!mutex || !liveThreadObject(*mutex))
        return argumentFault(err, 3);
    {
        std::lock_guard<std::mutex> lock(threadObjectsMutex());
        threadObjects().erase(*mutex);
    }
    delete reinterpret_cast<ThreadMutex*>(*mutex);
    *mutex = nullptr;
    return OCI_SUCCESS;
}

OCI_EXPORT sword OCIThreadMutexAcquire(void* hndl, OCIError* err, OCIThreadMutex* mutex) {
    if (!contextEnv(hndl))
        return OCI_INVALID_HANDLE;
    if (!liveThreadObject(mutex))
        return argumentFault(err, 3);
    // Not recursive, as documented: a second acquire from the same thread waits for ever.
    reinterpret_cast<ThreadMutex*>(mutex)->m.lock();
    return OCI_SUCCESS;
}

OCI_EXPORT sword OCIThreadMutexRelease(void* hndl, OCIError* err, OCIThreadMutex* mutex) {
    if (!contextEnv(hndl))
        return OCI_INVALID_HANDLE;
    if (!liveThreadObject(mutex))
        return argumentFault(err, 3);
    reinterpret_cast<ThreadMutex*>(mutex)->m.unlock();
    return OCI_SUCCESS;
}

OCI_EXPORT sword OCIThreadKeyInit(void* hndl, OCIError* err, OCIThreadKey** key,
                                  OCIThreadKeyDestFunc destFn) {
    if (!contextEnv(hndl))
        return OCI_INVALID_HANDLE;
    if (!key)
        return argumentFault(err, 3);
    auto* k = new ThreadKey();
    // The destructor runs for a thread's non-null value when that thread ends.
    if (pthread_key_create(&k->key, destFn) != 0) {
        delete k;
        if (Error* e = errorOf(err))
            return fail(e, 1019, "ORA-01019: unable to allocate memory in the user side");
        return OCI_ERROR;
    }
    {
        std::lock_guard<std::mutex> lock(threadObjectsMutex());
        threadObjects().insert(k);
    }
    *key = reinterpret_cast<OCIThreadKey*>(k);
    return OCI_SUCCESS;
}

OCI_EXPORT sword OCIThreadKeyDestroy(void* hndl, OCIError* err, OCIThreadKey** key) {
    if (!contextEnv(hndl))
        return OCI_INVALID_HANDLE;
    if (!key || !liveThreadObject(*key))
        return argumentFault(err, 3);
    auto* k = reinterpret_cast<ThreadKey*>(*key);
    {
        std::lock_guard<std::mutex> lock(threadObjectsMutex());
        threadObjects().erase(k);
    }
    pthread_key_delete(k->key);
    delete k;
    *key = nullptr;
    return OCI_SUCCESS;
}

OCI_EXPORT sword OCIThreadKeyGet(void* hndl, OCIError* err, OCIThreadKey* key, void** pValue) {
    if (!contextEnv(hndl))
        return OCI_INVALID_HANDLE;
    if (!liveThreadObject(key))
        return argumentFault(err, 3);
    if (!pValue)
        return argumentFault(err, 4);
    *pValue = pthread_getspecific(reinterpret_cast<ThreadKey*>(key)->key);
    return OCI_SUCCESS;
}

OCI_EXPORT sword OCIThreadKeySet(void* hndl, OCIError* err, OCIThreadKey* key, void* value) {
    if (!contextEnv(hndl))
        return OCI_INVALID_HANDLE;
    if (!liveThreadObject(key))
        return argumentFault(err, 3);
    if (pthread_setspecific(reinterpret_cast<ThreadKey*>(key)->key, value) != 0) {
        if (Error* e = errorOf(err))
            return fail(e, 1019, "ORA-01019: unable to allocate memory in the user side");
        return OCI_ERROR;
    }
    return OCI_SUCCESS;
}

// Memory handed out by OCIMemoryAlloc belongs to the environment of hdl; whatever the caller has not
// freed goes with that environment. Durations shorter than the environment are not tracked.
OCI_EXPORT sword OCIMemoryAlloc(void* hdl, OCIError* errhp, void** mem, OCIDuration, ub4 size, ub4 flags) {
    CallLock call(hdl, 0);
    if (!call.handle() || !contextEnv(hdl))
        return OCI_INVALID_HANDLE;
    if (!mem)
        return argumentFault(errhp, 3);
    *mem = nullptr;
    if (size == 0)
        return argumentFault(errhp, 5);
    void* p = (flags & OCI_MEMORY_CLEARED) ? std::calloc(1, size) : std::malloc(size);
    if (!p) {
        if (Error* err = errorOf(errhp))
            return fail(err, 1019, "ORA-01019: unable to allocate memory in the user side");
        return OCI_ERROR;
    }
    call.handle()->env->userMemory[p] = size;
    *mem = p;
    return OCI_SUCCESS;
}

OCI_EXPORT sword OCIMemoryResize(void* hdl, OCIError* errhp, void** mem, ub4 newsize, ub4 flags) {
    CallLock call(hdl, 0);
    if (!call.handle() || !contextEnv(hdl))
        return OCI_INVALID_HANDLE;
    if (!mem || !*mem || !call.handle()->env->userMemory.count(*mem))
        return argumentFault(errhp, 3);
    if (newsize == 0)
        return argumentFault(errhp, 4);
    auto& blocks = call.handle()->env->userMemory;
    const std::size_t oldSize = blocks[*mem];
    void* p = std::realloc(*mem, newsize);
    if (!p) {
        if (Error* err = errorOf(errhp))
            return fail(err, 1019, "ORA-01019: unable to allocate memory in the user side");
        return OCI_ERROR;
    }
    if ((flags & OCI_MEMORY_CLEARED) && newsize > oldSize)
        std::memset(static_cast<char*>(p) + oldSize, 0, newsize - oldSize);
    blocks.erase(*mem);
    blocks[p] = newsize;
    *mem = p;
    return OCI_SUCCESS;
}

OCI_EXPORT sword OCIMemoryFree(void* hdl, OCIError* errhp, void* mem) {
    CallLock call(hdl, 0);
    if (!call.handle() || !contextEnv(hdl))
        return OCI_INVALID_HANDLE;
    auto& blocks = call.handle()->env->userMemory;
    if (!mem || !blocks.count(mem))
        return argumentFault(errhp, 3);
    blocks.erase(mem);
    std::free(mem);
    return OCI_SUCCESS;
}

OCI_EXPORT sword OCIContextSetValue(void* hdl, OCIError* errhp, OCIDuration, ub1* key, ub1 keylen,
                                    void* ctx_value) {
    CallLock call(hdl, 0);
    Handle* h = call.handle();
    auto* values = h && !h->descriptor ? contextValues(h) : nullptr;
    if (!values)
        return OCI_INVALID_HANDLE;
    if (!key || keylen == 0)
        return argumentFault(errhp, 4);
    (*values)[std::string(reinterpret_cast<const char*>(key), keylen)] = ctx_value;
    return OCI_SUCCESS;
}

OCI_EXPORT sword OCIContextGetValue(void* hdl, OCIError* errhp, ub1* key, ub1 keylen, void** ctx_value) {
    CallLock call(hdl, 0);
    Handle* h = call.handle();
    auto* values = h && !h->descriptor ? contextValues(h) : nullptr;
    if (!values)
        return OCI_INVALID_HANDLE;
    if (!key || keylen == 0)
        return argumentFault(errhp, 3);
    if (!ctx_value)
        return argumentFault(errhp, 5);
    // A key never set reads as a null value.
    auto it = values->find(std::string(reinterpret_cast<const char*>(key), keylen));
    *ctx_value = it == values->end() ? nullptr : it->second;
    return OCI_SUCCESS;
}

OCI_EXPORT sword OCIContextClearValue(void* hdl, OCIError* errhp, ub1* key, ub1 keylen) {
    CallLock call(hdl, 0);
    Handle* h = call.handle();
    auto* values = h && !h->descriptor ? contextValues(h) : nullptr;
    if (!values)
        return OCI_INVALID_HANDLE;
    if (!key || keylen == 0)
        return argumentFault(errhp, 3);
    values->erase(std::string(reinterpret_cast<const char*>(key), keylen));
    return OCI_SUCCESS;
}
