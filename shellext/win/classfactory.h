#pragma once

#include <windows.h>
#include <unknwn.h>

namespace qzt {

// The one factory of the library. It lives as long as the library is loaded, so its own
// reference count does not keep the library in memory; LockServer does.
class ClassFactory final : public IClassFactory {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** object) override;
    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override;
};

ClassFactory& handlerFactory();

} // namespace qzt
