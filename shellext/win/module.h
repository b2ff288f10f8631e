#pragma once

// Process-wide state of the server: the module handle and the counts that decide whether
// the host may unload the library.

#include <windows.h>

namespace qzt {

// {63944868-2341-1AF3-3467-023456789AB3}
inline constexpr CLSID kHandlerClassId = {
    0x63944868, 0x2341, 0x1AF3, {0x34, 0x67, 0x02, 0x34, 0x56, 0x78, 0x9A, 0xB3}};

HINSTANCE moduleInstance();
void setModuleInstance(HINSTANCE instance);

// Handler objects and factory locks live on whatever threads the host uses, so the counts
// are changed atomically.
void objectCreated();
void objectDestroyed();
void lockModule();
void unlockModule();
bool moduleInUse();

} // namespace qzt
