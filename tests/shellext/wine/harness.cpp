// Loads qztshell.dll the way the file manager does and checks its exports, its COM objects
// and the program start for real. Runs under Wine (or on Windows).
//
//   qzt_harness exports <dll>                   exported names and imported DLLs
//   qzt_harness com <dll> <stub exe> <workdir>  class factory, handler, counts, starting
//   qzt_harness regpath <dll>                   registered server path names that DLL
//   qzt_harness regfail <dll>                   registry errors give E_FAIL
//
// Prints one line per failed check; the exit code is the number of failures (capped).

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <windows.h>
#include <objbase.h>
#include <shlobj.h>

#include "shellcore.h"

namespace {

int g_failures = 0;

std::string utf8(std::wstring_view text) {
    if (text.empty())
        return {};
    const int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                      nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n,
                        nullptr, nullptr);
    return out;
}

void check(bool ok, const char* what, int line) {
    if (!ok) {
        ++g_failures;
        std::printf("FAIL (line %d): %s\n", line, what);
        std::fflush(stdout);
    }
}

void checkHr(HRESULT got, HRESULT expected, const char* what, int line) {
    if (got != expected) {
        ++g_failures;
        std::printf("FAIL (line %d): %s returned 0x%08lX, expected 0x%08lX\n", line, what,
                    static_cast<unsigned long>(got), static_cast<unsigned long>(expected));
        std::fflush(stdout);
    }
}

void checkText(const std::string& got, const std::string& expected, const char* what, int line) {
    if (got != expected) {
        ++g_failures;
        std::printf("FAIL (line %d): %s is [%s], expected [%s]\n", line, what, got.c_str(),
                    expected.c_str());
        std::fflush(stdout);
    }
}

#define CHECK(cond) check((cond), #cond, __LINE__)
#define CHECK_HR(expr, expected) checkHr((expr), (expected), #expr, __LINE__)
#define CHECK_TEXT(got, expected) checkText((got), (expected), #got, __LINE__)

using GetClassObjectFn = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, LPVOID*);
using NoArgFn = HRESULT(STDAPICALLTYPE*)();

struct Server {
    HMODULE module = nullptr;
    GetClassObjectFn getClassObject = nullptr;
    NoArgFn canUnloadNow = nullptr;
    NoArgFn registerServer = nullptr;
    NoArgFn unregisterServer = nullptr;
};

template <typename Fn> Fn exported(HMODULE module, const char* name) {
    FARPROC proc = GetProcAddress(module, name);
    Fn fn = nullptr;
    static_assert(sizeof(fn) == sizeof(proc));
    std::memcpy(&fn, &proc, sizeof(fn));
    return fn;
}

bool loadServer(const std::wstring& path, Server& server) {
    server.module = LoadLibraryW(path.c_str());
    if (server.module == nullptr) {
        std::printf("FAIL: cannot load %s (error %lu)\n", utf8(path).c_str(), GetLastError());
        return false;
    }
    server.getClassObject = exported<GetClassObjectFn>(server.module, "DllGetClassObject");
    server.canUnloadNow = exported<NoArgFn>(server.module, "DllCanUnloadNow");
    server.registerServer = exported<NoArgFn>(server.module, "DllRegisterServer");
    server.unregisterServer = exported<NoArgFn>(server.module, "DllUnregisterServer");
    return server.getClassObject && server.canUnloadNow && server.registerServer &&
           server.unregisterServer;
}

CLSID handlerClassId() {
    CLSID id = {};
    const std::wstring text(qzt::kClassIdText);
    CLSIDFromString(text.c_str(), &id);
    return id;
}

// ---------------------------------------------------------------------------------------
// exports

template <typename T> const T* at(const BYTE* base, DWORD rva) {
    return reinterpret_cast<const T*>(base + rva);
}

