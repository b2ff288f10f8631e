#include "shellcore.h"

#include <algorithm>

namespace qzt {

namespace {

std::wstring classKey() {
    return L"CLSID\\" + std::wstring(kClassIdText);
}

} // namespace

bool wantsMenuItem(unsigned flags) {
    return (flags & 0x0Fu) == 0 || (flags & kMenuExplore) != 0;
}

std::size_t copyHelpText(char* buffer, std::size_t size) {
    if (buffer == nullptr || size == 0)
        return 0;
    const std::size_t n = std::min(size - 1, kHelpText.size());
    std::copy_n(kHelpText.data(), n, buffer);
    buffer[n] = '\0';
    return n;
}

std::wstring programPath(std::wstring_view installPath) {
    std::wstring path(installPath);
    path += L'\\';
    path += kProgramFile;
    return path;
}

std::wstring quoteArgument(std::wstring_view text) {
    // The start-up code of Windows programs treats 2n backslashes before a quote as n
    // backslashes and 2n+1 as n plus a literal quote; backslashes elsewhere are literal.
    std::wstring out = L"\"";
    std::size_t backslashes = 0;
    for (const wchar_t c : text) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        if (c == L'"') {
            out.append(backslashes * 2 + 1, L'\\');
        } else {
            out.append(backslashes, L'\\');
        }
        backslashes = 0;
        out += c;
    }
    out.append(backslashes * 2, L'\\');
    out += L'"';
    return out;
}

std::wstring programParameters(const std::vector<std::wstring>& names) {
    if (names.empty())
        return {};
    return quoteArgument(names.front());
}

bool wantsShortPath(std::wstring_view path) {
    return path.find(L' ') != std::wstring_view::npos;
}

std::vector<RegistryValue> registrationPlan(std::wstring_view serverPath, bool ntFamily) {
    const std::wstring clsid = classKey();
    std::vector<RegistryValue> plan = {
        {Root::ClassesRoot, clsid, L"", std::wstring(kDescription)},
        {Root::ClassesRoot, clsid + L"\\InprocServer32", L"", std::wstring(serverPath)},
        {Root::ClassesRoot, clsid + L"\\InprocServer32", L"ThreadingModel", L"Apartment"},
        {Root::ClassesRoot, std::wstring(kShellexKey), L"", L""},
        {Root::ClassesRoot, std::wstring(kHandlersKey), L"", L""},
        {Root::ClassesRoot, std::wstring(kHandlerKey), L"", std::wstring(kClassIdText)},
    };
    if (ntFamily) {
        plan.push_back({Root::LocalMachine, std::wstring(kApprovedKey), std::wstring(kClassIdText),
                        std::wstring(kDescription)});
    }
    return plan;
}

std::vector<KeyRemoval> unregistrationPlan() {
    const std::wstring clsid = classKey();
    // The approval under the local machine is left in place on purpose.
    return {
        {Root::ClassesRoot, std::wstring(kHandlerKey), false},
        {Root::ClassesRoot, std::wstring(kHandlersKey), true},
        {Root::ClassesRoot, clsid + L"\\InprocServer32", false},
        {Root::ClassesRoot, clsid, false},
    };
}

} // namespace qzt
