#include "module.h"

#include <atomic>

namespace qzt {

namespace {

HINSTANCE g_instance = nullptr;
std::atomic<long> g_objects{0};
std::atomic<long> g_locks{0};

} // namespace

HINSTANCE moduleInstance() {
    return g_instance;
}

void setModuleInstance(HINSTANCE instance) {
    g_instance = instance;
}

void objectCreated() {
    g_objects.fetch_add(1);
}

void objectDestroyed() {
    g_objects.fetch_sub(1);
}

void lockModule() {
    g_locks.fetch_add(1);
}

void unlockModule() {
    // A host that unlocks more often than it locked must not make the count negative and
    // so keep the library loaded forever (or unload it while locked later).
    long current = g_locks.load();
    while (current > 0 && !g_locks.compare_exchange_weak(current, current - 1)) {
    }
}

bool moduleInUse() {
    return g_objects.load() != 0 || g_locks.load() != 0;
}

} // namespace qzt
