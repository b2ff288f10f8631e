#pragma once

#include <windows.h>

namespace qzt {

// Write or remove the handler's registry entries; S_OK or E_FAIL.
HRESULT registerServer();
HRESULT unregisterServer();

} // namespace qzt