void checkExports(const std::wstring& dllPath) {
    // Mapped as an image without running it, so the tables are at their virtual addresses.
    HMODULE module = LoadLibraryExW(dllPath.c_str(), nullptr, DONT_RESOLVE_DLL_REFERENCES);
    CHECK(module != nullptr);
    if (module == nullptr)
        return;
    const auto* base = reinterpret_cast<const BYTE*>(module);
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    const auto* nt = at<IMAGE_NT_HEADERS>(base, static_cast<DWORD>(dos->e_lfanew));
    CHECK(nt->FileHeader.Machine == IMAGE_FILE_MACHINE_AMD64);
    CHECK((nt->FileHeader.Characteristics & IMAGE_FILE_DLL) != 0);

    const IMAGE_DATA_DIRECTORY& exportDir =
        nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
    std::set<std::string> names;
    if (exportDir.VirtualAddress != 0) {
        const auto* exports = at<IMAGE_EXPORT_DIRECTORY>(base, exportDir.VirtualAddress);
        const auto* nameRvas = at<DWORD>(base, exports->AddressOfNames);
        for (DWORD i = 0; i < exports->NumberOfNames; ++i)
            names.insert(at<char>(base, nameRvas[i]));
        CHECK(exports->NumberOfFunctions == 4);
    }
    const std::set<std::string> expected = {"DllCanUnloadNow", "DllGetClassObject",
                                            "DllRegisterServer", "DllUnregisterServer"};
    CHECK(names == expected);
    for (const std::string& name : names) {
        if (!expected.count(name))
            std::printf("  unexpected export: %s\n", name.c_str());
    }

    // Only the system's own DLLs: the runtime is linked in.
    const std::set<std::string> system = {"advapi32.dll", "kernel32.dll", "msvcrt.dll",
                                          "ole32.dll",    "shell32.dll",  "user32.dll",
                                          "oleaut32.dll", "shlwapi.dll"};
    const IMAGE_DATA_DIRECTORY& importDir =
        nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    CHECK(importDir.VirtualAddress != 0);
    if (importDir.VirtualAddress != 0) {
        for (const auto* entry = at<IMAGE_IMPORT_DESCRIPTOR>(base, importDir.VirtualAddress);
             entry->Name != 0; ++entry) {
            std::string name = at<char>(base, entry->Name);
            for (char& c : name)
                c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
            if (!system.count(name) && name.rfind("api-ms-win-", 0) != 0) {
                ++g_failures;
                std::printf("FAIL: imports non-system DLL %s\n", name.c_str());
            }
        }
    }
    FreeLibrary(module);
}

// ---------------------------------------------------------------------------------------
// fake data object

