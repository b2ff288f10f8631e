// Entry points of the in-process server.

#include <windows.h>
#include <objbase.h>

#include "classfactory.h"
#include "module.h"
#include "registration.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        qzt::setModuleInstance(instance);
        DisableThreadLibraryCalls(instance);
    }
    return TRUE;
}

STDAPI DllGetClassObject(REFCLSID classId, REFIID riid, LPVOID* object) {
    if (object == nullptr)
        return E_POINTER;
    *object = nullptr;
    if (!IsEqualCLSID(classId, qzt::kHandlerClassId))
        return CLASS_E_CLASSNOTAVAILABLE;
    return qzt::handlerFactory().QueryInterface(riid, object);
}

STDAPI DllCanUnloadNow() {
    return qzt::moduleInUse() ? S_FALSE : S_OK;
}

STDAPI DllRegisterServer() {
    return qzt::registerServer();
}

STDAPI DllUnregisterServer() {
    return qzt::unregisterServer();
}
