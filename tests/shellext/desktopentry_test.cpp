// The Linux file-manager entries: each is read the way the desktop reads it, its command is
// expanded for a selection and really run against a stand-in vellomarque that records its
// arguments.

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

using Group = std::map<std::string, std::string>;
using DesktopFile = std::map<std::string, Group>;

const fs::path kPackaging = QZT_PACKAGING_DIR;

// Groups and keys with the string escapes (\s \n \t \r \\) applied.
DesktopFile readDesktopFile(const fs::path& path) {
    DesktopFile file;
    std::ifstream in(path);
    EXPECT_TRUE(in) << path;
    std::string line;
    std::string group;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#')
            continue;
        if (line.front() == '[' && line.back() == ']') {
            group = line.substr(1, line.size() - 2);
            EXPECT_EQ(file.count(group), 0u) << "group twice: " << group;
            file[group];
            continue;
        }
        const auto eq = line.find('=');
        EXPECT_NE(eq, std::string::npos) << line;
        if (eq == std::string::npos)
            continue;
        std::string value;
        const std::string raw = line.substr(eq + 1);
        for (std::size_t i = 0; i < raw.size(); ++i) {
            if (raw[i] == '\\' && i + 1 < raw.size()) {
                const char c = raw[++i];
                value += c == 's' ? ' ' : c == 'n' ? '\n' : c == 't' ? '\t' : c == 'r' ? '\r' : c;
            } else {
                value += raw[i];
            }
        }
        file[group][line.substr(0, eq)] = value;
    }
    return file;
}

// Splits an Exec value into arguments (double quotes, with \" \` \$ \\ inside them) and
// expands the file field codes for the given selection: one command, or one per file when
// the entry takes a single file (%f) and several are selected.
std::vector<std::vector<std::string>> expandExec(const std::string& exec,
                                                 const std::vector<std::string>& files) {
    std::vector<std::string> words;
    std::vector<bool> wasQuoted;
    std::string word;
    bool inWord = false;
    bool quoted = false;
    bool anyQuote = false;
    for (std::size_t i = 0; i < exec.size(); ++i) {
        const char c = exec[i];
        if (quoted) {
            if (c == '\\' && i + 1 < exec.size() &&
                std::string("\"`$\\").find(exec[i + 1]) != std::string::npos) {
                word += exec[++i];
            } else if (c == '"') {
                quoted = false;
            } else {
                word += c;
            }
        } else if (c == ' ') {
            if (inWord) {
                words.push_back(word);
                wasQuoted.push_back(anyQuote);
            }
            word.clear();
            inWord = anyQuote = false;
        } else if (c == '"') {
            quoted = inWord = anyQuote = true;
        } else {
            word += c;
            inWord = true;
        }
    }
    EXPECT_FALSE(quoted) << "unbalanced quotes in " << exec;
    if (inWord) {
        words.push_back(word);
        wasQuoted.push_back(anyQuote);
    }
    bool single = false;
    for (std::size_t i = 0; i < words.size(); ++i)
        single = single || (!wasQuoted[i] && (words[i] == "%f" || words[i] == "%u"));
    std::vector<std::vector<std::string>> commands;
    const std::size_t runs = single ? std::max<std::size_t>(files.size(), 1) : 1;
    for (std::size_t run = 0; run < runs; ++run) {
        std::vector<std::string> args;
        for (std::size_t i = 0; i < words.size(); ++i) {
            const std::string& w = words[i];
            if (!wasQuoted[i] && (w == "%F" || w == "%U")) {
                args.insert(args.end(), files.begin(), files.end());
            } else if (!wasQuoted[i] && (w == "%f" || w == "%u")) {
                if (run < files.size())
                    args.push_back(files[run]);
            } else {
                EXPECT_TRUE(wasQuoted[i] || w.find('%') == std::string::npos) << "field code " << w;
                args.push_back(w);
            }
        }
        commands.push_back(args);
    }
    return commands;
}