// Counts how often the handler hands the storage medium back.
class ReleaseCounter final : public IUnknown {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
        if (IsEqualIID(riid, IID_IUnknown)) {
            *object = this;
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
    ULONG STDMETHODCALLTYPE Release() override {
        ++releases;
        return --refs;
    }
    ULONG refs = 1;
    int releases = 0;
};

// A data object as the file manager passes it: CF_HDROP in global memory, or nothing.
class FakeDataObject final : public IDataObject {
public:
    FakeDataObject(std::vector<std::wstring> names, bool hasDrop, bool wide)
        : m_names(std::move(names)), m_hasDrop(hasDrop), m_wide(wide) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDataObject)) {
            *object = static_cast<IDataObject*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++m_refs; }
    ULONG STDMETHODCALLTYPE Release() override { return --m_refs; }

    HRESULT STDMETHODCALLTYPE GetData(FORMATETC* format, STGMEDIUM* medium) override {
        ++getDataCalls;
        lastFormat = *format;
        if (!m_hasDrop || format->cfFormat != CF_HDROP || !(format->tymed & TYMED_HGLOBAL))
            return DV_E_FORMATETC;
        medium->tymed = TYMED_HGLOBAL;
        medium->hGlobal = m_wide ? wideDrop() : ansiDrop();
        medium->pUnkForRelease = &counter;
        counter.AddRef();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetDataHere(FORMATETC*, STGMEDIUM*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE QueryGetData(FORMATETC*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetCanonicalFormatEtc(FORMATETC*, FORMATETC*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE SetData(FORMATETC*, STGMEDIUM*, BOOL) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE EnumFormatEtc(DWORD, IEnumFORMATETC**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE DAdvise(FORMATETC*, DWORD, IAdviseSink*, DWORD*) override {
        return OLE_E_ADVISENOTSUPPORTED;
    }
    HRESULT STDMETHODCALLTYPE DUnadvise(DWORD) override { return OLE_E_ADVISENOTSUPPORTED; }
    HRESULT STDMETHODCALLTYPE EnumDAdvise(IEnumSTATDATA**) override {
        return OLE_E_ADVISENOTSUPPORTED;
    }

    FORMATETC lastFormat = {};
    int getDataCalls = 0;
    ReleaseCounter counter;

private:
    // The memory stays ours (released through the counter), so it is freed by the test.
    HGLOBAL wideDrop() {
        // Double-terminated even when empty.
        std::size_t chars = m_names.empty() ? 2 : 1;
        for (const auto& name : m_names)
            chars += name.size() + 1;
        HGLOBAL memory = GlobalAlloc(GHND, sizeof(DROPFILES) + chars * sizeof(wchar_t));
        auto* drop = static_cast<DROPFILES*>(GlobalLock(memory));
        drop->pFiles = sizeof(DROPFILES);
        drop->fWide = TRUE;
        auto* out = reinterpret_cast<wchar_t*>(reinterpret_cast<BYTE*>(drop) + sizeof(DROPFILES));
        for (const auto& name : m_names) {
            std::memcpy(out, name.c_str(), (name.size() + 1) * sizeof(wchar_t));
            out += name.size() + 1;
        }
        GlobalUnlock(memory);
        m_memory.push_back(memory);
        return memory;
    }
    HGLOBAL ansiDrop() {
        std::vector<std::string> names;
        std::size_t chars = 1;
        for (const auto& name : m_names) {
            std::string narrow(name.begin(), name.end());
            chars += narrow.size() + 1;
            names.push_back(narrow);
        }
        HGLOBAL memory = GlobalAlloc(GHND, sizeof(DROPFILES) + chars);
        auto* drop = static_cast<DROPFILES*>(GlobalLock(memory));
        drop->pFiles = sizeof(DROPFILES);
        drop->fWide = FALSE;
        auto* out = reinterpret_cast<char*>(drop) + sizeof(DROPFILES);
        for (const auto& name : names) {
            std::memcpy(out, name.c_str(), name.size() + 1);
            out += name.size() + 1;
        }
        GlobalUnlock(memory);
        m_memory.push_back(memory);
        return memory;
    }

public:
    ~FakeDataObject() {
        for (HGLOBAL memory : m_memory)
            GlobalFree(memory);
    }

private:
    ULONG m_refs = 1;
    std::vector<std::wstring> m_names;
    bool m_hasDrop;
    bool m_wide;
    std::vector<HGLOBAL> m_memory;
};

// ---------------------------------------------------------------------------------------
// program start

struct Install {
    std::wstring dir;
    std::wstring log() const { return dir + L"\\launches.txt"; }
};

std::string readFile(const std::wstring& path) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return {};
    std::string text;
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(file, buffer, sizeof(buffer), &got, nullptr) && got > 0)
        text.append(buffer, got);
    CloseHandle(file);
    return text;
}

void setInstallPath(const std::wstring* dir) {
    const std::wstring keyName(qzt::kSettingsKey);
    const std::wstring valueName(qzt::kInstallPathValue);
    HKEY key = nullptr;
    RegCreateKeyExW(HKEY_LOCAL_MACHINE, keyName.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                    &key, nullptr);
    if (dir != nullptr) {
        RegSetValueExW(key, valueName.c_str(), 0, REG_SZ,
                       reinterpret_cast<const BYTE*>(dir->c_str()),
                       static_cast<DWORD>((dir->size() + 1) * sizeof(wchar_t)));
    } else {
        RegDeleteValueW(key, valueName.c_str());
    }
    RegCloseKey(key);
}

// The stub's log after a start was expected: waits for a complete line, then a little
// longer so that a second, unwanted start would show too.
std::string waitForLaunches(const Install& install) {
    std::string text;
    for (int i = 0; i < 300; ++i) {
        text = readFile(install.log());
        if (!text.empty() && text.back() == '\n')
            break;
        Sleep(50);
    }
    Sleep(700);
    text = readFile(install.log());
    DeleteFileW(install.log().c_str());
    return text;
}

// The stub's log where no start was expected. The start completes before InvokeCommand
// returns, so a short wait suffices; a late line would still fail the next expected one.
std::string launchesSoFar(const Install& install) {
    Sleep(1500);
    const std::string text = readFile(install.log());
    DeleteFileW(install.log().c_str());
    return text;
}

bool createFile(const std::wstring& path) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    CloseHandle(file);
    return true;
}

CMINVOKECOMMANDINFO invokeInfo(LPCSTR verb) {
    CMINVOKECOMMANDINFO info = {};
    info.cbSize = sizeof(info);
    info.lpVerb = verb;
    info.nShow = SW_SHOWNORMAL;
    return info;
}

HRESULT invoke(IContextMenu* menu, UINT offset) {
    CMINVOKECOMMANDINFO info = invokeInfo(MAKEINTRESOURCEA(offset));
    return menu->InvokeCommand(&info);
}

// ---------------------------------------------------------------------------------------
// com

void checkFactory(const Server& server) {
    const CLSID handler = handlerClassId();
    void* object = reinterpret_cast<void*>(1);
    CHECK_HR(server.getClassObject(IID_IContextMenu, IID_IClassFactory, &object),
             CLASS_E_CLASSNOTAVAILABLE);
    CHECK(object == nullptr);
    object = reinterpret_cast<void*>(1);
    CHECK_HR(server.getClassObject(CLSID_ShellLink, IID_IUnknown, &object),
             CLASS_E_CLASSNOTAVAILABLE);
    CHECK(object == nullptr);
    object = reinterpret_cast<void*>(1);
    CHECK_HR(server.getClassObject(handler, IID_IContextMenu, &object), E_NOINTERFACE);
    CHECK(object == nullptr);

    IUnknown* unknown = nullptr;
    CHECK_HR(server.getClassObject(handler, IID_IUnknown, reinterpret_cast<void**>(&unknown)),
             S_OK);
    if (unknown != nullptr)
        unknown->Release();

    IClassFactory* factory = nullptr;
    CHECK_HR(server.getClassObject(handler, IID_IClassFactory, reinterpret_cast<void**>(&factory)),
             S_OK);
    if (factory == nullptr)
        return;

    ReleaseCounter outer;
    object = reinterpret_cast<void*>(1);
    CHECK_HR(factory->CreateInstance(&outer, IID_IUnknown, &object), CLASS_E_NOAGGREGATION);
    CHECK(object == nullptr);
    object = reinterpret_cast<void*>(1);
    CHECK_HR(factory->CreateInstance(nullptr, IID_IDataObject, &object), E_NOINTERFACE);
    CHECK(object == nullptr);
    // The refused object is gone again.
    CHECK_HR(server.canUnloadNow(), S_OK);

    IShellExtInit* init = nullptr;
    CHECK_HR(factory->CreateInstance(nullptr, IID_IShellExtInit, reinterpret_cast<void**>(&init)),
             S_OK);
    CHECK_HR(server.canUnloadNow(), S_FALSE);
    if (init != nullptr) {
        IContextMenu* menu = nullptr;
        CHECK_HR(init->QueryInterface(IID_IContextMenu, reinterpret_cast<void**>(&menu)), S_OK);
        IUnknown* a = nullptr;
        IUnknown* b = nullptr;
        init->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&a));
        if (menu != nullptr) {
            menu->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&b));
            CHECK(a == b); // one identity whatever interface is asked
            menu->Release();
        }
        if (a)
            a->Release();
        if (b)
            b->Release();
        init->Release();
    }
    CHECK_HR(server.canUnloadNow(), S_OK);

    CHECK_HR(factory->LockServer(TRUE), S_OK);
    CHECK_HR(server.canUnloadNow(), S_FALSE);
    CHECK_HR(factory->LockServer(TRUE), S_OK);
    CHECK_HR(factory->LockServer(FALSE), S_OK);
    CHECK_HR(server.canUnloadNow(), S_FALSE);
    CHECK_HR(factory->LockServer(FALSE), S_OK);
    CHECK_HR(server.canUnloadNow(), S_OK);

    // Hosts create and drop handlers on several threads at once; the counts must still
    // come back to zero exactly.
    std::atomic<bool> sawBusy{false};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&] {
            CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
            for (int i = 0; i < 3000; ++i) {
                IUnknown* item = nullptr;
                factory->CreateInstance(nullptr, IID_IUnknown, reinterpret_cast<void**>(&item));
                factory->LockServer(TRUE);
                if (server.canUnloadNow() == S_FALSE)
                    sawBusy = true;
                factory->LockServer(FALSE);
                if (item != nullptr)
                    item->Release();
            }
            CoUninitialize();
        });
    }
    for (auto& thread : threads)
        thread.join();
    CHECK(sawBusy.load());
    CHECK_HR(server.canUnloadNow(), S_OK);
    factory->Release();
}

