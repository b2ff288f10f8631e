#pragma once

// The parts of the context-menu handler that need no Windows API: the menu rule, the help
// text, the command line handed to the program and the registry layout. The DLL executes
// them; the native tests check them on any platform.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace qzt {

inline constexpr std::wstring_view kClassIdText = L"{63944868-2341-1AF3-3467-023456789AB3}";
inline constexpr std::wstring_view kDescription = L"Context Menu Shell Extension";
inline constexpr std::wstring_view kMenuText = L"Open With Vellomarque";
inline constexpr std::string_view kHelpText =
    "Open With Vellomarque by http://www.vellomarque.net/";
inline constexpr std::wstring_view kProgramFile = L"vellomarque.exe";
inline constexpr std::wstring_view kSettingsKey = L"SOFTWARE\\Tollwick";
inline constexpr std::wstring_view kInstallPathValue = L"InstallPath";
inline constexpr std::wstring_view kHandlerKey =
    L"*\\shellex\\ContextMenuHandlers\\OpenWithVellomarque";
inline constexpr std::wstring_view kHandlersKey = L"*\\shellex\\ContextMenuHandlers";
inline constexpr std::wstring_view kShellexKey = L"*\\shellex";
inline constexpr std::wstring_view kApprovedKey =
    L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Shell Extensions\\Approved";

// Characters of the per-name buffer: the system's path limit plus the terminator.
inline constexpr std::size_t kNameBufferChars = 261;

// Low bits of the QueryContextMenu flags.
inline constexpr unsigned kMenuDefaultOnly = 0x1;
inline constexpr unsigned kMenuVerbsOnly = 0x2;
inline constexpr unsigned kMenuExplore = 0x4;
inline constexpr unsigned kMenuNoVerbs = 0x8;

// True when QueryContextMenu should add its item: requests for the default verb only, for
// verbs only or without verbs get nothing, unless they come from the explorer tree.
bool wantsMenuItem(unsigned flags);

// Copies the help text into buffer, never more than size bytes including the terminator.
// Returns the number of characters copied (without the terminator); size 0 writes nothing.
std::size_t copyHelpText(char* buffer, std::size_t size);

// install path + "\" + "vellomarque.exe".
std::wstring programPath(std::wstring_view installPath);

// One command-line argument in double quotes, escaped so that the program's start-up code
// reads back exactly `text` (backslashes before a quote are doubled).
std::wstring quoteArgument(std::wstring_view text);

// The program's parameters: only the first selected name, quoted; empty for no names.
std::wstring programParameters(const std::vector<std::wstring>& names);

// The server path goes into the registry in its short 8.3 form when it contains a blank.
bool wantsShortPath(std::wstring_view path);

enum class Root { ClassesRoot, LocalMachine };

// One string value to write; an empty name is the key's default value.
struct RegistryValue {
    Root root;
    std::wstring key;
    std::wstring name;
    std::wstring data;
};

// Everything DllRegisterServer writes, in order. serverPath is the already shortened path.
std::vector<RegistryValue> registrationPlan(std::wstring_view serverPath, bool ntFamily);

struct KeyRemoval {
    Root root;
    std::wstring key;
    // Shared keys are removed only when no other handler's key is left below them.
    bool onlyWhenEmpty;
};

// Everything DllUnregisterServer removes, in order (children before parents).
std::vector<KeyRemoval> unregistrationPlan();

} // namespace qzt
