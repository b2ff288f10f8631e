#include "classfactory.h"

#include <new>

#include "contextmenu.h"
#include "module.h"

namespace qzt {

HRESULT STDMETHODCALLTYPE ClassFactory::QueryInterface(REFIID riid, void** object) {
    if (object == nullptr)
        return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IClassFactory)) {
        *object = static_cast<IClassFactory*>(this);
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

ULONG STDMETHODCALLTYPE ClassFactory::AddRef() {
    return 2;
}

ULONG STDMETHODCALLTYPE ClassFactory::Release() {
    return 1;
}

HRESULT STDMETHODCALLTYPE ClassFactory::CreateInstance(IUnknown* outer, REFIID riid,
                                                       void** object) {
    if (object == nullptr)
        return E_POINTER;
    *object = nullptr;
    if (outer != nullptr)
        return CLASS_E_NOAGGREGATION;
    auto* handler = new (std::nothrow) ContextMenuHandler();
    if (handler == nullptr)
        return E_OUTOFMEMORY;
    const HRESULT result = handler->QueryInterface(riid, object);
    handler->Release();
    return result;
}

HRESULT STDMETHODCALLTYPE ClassFactory::LockServer(BOOL lock) {
    if (lock)
        lockModule();
    else
        unlockModule();
    return S_OK;
}

ClassFactory& handlerFactory() {
    static ClassFactory factory;
    return factory;
}

} // namespace qzt