IContextMenu* newHandler(const Server& server, IShellExtInit** init) {
    IClassFactory* factory = nullptr;
    server.getClassObject(handlerClassId(), IID_IClassFactory, reinterpret_cast<void**>(&factory));
    IContextMenu* menu = nullptr;
    if (factory != nullptr) {
        factory->CreateInstance(nullptr, IID_IContextMenu, reinterpret_cast<void**>(&menu));
        factory->Release();
    }
    *init = nullptr;
    if (menu != nullptr)
        menu->QueryInterface(IID_IShellExtInit, reinterpret_cast<void**>(init));
    return menu;
}

std::wstring menuText(HMENU menu, int position) {
    wchar_t text[128] = {};
    GetMenuStringW(menu, static_cast<UINT>(position), text, 128, MF_BYPOSITION);
    return text;
}

void checkMenu(IContextMenu* handler) {
    struct Case {
        UINT flags;
        bool adds;
        const char* name;
    };
    const Case cases[] = {
        {CMF_NORMAL, true, "CMF_NORMAL"},
        {CMF_DEFAULTONLY, false, "CMF_DEFAULTONLY"},
        {CMF_VERBSONLY, false, "CMF_VERBSONLY"},
        {CMF_NOVERBS, false, "CMF_NOVERBS"},
        {CMF_EXPLORE, true, "CMF_EXPLORE"},
        {CMF_DEFAULTONLY | CMF_EXPLORE, true, "CMF_DEFAULTONLY|CMF_EXPLORE"},
        {CMF_VERBSONLY | CMF_NOVERBS, false, "CMF_VERBSONLY|CMF_NOVERBS"},
        {CMF_CANRENAME | CMF_EXTENDEDVERBS, true, "CMF_CANRENAME|CMF_EXTENDEDVERBS"},
    };
    for (const Case& c : cases) {
        HMENU menu = CreatePopupMenu();
        CHECK(menu != nullptr);
        AppendMenuW(menu, MF_STRING, 1, L"First");
        AppendMenuW(menu, MF_STRING, 2, L"Second");
        const HRESULT added = handler->QueryContextMenu(menu, 1, 100, 200, c.flags);
        const int count = GetMenuItemCount(menu);
        if (c.adds) {
            checkHr(added, MAKE_HRESULT(SEVERITY_SUCCESS, 0, 1), c.name, __LINE__);
            check(count == 3, c.name, __LINE__);
            checkText(utf8(menuText(menu, 1)), "Open With Vellomarque", c.name, __LINE__);
            check(GetMenuItemID(menu, 1) == 100, c.name, __LINE__);
            checkText(utf8(menuText(menu, 2)), "Second", c.name, __LINE__);
        } else {
            checkHr(added, MAKE_HRESULT(SEVERITY_SUCCESS, 0, 0), c.name, __LINE__);
            check(count == 2, c.name, __LINE__);
        }
        DestroyMenu(menu);
    }

    // At the top of the menu, with the first id the host hands out.
    HMENU menu = CreatePopupMenu();
    CHECK_HR(handler->QueryContextMenu(menu, 0, 7, 7, CMF_NORMAL), MAKE_HRESULT(0, 0, 1));
    CHECK(GetMenuItemCount(menu) == 1);
    CHECK(GetMenuItemID(menu, 0) == 7);
    // No room left between the first and the last id: nothing is added.
    CHECK_HR(handler->QueryContextMenu(menu, 0, 8, 7, CMF_NORMAL), MAKE_HRESULT(0, 0, 0));
    CHECK(GetMenuItemCount(menu) == 1);
    DestroyMenu(menu);
    // A menu that does not exist: nothing claimed.
    CHECK_HR(handler->QueryContextMenu(reinterpret_cast<HMENU>(static_cast<ULONG_PTR>(0xDEAD0)), 0,
                                       1, 10, CMF_NORMAL),
             MAKE_HRESULT(0, 0, 0));
}

