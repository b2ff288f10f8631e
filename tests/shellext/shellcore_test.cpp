#include "shellcore.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

using namespace qzt;

// How a Windows program's start-up code splits the argument part of its command line.
std::vector<std::wstring> splitArguments(std::wstring_view line) {
    std::vector<std::wstring> args;
    std::size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && (line[i] == L' ' || line[i] == L'\t'))
            ++i;
        if (i == line.size())
            break;
        std::wstring arg;
        bool quoted = false;
        while (i < line.size() && (quoted || (line[i] != L' ' && line[i] != L'\t'))) {
            std::size_t slashes = 0;
            while (i < line.size() && line[i] == L'\\') {
                ++slashes;
                ++i;
            }
            if (i < line.size() && line[i] == L'"') {
                arg.append(slashes / 2, L'\\');
                if (slashes % 2 == 1) {
                    arg += L'"';
                } else if (quoted && i + 1 < line.size() && line[i + 1] == L'"') {
                    arg += L'"';
                    ++i;
                } else {
                    quoted = !quoted;
                }
                ++i;
            } else {
                arg.append(slashes, L'\\');
                if (i < line.size() && (quoted || (line[i] != L' ' && line[i] != L'\t')))
                    arg += line[i++];
            }
        }
        args.push_back(arg);
    }
    return args;
}

TEST(ShellMenu, ItemOnlyForFullMenusOrExplorerTree) {
    // Plain menus and any request from the explorer tree get the item.
    for (unsigned flags : {0x0u, 0x4u, 0x5u, 0x6u, 0x7u, 0xCu, 0xDu, 0xFu, 0x10u, 0x100u, 0x14u})
        EXPECT_TRUE(wantsMenuItem(flags)) << std::hex << flags;
    // Default-only, verbs-only and no-verbs requests get nothing; higher bits change nothing.
    for (unsigned flags : {0x1u, 0x2u, 0x3u, 0x8u, 0x9u, 0xAu, 0xBu, 0x11u, 0x102u, 0x108u})
        EXPECT_FALSE(wantsMenuItem(flags)) << std::hex << flags;
}

TEST(ShellMenu, HelpTextStaysWithinTheBuffer) {
    const std::string full(kHelpText);
    ASSERT_EQ(full.rfind("Open With Vellomarque by ", 0), 0u);
    ASSERT_GT(full.size(), std::string("Open With Vellomarque by ").size());

    for (std::size_t size : {std::size_t{1}, std::size_t{2}, std::size_t{10}, full.size(),
                             full.size() + 1, full.size() + 40}) {
        std::vector<char> buffer(size + 8, '#');
        const std::size_t copied = copyHelpText(buffer.data(), size);
        const std::size_t expected = std::min(size - 1, full.size());
        EXPECT_EQ(copied, expected) << size;
        EXPECT_EQ(std::string(buffer.data()), full.substr(0, expected)) << size;
        EXPECT_TRUE(std::all_of(buffer.begin() + static_cast<long>(size), buffer.end(),
                                [](char c) { return c == '#'; }))
            << "wrote past " << size;
    }
    char untouched = '#';
    EXPECT_EQ(copyHelpText(&untouched, 0), 0u);
    EXPECT_EQ(untouched, '#');
    EXPECT_EQ(copyHelpText(nullptr, 20), 0u);
}

TEST(ShellStart, ProgramPathJoinsInstallFolderAndProgram) {
    EXPECT_EQ(programPath(L"C:\\Program Files\\Vellomarque"),
              L"C:\\Program Files\\Vellomarque\\vellomarque.exe");
    // No install path: the root of the current drive, where the start then fails quietly.
    EXPECT_EQ(programPath(L""), L"\\vellomarque.exe");
}

TEST(ShellStart, OnlyTheFirstNameIsPassedQuoted) {
    EXPECT_EQ(
        programParameters({L"C:\\data\\first file.bin", L"C:\\data\\second.bin", L"C:\\third.bin"}),
        L"\"C:\\data\\first file.bin\"");
    EXPECT_EQ(programParameters({L"C:\\a.bin"}), L"\"C:\\a.bin\"");
    EXPECT_EQ(programParameters({}), L"");
}