class LinuxEntries : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/qzt-entries-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        m_dir = pattern;
        fs::create_directories(m_dir / "bin");
        std::ofstream fake(m_dir / "bin" / "vellomarque");
        fake << "#!/bin/sh\n{ echo \"start $#\"; for a in \"$@\"; do printf '%s\\n' \"$a\"; done; }"
                " >> \"$QZT_RECORD\"\n";
        fake.close();
        fs::permissions(m_dir / "bin" / "vellomarque", fs::perms::owner_all);
        fs::create_directories(m_dir / "data dir");
        for (const char* name : {"first file.bin", "second.bin", "it's \"$HOME\" `x`.bin"})
            std::ofstream(m_dir / "data dir" / name) << "x";
    }
    void TearDown() override { fs::remove_all(m_dir); }

    // Runs each command with the stand-in first on PATH; returns what it recorded.
    std::string run(const std::vector<std::vector<std::string>>& commands, const fs::path& cwd) {
        fs::remove(m_dir / "record.txt");
        for (const auto& argv : commands)
            start(argv, cwd, nullptr);
        return recorded();
    }
    std::string run(const std::vector<std::string>& argv, const fs::path& cwd,
                    const char* selectedPaths = nullptr) {
        fs::remove(m_dir / "record.txt");
        start(argv, cwd, selectedPaths);
        return recorded();
    }

    void start(const std::vector<std::string>& argv, const fs::path& cwd,
               const char* selectedPaths) {
        const fs::path record = m_dir / "record.txt";
        const pid_t pid = fork();
        if (pid == 0) {
            if (chdir(cwd.c_str()) != 0)
                _exit(126);
            const std::string path = (m_dir / "bin").string() + ":" + getenv("PATH");
            setenv("PATH", path.c_str(), 1);
            setenv("QZT_RECORD", record.c_str(), 1);
            if (selectedPaths)
                setenv("NAUTILUS_SCRIPT_SELECTED_FILE_PATHS", selectedPaths, 1);
            else
                unsetenv("NAUTILUS_SCRIPT_SELECTED_FILE_PATHS");
            std::vector<char*> args;
            for (const auto& a : argv)
                args.push_back(const_cast<char*>(a.c_str()));
            args.push_back(nullptr);
            execvp(args[0], args.data());
            _exit(127);
        }
        int status = 0;
        waitpid(pid, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << argv[0];
    }

    std::string recorded() const {
        std::ifstream in(m_dir / "record.txt");
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }

    std::string file(const char* name) const { return (m_dir / "data dir" / name).string(); }

    fs::path m_dir;
};

TEST_F(LinuxEntries, DesktopEntryClaimsOnlyTypeFilesAndOpensTheFileItIsGiven) {
    auto entry = readDesktopFile(kPackaging / "vellomarque.desktop");
    Group& main = entry["Desktop Entry"];
    EXPECT_EQ(main["Type"], "Application");
    EXPECT_EQ(main["Name"], "Vellomarque");
    // Claiming application/octet-stream or text/plain would make the program
    // the default viewer of every text file (its own text output and help
    // pages too); it claims its type files and stays in the "Open With" lists.
    EXPECT_EQ(main["MimeType"], "application/x-vellomarque-type;");
    EXPECT_EQ(main["NoDisplay"], "false");

    const std::string one = file("first file.bin");
    EXPECT_EQ(run(expandExec(main["Exec"], {one}), m_dir), "start 1\n" + one + "\n");
}

TEST_F(LinuxEntries, KdeServiceMenuStartsOnceWithTheFirstFile) {
    auto menu = readDesktopFile(kPackaging / "vellomarque-open.desktop");
    Group& main = menu["Desktop Entry"];
    EXPECT_EQ(main["Type"], "Service");
    EXPECT_EQ(main["MimeType"], "all/allfiles;"); // every file, no folders
    EXPECT_EQ(main["Actions"], "openWithVellomarque;");
    ASSERT_EQ(menu.count("Desktop Action openWithVellomarque"), 1u);
    Group& action = menu["Desktop Action openWithVellomarque"];
    EXPECT_EQ(action["Name"], "Open With Vellomarque");

    const std::vector<std::string> three = {file("first file.bin"), file("second.bin"),
                                            file("it's \"$HOME\" `x`.bin")};
    EXPECT_EQ(run(expandExec(action["Exec"], three), m_dir), "start 1\n" + three[0] + "\n");
    // Shell characters in the name reach the program untouched.
    EXPECT_EQ(run(expandExec(action["Exec"], {three[2]}), m_dir), "start 1\n" + three[2] + "\n");
}

TEST_F(LinuxEntries, GnomeFilesScriptStartsWithTheFirstSelectedFile) {
    const fs::path script = kPackaging / "Open With Vellomarque";
    ASSERT_TRUE(fs::exists(script));
    EXPECT_NE(fs::status(script).permissions() & fs::perms::owner_exec, fs::perms::none);
    const fs::path folder = m_dir / "data dir";
    const std::string first = file("first file.bin");
    const std::string paths = first + "\n" + file("second.bin") + "\n";

    // In a local folder the selection comes as plain names relative to it.
    EXPECT_EQ(run({script.string(), "first file.bin", "second.bin"}, folder, paths.c_str()),
              "start 1\n" + first + "\n");
    EXPECT_EQ(run({script.string(), "it's \"$HOME\" `x`.bin"}, folder),
              "start 1\n" + file("it's \"$HOME\" `x`.bin") + "\n");
    // Full paths are taken as they are.
    EXPECT_EQ(run({script.string(), first}, m_dir), "start 1\n" + first + "\n");
    // Addresses instead of names: the paths variable says which local file is meant.
    EXPECT_EQ(run({script.string(), "file:///x/first%20file.bin"}, m_dir, paths.c_str()),
              "start 1\n" + first + "\n");
    // Nothing local selected: nothing started.
    EXPECT_EQ(run({script.string(), "sftp://host/file.bin"}, m_dir), "");
    EXPECT_EQ(run({script.string()}, m_dir), "");
}

} // namespace
