#include "contextmenu.h"

#include <exception>
#include <new>
#include <shellapi.h>

#include "module.h"

namespace qzt {

namespace {

constexpr wchar_t kMenuItemText[] = L"Open With Vellomarque";
static_assert(std::wstring_view(kMenuItemText) == kMenuText);

// InstallPath below HKLM\SOFTWARE\Tollwick; empty when the key or the value is missing or
// is not text.
std::wstring readInstallPath() {
    const std::wstring keyName(kSettingsKey);
    const std::wstring valueName(kInstallPathValue);
    HKEY key = nullptr;
    // The program's installer normally writes the key; it is created when missing, which
    // needs rights that a normal user lacks, so fall back to opening it for reading.
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, keyName.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_QUERY_VALUE, nullptr, &key, nullptr) != ERROR_SUCCESS &&
        RegOpenKeyExW(HKEY_LOCAL_MACHINE, keyName.c_str(), 0, KEY_QUERY_VALUE, &key) !=
            ERROR_SUCCESS) {
        return {};
    }
    std::wstring result;
    DWORD type = 0;
    DWORD bytes = 0;
    if (RegQueryValueExW(key, valueName.c_str(), nullptr, &type, nullptr, &bytes) ==
            ERROR_SUCCESS &&
        (type == REG_SZ || type == REG_EXPAND_SZ)) {
        // Registry strings need not be terminated; keep room for one of our own.
        std::vector<wchar_t> text(bytes / sizeof(wchar_t) + 1, L'\0');
        DWORD size = static_cast<DWORD>(text.size() * sizeof(wchar_t));
        if (RegQueryValueExW(key, valueName.c_str(), nullptr, &type,
                             reinterpret_cast<BYTE*>(text.data()), &size) == ERROR_SUCCESS) {
            text.back() = L'\0';
            result = text.data();
            if (type == REG_EXPAND_SZ) {
                const DWORD needed = ExpandEnvironmentStringsW(result.c_str(), nullptr, 0);
                std::vector<wchar_t> expanded(needed + 1, L'\0');
                if (needed > 0 &&
                    ExpandEnvironmentStringsW(result.c_str(), expanded.data(), needed + 1) > 0) {
                    result = expanded.data();
                }
            }
        }
    }
    RegCloseKey(key);
    return result;
}

} // namespace

ContextMenuHandler::ContextMenuHandler() {
    objectCreated();
}

ContextMenuHandler::~ContextMenuHandler() {
    objectDestroyed();
}

HRESULT STDMETHODCALLTYPE ContextMenuHandler::QueryInterface(REFIID riid, void** object) {
    if (object == nullptr)
        return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IShellExtInit)) {
        *object = static_cast<IShellExtInit*>(this);
    } else if (IsEqualIID(riid, IID_IContextMenu)) {
        *object = static_cast<IContextMenu*>(this);
    } else {
        *object = nullptr;
        return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
}

ULONG STDMETHODCALLTYPE ContextMenuHandler::AddRef() {
    return ++m_refs;
}

ULONG STDMETHODCALLTYPE ContextMenuHandler::Release() {
    const ULONG left = --m_refs;
    if (left == 0)
        delete this;
    return left;
}

HRESULT STDMETHODCALLTYPE ContextMenuHandler::Initialize(PCIDLIST_ABSOLUTE, IDataObject* data,
                                                         HKEY) {
    if (data == nullptr)
        return E_INVALIDARG;
    FORMATETC format = {CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    STGMEDIUM medium = {};
    const HRESULT got = data->GetData(&format, &medium);
    if (FAILED(got))
        return got;
    HRESULT result = E_INVALIDARG;
    if (medium.tymed == TYMED_HGLOBAL && medium.hGlobal != nullptr)
        result = readDrop(static_cast<HDROP>(medium.hGlobal));
    ReleaseStgMedium(&medium);
    return result;
}

HRESULT ContextMenuHandler::readDrop(HDROP drop) {
    try {
        std::vector<std::wstring> names;
        const UINT count = DragQueryFileW(drop, 0xFFFFFFFFu, nullptr, 0);
        names.reserve(count);
        for (UINT i = 0; i < count; ++i) {
            const UINT length = DragQueryFileW(drop, i, nullptr, 0);
            // An empty entry names no file (a drop with no files can read as one).
            if (length == 0)
                continue;
            if (length < kNameBufferChars) {
                DragQueryFileW(drop, i, m_nameBuffer, kNameBufferChars);
                names.emplace_back(m_nameBuffer);
            } else {
                // A name past the path limit would be cut short by the fixed buffer and
                // name some other file; read it whole instead.
                std::vector<wchar_t> longName(length + 1, L'\0');
                DragQueryFileW(drop, i, longName.data(), length + 1);
                names.emplace_back(longName.data());
            }
        }
        m_names.swap(names);
        return S_OK;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (const std::exception&) {
        return E_FAIL;
    }
}

HRESULT STDMETHODCALLTYPE ContextMenuHandler::QueryContextMenu(HMENU menu, UINT index,
                                                               UINT firstCommand, UINT lastCommand,
                                                               UINT flags) {
    if (!wantsMenuItem(flags) || firstCommand > lastCommand)
        return MAKE_HRESULT(SEVERITY_SUCCESS, 0, 0);
    // Report only the items really added: claiming one that is not in the menu would make
    // the host reserve a command id for nothing.
    if (!InsertMenuW(menu, index, MF_BYPOSITION | MF_STRING, firstCommand, kMenuItemText))
        return MAKE_HRESULT(SEVERITY_SUCCESS, 0, 0);
    return MAKE_HRESULT(SEVERITY_SUCCESS, 0, 1);
}

HRESULT STDMETHODCALLTYPE ContextMenuHandler::InvokeCommand(CMINVOKECOMMANDINFO* info) {
    if (info == nullptr)
        return E_INVALIDARG;
    if (!IS_INTRESOURCE(info->lpVerb))
        return E_FAIL;
    if (LOWORD(reinterpret_cast<ULONG_PTR>(info->lpVerb)) != 0)
        return E_INVALIDARG;
    // Without a selection there is nothing to open; the host must not see a failure.
    if (m_names.empty())
        return S_OK;
    try {
        startProgram();
    } catch (const std::exception&) {
        // The outcome of the start is not reported either way.
    }
    return S_OK;
}

void ContextMenuHandler::startProgram() const {
    const std::wstring installPath = readInstallPath();
    const std::wstring program = programPath(installPath);
    const std::wstring parameters = programParameters(m_names);
    SHELLEXECUTEINFOW execute = {};
    execute.cbSize = sizeof(execute);
    // No error dialog: a missing program fails silently, and the start completes before
    // the host may unload the library.
    execute.fMask = SEE_MASK_FLAG_NO_UI | SEE_MASK_NOASYNC;
    execute.hwnd = nullptr;
    execute.lpVerb = nullptr;
    execute.lpFile = program.c_str();
    execute.lpParameters = parameters.c_str();
    execute.lpDirectory = installPath.empty() ? nullptr : installPath.c_str();
    execute.nShow = SW_SHOWNORMAL;
    ShellExecuteExW(&execute);
}

HRESULT STDMETHODCALLTYPE ContextMenuHandler::GetCommandString(UINT_PTR command, UINT type, UINT*,
                                                               CHAR* buffer, UINT size) {
    if (command != 0)
        return E_INVALIDARG;
    if (type == GCS_HELPTEXTA) {
        if (buffer == nullptr && size != 0)
            return E_INVALIDARG;
        copyHelpText(buffer, size);
    }
    return S_OK;
}

} // namespace qzt
