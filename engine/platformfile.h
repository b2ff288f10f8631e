#pragma once

// Helpers for the Windows branches of the file code. Paths are UTF-8 throughout
// the engine; the wide system calls get them converted here. Nothing of this
// is needed on POSIX systems, where paths go to the system as they are.
#ifdef _WIN32

#include <cstdint>
#include <string>

#include <windows.h>

namespace vm::win {

std::wstring widePath(const std::string& path);
std::string narrowText(const std::wstring& text);
// The system's text for GetLastError() (or the given code).
std::string lastErrorText();
std::string errorText(unsigned long code);
// True when something (a file, a folder, a link, even a dangling one) has the name.
bool nameTaken(const std::string& path);
// True for a plain file: not a folder, not a link or other reparse point.
bool isPlainFile(const std::string& path);
bool removeFile(const std::string& path);
// The file's information through its name (a link is followed), without
// conflicting with anyone's sharing.
bool fileInformation(const std::string& path, BY_HANDLE_FILE_INFORMATION& info);
// True when both names lead to one file (same volume and file index).
bool sameFile(const std::string& a, const std::string& b);

} // namespace vm::win

#endif
