// What the command table makes besides dispatch: both helps, the manual page
// and the bash completion.
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "runcli.h"

namespace {

namespace fs = std::filesystem;

// What a shell command printed (standard output and error together).
std::string shell(const std::string& command) {
    std::string out;
    if (FILE* p = ::popen((command + " 2>&1").c_str(), "r")) {
        char buf[4096];
        while (std::size_t n = std::fread(buf, 1, sizeof buf, p))
            out.append(buf, n);
        ::pclose(p);
    }
    return out;
}

// The command words of --help: the first word of each indented line that
// starts a command (continuation lines are indented further).
std::vector<std::string> helpCommands(const std::string& help) {
    std::vector<std::string> names;
    std::istringstream in(help);
    for (std::string line; std::getline(in, line);) {
        if (line.size() < 3 || line.compare(0, 2, "  ") != 0 || line[2] == ' ')
            continue;
        const std::string name = line.substr(2, line.find(' ', 2) - 2);
        if (names.empty() || names.back() != name)
            names.push_back(name);
    }
    return names;
}

std::string roffEscaped(std::string text) {
    for (std::size_t i = text.find('-'); i != std::string::npos; i = text.find('-', i + 2))
        text.replace(i, 1, "\\-");
    return text;
}

TEST(CliManual, EveryCommandHasItsOwnHelpAManualEntryAndACompletion) {
    const CliRun help = runCli({"--help"});
    ASSERT_EQ(help.code, 0);
    const std::vector<std::string> commands = helpCommands(help.out);
    ASSERT_GE(commands.size(), 18u) << help.out;
    const CliRun man = runCli({"--man"});
    const CliRun completion = runCli({"--bash-completion"});
    ASSERT_EQ(man.code, 0);
    ASSERT_EQ(completion.code, 0);
    for (const std::string& name : commands) {
        const CliRun own = runCli({name, "--help"});
        EXPECT_EQ(own.code, 0) << name;
        EXPECT_EQ(own.out.rfind("Usage: vellomarque-cli " + name + " ", 0), 0u) << own.out;
        EXPECT_NE(man.out.find(".TP\n\\fB" + roffEscaped(name) + "\\fR"), std::string::npos)
            << name;
        EXPECT_NE(completion.out.find("\n    " + name + ")\n"), std::string::npos) << name;
    }
    EXPECT_EQ(runCli({"frobnicate", "--help"}).code, 1);

    if (shell("command -v groff").empty())
        GTEST_SKIP() << "groff is missing (Debian package groff-base)";
    const fs::path page = fs::temp_directory_path() / "vellomarque-cli-test.1";
    writeText(page.string(), man.out);
    // Rendered with every warning on, it says nothing but the page.
    EXPECT_EQ(shell("groff -ww -man -Tutf8 '" + page.string() + "' >/dev/null"), "");
    fs::remove(page);
}

TEST(CliManual, CompletionOffersCommandsKindsFilesAndTheSegmentsOfTheDataFileOnTheLine) {
    const fs::path dir = fs::temp_directory_path() / "vellomarque-completion-test";
    fs::remove_all(dir);
    fs::create_directories(dir);
    const std::string data = (dir / "my data.bin").string();
    fs::copy_file(VM_SOURCE_DIR "/examples/sensors.bin", data);
    // A segment name with a blank, completed as one word.
    std::string json = runCli({"print-type", VM_SOURCE_DIR "/examples/sensors.bin.type"}).out;
    const std::size_t at = json.find("\"Ledger\"");
    ASSERT_NE(at, std::string::npos);
    json.replace(at, 8, "\"Old Ledger\"");
    writeText((dir / "s.json").string(), json);
    ASSERT_EQ(runCli({"write-type", (dir / "s.json").string(), data + ".type"}).code, 0);
    const std::string script = (dir / "completion").string();
    writeText(script, runCli({"--bash-completion"}).out);

    const std::string cliDir = fs::path(VM_CLI_PATH).parent_path().string();
    // As typed on the line: the blank escaped.
    const std::string quoted = "'my\\ data.bin'";
    writeText((dir / "run.sh").string(),
              "PATH='" + cliDir + "':$PATH\nsource '" + script + "'\ncd '" + dir.string() +
                  "'\n"
                  "t() { COMP_WORDS=(\"$@\"); COMP_CWORD=$((${#COMP_WORDS[@]} - 1));\n"
                  "  COMPREPLY=(); _vellomarque_cli;\n"
                  "  printf '%s\\n' \"${COMPREPLY[@]}\" | LC_ALL=C sort | tr '\\n' '|'; echo; }\n"
                  "t vellomarque-cli delete-\n"
                  "t vellomarque-cli add-records " +
                  quoted +
                  " ''\n"
                  "t vellomarque-cli add-records " +
                  quoted +
                  " O\n"
                  "t vellomarque-cli change-kind " +
                  quoted +
                  " Readings 1 8BD\n"
                  "t vellomarque-cli check my\n"
                  "t vellomarque-cli add-records " +
                  quoted +
                  " Readings 0 1 --f\n"
                  "t vellomarque-cli add-records nothere.bin ''\n");
    const std::string got = shell("bash '" + (dir / "run.sh").string() + "'");
    EXPECT_EQ(got, "delete-fields|delete-records|\n"
                   "Header|Old\\ Ledger|Readings|\n"
                   "Old\\ Ledger|\n"
                   "8BDateTime|8BDouble|\n"
                   "my data.bin|my data.bin.type|\n"
                   "--fill-near|\n"
                   "|\n");
    fs::remove_all(dir);
}

} // namespace
