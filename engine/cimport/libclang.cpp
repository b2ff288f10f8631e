#include "libclang.h"

#include <dlfcn.h>

#ifndef VM_LIBCLANG_SONAME
#error "VM_LIBCLANG_SONAME must name the libclang the build was made against"
#endif

namespace vm::libclang {

namespace {

struct Loaded {
    Api api;
    std::string error;
    bool ok = false;
};

Loaded load() {
    Loaded l;
    void* lib = ::dlopen(VM_LIBCLANG_SONAME, RTLD_NOW | RTLD_LOCAL);
    if (!lib) {
        const char* why = ::dlerror();
        l.error = std::string("C declarations cannot be imported: libclang (") +
                  VM_LIBCLANG_SONAME + ") could not be loaded" +
                  (why ? std::string(": ") + why : "") +
                  ". Install libclang1-14 and libclang-common-14-dev";
        return l;
    }
    // Kept loaded for the life of the process: the functions are used again.
#define VM_LIBCLANG_LOAD(name)                                                                     \
    l.api.name = reinterpret_cast<decltype(&::name)>(::dlsym(lib, #name));                         \
    if (!l.api.name) {                                                                             \
        l.error = "C declarations cannot be imported: " VM_LIBCLANG_SONAME " has no " #name;       \
        return l;                                                                                  \
    }
    VM_LIBCLANG_FUNCTIONS(VM_LIBCLANG_LOAD)
#undef VM_LIBCLANG_LOAD
    l.ok = true;
    return l;
}

} // namespace

const Api* api(std::string* error) {
    static const Loaded loaded = load();
    if (!loaded.ok) {
        if (error)
            *error = loaded.error;
        return nullptr;
    }
    return &loaded.api;
}

} // namespace vm::libclang
