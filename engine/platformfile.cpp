#include "platformfile.h"

#ifdef _WIN32

#include <windows.h>

namespace vm::win {

std::wstring widePath(const std::string& path) {
    if (path.empty())
        return {};
    const int n =
        ::MultiByteToWideChar(CP_UTF8, 0, path.data(), static_cast<int>(path.size()), nullptr, 0);
    std::wstring w(static_cast<std::size_t>(n), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, path.data(), static_cast<int>(path.size()), w.data(), n);
    return w;
}

std::string narrowText(const std::wstring& text) {
    if (text.empty())
        return {};
    const int n = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                        nullptr, 0, nullptr, nullptr);
    std::string s(static_cast<std::size_t>(n), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), s.data(), n,
                          nullptr, nullptr);
    return s;
}

std::string errorText(unsigned long code) {
    wchar_t* buf = nullptr;
    const DWORD n = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0, reinterpret_cast<wchar_t*>(&buf), 0, nullptr);
    std::wstring w = n && buf ? std::wstring(buf, n) : std::wstring();
    if (buf)
        ::LocalFree(buf);
    // The system's texts end in a line break, which would land inside our messages.
    while (!w.empty() && (w.back() == L'\n' || w.back() == L'\r' || w.back() == L' '))
        w.pop_back();
    if (w.empty())
        return "System error " + std::to_string(code);
    return narrowText(w);
}

std::string lastErrorText() {
    return errorText(::GetLastError());
}

bool nameTaken(const std::string& path) {
    // Attributes are read from the name itself, never through a link.
    return ::GetFileAttributesW(widePath(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool isPlainFile(const std::string& path) {
    const DWORD a = ::GetFileAttributesW(widePath(path).c_str());
    return a != INVALID_FILE_ATTRIBUTES &&
           (a & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) == 0;
}

bool removeFile(const std::string& path) {
    return ::DeleteFileW(widePath(path).c_str()) != 0;
}

bool fileInformation(const std::string& path, BY_HANDLE_FILE_INFORMATION& info) {
    // Attributes only: this open conflicts with no one's sharing.
    const HANDLE h = ::CreateFileW(widePath(path).c_str(), FILE_READ_ATTRIBUTES,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                   OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    const bool ok = ::GetFileInformationByHandle(h, &info) != 0;
    ::CloseHandle(h);
    return ok;
}

bool sameFile(const std::string& a, const std::string& b) {
    BY_HANDLE_FILE_INFORMATION x{}, y{};
    return fileInformation(a, x) && fileInformation(b, y) &&
           x.dwVolumeSerialNumber == y.dwVolumeSerialNumber &&
           x.nFileIndexHigh == y.nFileIndexHigh && x.nFileIndexLow == y.nFileIndexLow;
}

} // namespace vm::win

#endif
