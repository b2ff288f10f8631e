#pragma once

#include <atomic>
#include <string>
#include <vector>

#include <windows.h>
#include <shlobj.h>

#include "shellcore.h"

namespace qzt {

// The handler the file manager creates for a right-click on files: it remembers the
// selected names, adds "Open With Vellomarque" and starts the program on the first name.
class ContextMenuHandler final : public IShellExtInit, public IContextMenu {
public:
    ContextMenuHandler();
    ~ContextMenuHandler();
    ContextMenuHandler(const ContextMenuHandler&) = delete;
    ContextMenuHandler& operator=(const ContextMenuHandler&) = delete;

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

    // IShellExtInit
    HRESULT STDMETHODCALLTYPE Initialize(PCIDLIST_ABSOLUTE folder, IDataObject* data,
                                         HKEY programKey) override;

    // IContextMenu
    HRESULT STDMETHODCALLTYPE QueryContextMenu(HMENU menu, UINT index, UINT firstCommand,
                                               UINT lastCommand, UINT flags) override;
    HRESULT STDMETHODCALLTYPE InvokeCommand(CMINVOKECOMMANDINFO* info) override;
    HRESULT STDMETHODCALLTYPE GetCommandString(UINT_PTR command, UINT type, UINT* reserved,
                                               CHAR* buffer, UINT size) override;

private:
    HRESULT readDrop(HDROP drop);
    void startProgram() const;

    std::atomic<ULONG> m_refs{1};
    std::vector<std::wstring> m_names;
    wchar_t m_nameBuffer[kNameBufferChars] = {};
};

} // namespace qzt