void checkHelpText(IContextMenu* handler) {
    const std::string full(qzt::kHelpText);
    CHECK(full.rfind("Open With Vellomarque by ", 0) == 0);
    for (const UINT size : {0u, 1u, 10u, 26u, static_cast<UINT>(full.size()),
                            static_cast<UINT>(full.size() + 1), 260u}) {
        char buffer[300];
        std::memset(buffer, '#', sizeof(buffer));
        CHECK_HR(handler->GetCommandString(0, GCS_HELPTEXTA, nullptr, buffer, size), S_OK);
        const std::size_t copied = size == 0 ? 0 : std::min<std::size_t>(size - 1, full.size());
        if (size == 0) {
            CHECK(buffer[0] == '#');
        } else {
            CHECK_TEXT(std::string(buffer), full.substr(0, copied));
        }
        // Nothing past the given size is touched.
        bool untouched = true;
        for (std::size_t i = size; i < sizeof(buffer); ++i)
            untouched = untouched && buffer[i] == '#';
        check(untouched, "help text stays within the buffer", __LINE__);
    }
    char buffer[64];
    std::memset(buffer, '#', sizeof(buffer));
    CHECK_HR(handler->GetCommandString(1, GCS_HELPTEXTA, nullptr, buffer, sizeof(buffer)),
             E_INVALIDARG);
    CHECK_HR(handler->GetCommandString(0, GCS_VERBA, nullptr, buffer, sizeof(buffer)), S_OK);
    CHECK_HR(handler->GetCommandString(0, GCS_VALIDATEA, nullptr, buffer, sizeof(buffer)), S_OK);
    CHECK(buffer[0] == '#');
}