TEST(ShellStart, QuotedArgumentReadsBackAsOneArgument) {
    const std::vector<std::wstring> names = {
        L"C:\\Program Files\\data file.bin",
        L"\\\\server\\share\\x y.dat",
        L"C:\\folder\\", // a trailing backslash must not eat the closing quote
        L"C:\\folder\\\\",
        L"odd\"name", // not a Windows file name, but must not split
        L"back\\\"quote",
        L"tab\there",
        L"",
        L"\u00e9t\u00e9 \u0434\u0430\u043d\u043d\u044b\u0435.bin",
    };
    for (const auto& name : names) {
        const std::wstring quoted = quoteArgument(name);
        ASSERT_GE(quoted.size(), 2u);
        EXPECT_EQ(quoted.front(), L'"');
        EXPECT_EQ(quoted.back(), L'"');
        const auto args = splitArguments(quoted);
        ASSERT_EQ(args.size(), 1u) << std::string(quoted.begin(), quoted.end());
        EXPECT_TRUE(args[0] == name) << std::string(quoted.begin(), quoted.end());
    }
    // Ordinary paths are simply enclosed in double quotes.
    EXPECT_EQ(quoteArgument(L"C:\\My Data\\x.bin"), L"\"C:\\My Data\\x.bin\"");
}

TEST(ShellRegistration, ShortPathOnlyWhenThePathHasABlank) {
    EXPECT_TRUE(wantsShortPath(L"C:\\Program Files\\Vellomarque\\qztshell.dll"));
    EXPECT_FALSE(wantsShortPath(L"C:\\Vellomarque\\qztshell.dll"));
}

bool contains(const std::vector<RegistryValue>& plan, Root root, const std::wstring& key,
              const std::wstring& name, const std::wstring& data) {
    return std::any_of(plan.begin(), plan.end(), [&](const RegistryValue& v) {
        return v.root == root && v.key == key && v.name == name && v.data == data;
    });
}

TEST(ShellRegistration, PlanWritesEveryKeyAndValue) {
    const std::wstring id = L"{63944868-2341-1AF3-3467-023456789AB3}";
    const std::wstring server = L"C:\\PROGRA~1\\VELLOM~1\\qztshell.dll";
    const auto plan = registrationPlan(server, true);
    EXPECT_EQ(plan.size(), 7u);
    EXPECT_TRUE(
        contains(plan, Root::ClassesRoot, L"CLSID\\" + id, L"", L"Context Menu Shell Extension"));
    EXPECT_TRUE(
        contains(plan, Root::ClassesRoot, L"CLSID\\" + id + L"\\InprocServer32", L"", server));
    EXPECT_TRUE(contains(plan, Root::ClassesRoot, L"CLSID\\" + id + L"\\InprocServer32",
                         L"ThreadingModel", L"Apartment"));
    EXPECT_TRUE(contains(plan, Root::ClassesRoot, L"*\\shellex", L"", L""));
    EXPECT_TRUE(contains(plan, Root::ClassesRoot, L"*\\shellex\\ContextMenuHandlers", L"", L""));
    EXPECT_TRUE(contains(plan, Root::ClassesRoot,
                         L"*\\shellex\\ContextMenuHandlers\\OpenWithVellomarque", L"", id));
    EXPECT_TRUE(contains(plan, Root::LocalMachine,
                         L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Shell "
                         L"Extensions\\Approved",
                         id, L"Context Menu Shell Extension"));

    // Outside the NT family there is no approval list.
    const auto old = registrationPlan(server, false);
    EXPECT_EQ(old.size(), 6u);
    EXPECT_TRUE(std::none_of(old.begin(), old.end(),
                             [](const RegistryValue& v) { return v.root == Root::LocalMachine; }));
}

bool below(const std::wstring& key, const std::wstring& parent) {
    return key.size() > parent.size() && key.compare(0, parent.size(), parent) == 0 &&
           key[parent.size()] == L'\\';
}

TEST(ShellRegistration, UnregistrationUndoesOnlyOurOwnKeys) {
    const auto removals = unregistrationPlan();
    const auto plan = registrationPlan(L"C:\\x\\qztshell.dll", true);

    // Every key of our own that registration creates goes; the shared *\shellex stays,
    // the shared handler list goes only when empty, and the approval is left alone.
    for (const RegistryValue& written : plan) {
        const bool shared = written.key == L"*\\shellex" ||
                            written.key == L"*\\shellex\\ContextMenuHandlers" ||
                            written.root == Root::LocalMachine;
        const auto it = std::find_if(removals.begin(), removals.end(),
                                     [&](const KeyRemoval& r) { return r.key == written.key; });
        if (written.key == L"*\\shellex" || written.root == Root::LocalMachine) {
            EXPECT_TRUE(it == removals.end())
                << std::string(written.key.begin(), written.key.end());
        } else {
            ASSERT_TRUE(it != removals.end())
                << std::string(written.key.begin(), written.key.end());
            EXPECT_EQ(it->onlyWhenEmpty, shared);
            EXPECT_EQ(it->root, Root::ClassesRoot);
        }
    }
    // A key is removed only after everything below it, or the removal would fail.
    for (std::size_t i = 0; i < removals.size(); ++i) {
        for (std::size_t j = i + 1; j < removals.size(); ++j)
            EXPECT_FALSE(below(removals[j].key, removals[i].key));
    }
}

} // namespace
