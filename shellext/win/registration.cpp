#include "registration.h"

#include <exception>
#include <string>
#include <vector>

#include "module.h"
#include "shellcore.h"

namespace qzt {

namespace {

HKEY rootKey(Root root) {
    return root == Root::ClassesRoot ? HKEY_CLASSES_ROOT : HKEY_LOCAL_MACHINE;
}

std::wstring modulePath() {
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        const DWORD n =
            GetModuleFileNameW(moduleInstance(), buffer.data(), static_cast<DWORD>(buffer.size()));
        if (n == 0)
            return {};
        if (n < buffer.size())
            return std::wstring(buffer.data(), n);
        buffer.resize(buffer.size() * 2);
    }
}

// The 8.3 form of the path when it has a blank; the long form when the volume keeps no
// short names.
std::wstring serverPath(const std::wstring& path) {
    if (!wantsShortPath(path))
        return path;
    const DWORD needed = GetShortPathNameW(path.c_str(), nullptr, 0);
    if (needed == 0)
        return path;
    std::vector<wchar_t> buffer(needed + 1, L'\0');
    const DWORD n = GetShortPathNameW(path.c_str(), buffer.data(), needed + 1);
    if (n == 0 || n > needed)
        return path;
    return std::wstring(buffer.data(), n);
}

bool isNtFamily() {
    return (GetVersion() & 0x80000000u) == 0;
}

bool writeValue(const RegistryValue& value) {
    HKEY key = nullptr;
    if (RegCreateKeyExW(rootKey(value.root), value.key.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_SET_VALUE, nullptr, &key, nullptr) != ERROR_SUCCESS) {
        return false;
    }
    const auto bytes = static_cast<DWORD>((value.data.size() + 1) * sizeof(wchar_t));
    const LSTATUS status =
        RegSetValueExW(key, value.name.empty() ? nullptr : value.name.c_str(), 0, REG_SZ,
                       reinterpret_cast<const BYTE*>(value.data.c_str()), bytes);
    RegCloseKey(key);
    return status == ERROR_SUCCESS;
}

bool hasSubkeys(HKEY root, const std::wstring& name, bool& exists) {
    HKEY key = nullptr;
    const LSTATUS opened = RegOpenKeyExW(root, name.c_str(), 0, KEY_QUERY_VALUE, &key);
    exists = opened != ERROR_FILE_NOT_FOUND;
    if (opened != ERROR_SUCCESS)
        return false;
    DWORD subkeys = 0;
    const LSTATUS status = RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &subkeys, nullptr,
                                            nullptr, nullptr, nullptr, nullptr, nullptr, nullptr);
    RegCloseKey(key);
    return status != ERROR_SUCCESS || subkeys != 0;
}

bool removeKey(const KeyRemoval& removal) {
    const HKEY root = rootKey(removal.root);
    if (removal.onlyWhenEmpty) {
        bool exists = false;
        // Another handler still registered below: the shared key stays.
        if (hasSubkeys(root, removal.key, exists) || !exists)
            return true;
    }
    const LSTATUS status = RegDeleteKeyW(root, removal.key.c_str());
    // Already gone counts as removed, so unregistering twice is not an error.
    return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND;
}

} // namespace

HRESULT registerServer() {
    try {
        const std::wstring path = modulePath();
        if (path.empty())
            return E_FAIL;
        for (const RegistryValue& value : registrationPlan(serverPath(path), isNtFamily())) {
            if (!writeValue(value))
                return E_FAIL;
        }
        return S_OK;
    } catch (const std::exception&) {
        return E_FAIL;
    }
}

HRESULT unregisterServer() {
    try {
        bool ok = true;
        // Carry on after a failure so that as much as possible is removed.
        for (const KeyRemoval& removal : unregistrationPlan())
            ok = removeKey(removal) && ok;
        return ok ? S_OK : E_FAIL;
    } catch (const std::exception&) {
        return E_FAIL;
    }
}

} // namespace qzt