void checkHandler(const Server& server, const std::wstring& stub, const std::wstring& work) {
    // An install folder with a blank, like "Program Files", holding the stand-in program.
    const Install install{work + L"\\Vellomarque Install"};
    CreateDirectoryW(install.dir.c_str(), nullptr);
    CHECK(CopyFileW(stub.c_str(), (install.dir + L"\\vellomarque.exe").c_str(), FALSE));
    DeleteFileW(install.log().c_str());
    const std::wstring data = work + L"\\data files";
    CreateDirectoryW(data.c_str(), nullptr);
    const std::vector<std::wstring> three = {data + L"\\first file.bin", data + L"\\second.bin",
                                             data + L"\\third file.bin"};
    for (const auto& name : three)
        CHECK(createFile(name));
    setInstallPath(&install.dir);

    IShellExtInit* init = nullptr;
    IContextMenu* handler = newHandler(server, &init);
    CHECK(handler != nullptr && init != nullptr);
    if (handler == nullptr || init == nullptr)
        return;

    // Before any initialisation there is nothing to open, and the host sees no failure.
    CHECK_HR(invoke(handler, 0), S_OK);

    CHECK_HR(init->Initialize(nullptr, nullptr, nullptr), E_INVALIDARG);
    FakeDataObject noDrop({}, false, true);
    CHECK_HR(init->Initialize(nullptr, &noDrop, nullptr), DV_E_FORMATETC);
    CHECK(noDrop.getDataCalls == 1);
    CHECK_HR(invoke(handler, 0), S_OK);
    CHECK_TEXT(launchesSoFar(install), "");

    FakeDataObject drop(three, true, true);
    CHECK_HR(init->Initialize(nullptr, &drop, nullptr), S_OK);
    CHECK(drop.getDataCalls == 1);
    CHECK(drop.lastFormat.cfFormat == CF_HDROP);
    CHECK(drop.lastFormat.ptd == nullptr);
    CHECK(drop.lastFormat.dwAspect == DVASPECT_CONTENT);
    CHECK(drop.lastFormat.lindex == -1);
    CHECK(drop.lastFormat.tymed == TYMED_HGLOBAL);
    CHECK(drop.counter.releases == 1); // the storage medium was released

    checkMenu(handler);
    checkHelpText(handler);

    // Verbs the handler does not own, and the wrong command: refused, nothing started.
    CMINVOKECOMMANDINFO byName = invokeInfo("open");
    CHECK_HR(handler->InvokeCommand(&byName), E_FAIL);
    CHECK_HR(invoke(handler, 1), E_INVALIDARG);
    CHECK_TEXT(launchesSoFar(install), "");

    // Three selected files with blanks: one start, with the first one quoted.
    CHECK_HR(invoke(handler, 0), S_OK);
    CHECK_TEXT(waitForLaunches(install), "\"" + utf8(three[0]) + "\"\n");

    // A failed initialisation keeps the names of the last good one.
    CHECK_HR(init->Initialize(nullptr, &noDrop, nullptr), DV_E_FORMATETC);
    CHECK_HR(init->Initialize(nullptr, nullptr, nullptr), E_INVALIDARG);
    CHECK_HR(invoke(handler, 0), S_OK);
    CHECK_TEXT(waitForLaunches(install), "\"" + utf8(three[0]) + "\"\n");

    // A new initialisation replaces them; single-byte drops are read too.
    const std::wstring single = data + L"\\second.bin";
    FakeDataObject ansi({single}, true, false);
    CHECK_HR(init->Initialize(nullptr, &ansi, nullptr), S_OK);
    CHECK_HR(invoke(handler, 0), S_OK);
    CHECK_TEXT(waitForLaunches(install), "\"" + utf8(single) + "\"\n");

    // Names the single-byte interface could not carry reach the program intact.
    const std::wstring unicode = data + L"\\\u0434\u0430\u043d\u043d\u044b\u0435 \u00e9.bin";
    FakeDataObject wideNames({unicode, three[1]}, true, true);
    CHECK_HR(init->Initialize(nullptr, &wideNames, nullptr), S_OK);
    CHECK_HR(invoke(handler, 0), S_OK);
    CHECK_TEXT(waitForLaunches(install), "\"" + utf8(unicode) + "\"\n");

    // A name longer than the path limit is passed whole, not cut at 260 characters.
    std::wstring longName = data + L"\\";
    longName.append(300 - longName.size(), L'x');
    longName += L".bin";
    FakeDataObject longDrop({longName}, true, true);
    CHECK_HR(init->Initialize(nullptr, &longDrop, nullptr), S_OK);
    CHECK_HR(invoke(handler, 0), S_OK);
    CHECK_TEXT(waitForLaunches(install), "\"" + utf8(longName) + "\"\n");

    // An empty drop empties the list: nothing to start.
    FakeDataObject emptyDrop({}, true, true);
    CHECK_HR(init->Initialize(nullptr, &emptyDrop, nullptr), S_OK);
    CHECK_HR(invoke(handler, 0), S_OK);
    CHECK_TEXT(launchesSoFar(install), "");

    // An install folder without blanks works the same.
    const Install plain{work + L"\\plain"};
    CreateDirectoryW(plain.dir.c_str(), nullptr);
    CHECK(CopyFileW(stub.c_str(), (plain.dir + L"\\vellomarque.exe").c_str(), FALSE));
    setInstallPath(&plain.dir);
    CHECK_HR(init->Initialize(nullptr, &drop, nullptr), S_OK);
    CHECK_HR(invoke(handler, 0), S_OK);
    CHECK_TEXT(waitForLaunches(plain), "\"" + utf8(three[0]) + "\"\n");

    // Without InstallPath the start fails quietly and the host still sees success; the
    // settings key is created when missing.
    setInstallPath(nullptr);
    CHECK_HR(invoke(handler, 0), S_OK);
    RegDeleteKeyW(HKEY_LOCAL_MACHINE, std::wstring(qzt::kSettingsKey).c_str());
    CHECK_HR(invoke(handler, 0), S_OK);
    HKEY key = nullptr;
    CHECK(RegOpenKeyExW(HKEY_LOCAL_MACHINE, std::wstring(qzt::kSettingsKey).c_str(), 0, KEY_READ,
                        &key) == ERROR_SUCCESS);
    if (key != nullptr)
        RegCloseKey(key);
    CHECK_TEXT(launchesSoFar(install), "");
    CHECK_TEXT(launchesSoFar(plain), "");

    CHECK_HR(server.canUnloadNow(), S_FALSE);
    init->Release();
    CHECK_HR(server.canUnloadNow(), S_FALSE);
    handler->Release();
    CHECK_HR(server.canUnloadNow(), S_OK);
}

// ---------------------------------------------------------------------------------------
// regpath

void checkRegisteredPath(const std::wstring& dllPath) {
    const std::wstring keyName = L"CLSID\\" + std::wstring(qzt::kClassIdText) + L"\\InprocServer32";
    wchar_t value[1024] = {};
    DWORD size = sizeof(value) - sizeof(wchar_t);
    const LSTATUS status = RegGetValueW(HKEY_CLASSES_ROOT, keyName.c_str(), nullptr, RRF_RT_REG_SZ,
                                        nullptr, value, &size);
    CHECK(status == ERROR_SUCCESS);
    const std::wstring registered = value;
    std::printf("registered server path: %s\n", utf8(registered).c_str());
    // The blank of the folder is gone, and the short form names the same file.
    CHECK(registered.find(L' ') == std::wstring::npos);
    wchar_t longForm[1024] = {};
    CHECK(GetLongPathNameW(registered.c_str(), longForm, 1024) > 0);
    CHECK(CompareStringOrdinal(longForm, -1, dllPath.c_str(), -1, TRUE) == CSTR_EQUAL);
}

// ---------------------------------------------------------------------------------------
// regfail

bool keyExists(HKEY root, const std::wstring& name) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, name.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

// Registry errors must come back as E_FAIL, not as success.
void checkRegistrationFailures(const std::wstring& dllPath) {
    Server server;
    CHECK(loadServer(dllPath, server));
    if (server.registerServer == nullptr)
        return;
    const std::wstring classKey = L"CLSID\\" + std::wstring(qzt::kClassIdText);
    const std::wstring serverKey = classKey + L"\\InprocServer32";
    const std::wstring handlerKey(qzt::kHandlerKey);

    // A volatile class key refuses the lasting InprocServer32 key below it.
    server.unregisterServer();
    HKEY key = nullptr;
    CHECK(RegCreateKeyExW(HKEY_CLASSES_ROOT, classKey.c_str(), 0, nullptr, REG_OPTION_VOLATILE,
                          KEY_ALL_ACCESS, nullptr, &key, nullptr) == ERROR_SUCCESS);
    if (key != nullptr)
        RegCloseKey(key);
    CHECK_HR(server.registerServer(), E_FAIL);
    RegDeleteKeyW(HKEY_CLASSES_ROOT, classKey.c_str());

    // A key someone else put below ours keeps it from going: reported, while the rest
    // is still removed.
    CHECK_HR(server.registerServer(), S_OK);
    key = nullptr;
    CHECK(RegCreateKeyExW(HKEY_CLASSES_ROOT, (serverKey + L"\\Extra").c_str(), 0, nullptr, 0,
                          KEY_ALL_ACCESS, nullptr, &key, nullptr) == ERROR_SUCCESS);
    if (key != nullptr)
        RegCloseKey(key);
    CHECK_HR(server.unregisterServer(), E_FAIL);
    CHECK(!keyExists(HKEY_CLASSES_ROOT, handlerKey));
    CHECK(keyExists(HKEY_CLASSES_ROOT, serverKey));
    RegDeleteKeyW(HKEY_CLASSES_ROOT, (serverKey + L"\\Extra").c_str());
    CHECK_HR(server.unregisterServer(), S_OK);
    CHECK(!keyExists(HKEY_CLASSES_ROOT, classKey));
}

} // namespace

int main() {
    int argc = 0;
    LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (argc < 3) {
        std::printf("usage: qzt_harness exports|com|regpath|regfail <dll> [stub workdir]\n");
        return 100;
    }
    const std::wstring mode = argv[1];
    const std::wstring dll = argv[2];
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    if (mode == L"exports") {
        checkExports(dll);
    } else if (mode == L"com" && argc >= 5) {
        Server server;
        CHECK(loadServer(dll, server));
        if (server.module != nullptr && server.getClassObject != nullptr) {
            CHECK_HR(server.canUnloadNow(), S_OK);
            checkFactory(server);
            checkHandler(server, argv[3], argv[4]);
        }
    } else if (mode == L"regfail") {
        checkRegistrationFailures(dll);
    } else if (mode == L"regpath") {
        checkRegisteredPath(dll);
    } else {
        std::printf("unknown mode\n");
        return 100;
    }
    CoUninitialize();
    std::printf("%d check(s) failed\n", g_failures);
    return g_failures > 99 ? 99 : g_failures;
}
