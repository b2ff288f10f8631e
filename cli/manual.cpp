// What the command table says: --help, COMMAND --help, the manual page and the
// bash completion, all made from the rows of main.cpp.
#include <filesystem>
#include <iostream>
#include <map>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "commands.h"
#include "cp1252.h"
#include "kinds.h"
#include "typefile.h"

namespace vmcli {

namespace {

constexpr std::size_t kWidth = 78;
// Where the summaries of --help start.
constexpr std::size_t kSummaryColumn = 34;

const char* const kDescription =
    "vellomarque-cli uses the engine of Vellomarque without a window: it decodes and encodes "
    "values, reads and writes type files, checks structures, writes text tables, and edits data "
    "files together with their type files. A data file DATAFILE is described by DATAFILE.type "
    "unless --type names another type file.";

// The notes below the command list: outputs and inputs, then the arguments.
const char* const kFilesNote =
    "-o - writes to standard output. Standard output (also /dev/stdout, /dev/fd/N), a FIFO or a "
    "device such as /dev/null is written in place by every command (cut-blank then needs "
    "--type-out for the structure); a file is replaced only once its new contents are complete, "
    "keeping its permissions, so a failed command leaves it as it was. Files that are not "
    "regular (FIFOs, devices) are refused as inputs.";
const char* const kWritersNote =
    "One writer at a time: an edit, a split --append or a cut-blank output held by another "
    "writer is waited for briefly, then refused (\"X is being changed by another program\") "
    "with nothing touched; an edit whose files another program changed since it read them is "
    "refused too. A data file and its type file replaced together survive a crash: the next "
    "command to open either completes the pair, or puts the old pair back, and says so on "
    "stderr.";
const char* const kArgumentsNote =
    "KIND is a kind name (1Bsigned, 1Bunsigned, 1BHex, 1BChar, 1BBit, 2Bsigned, 2Bunsigned, "
    "4Bsigned, 4Bunsigned, 4BFloat, 8Bsigned, 8BDouble, 8BDateTime, 8BCurrency, string, unKnow) "
    "or its code. SEGMENT is a segment's name or #N, its row in the segment list counted from 1. "
    "Fields are counted from 0. The edits replace DATAFILE and its type file only once both are "
    "complete; they read DATAFILE once and write its new contents straight beside it, and an edit "
    "that changes nothing (add-records of 0 records) writes nothing and says so on stderr.";
const char* const kExitNote =
    "Each command exits 0 on success and 1 with a message on standard error on failure; check "
    "exits 1 for warnings only and 2 for errors, compare 1 when the files differ and 2 on "
    "trouble.";

std::vector<std::string> lines(std::string_view text) {
    std::vector<std::string> out;
    std::size_t from = 0;
    while (from <= text.size()) {
        const std::size_t nl = text.find('\n', from);
        out.emplace_back(text.substr(from, nl == std::string_view::npos ? nl : nl - from));
        if (nl == std::string_view::npos)
            break;
        from = nl + 1;
    }
    return out;
}

std::vector<std::string> words(std::string_view text) {
    std::vector<std::string> out;
    std::istringstream in{std::string(text)};
    for (std::string w; in >> w;)
        out.push_back(w);
    return out;
}

// text wrapped into lines of at most kWidth columns; the first starts at
// column `first` (already written), the others after `indent` blanks.
void wrap(std::ostream& out, std::string_view text, std::size_t first, std::size_t indent) {
    std::size_t column = first;
    bool lineStarted = false;
    for (const std::string& w : words(text)) {
        if (lineStarted && column + 1 + w.size() > kWidth) {
            out << '\n' << std::string(indent, ' ');
            column = indent;
            lineStarted = false;
        }
        if (lineStarted) {
            out << ' ';
            ++column;
        }
        out << w;
        column += w.size();
        lineStarted = true;
    }
    out << '\n';
}

// --- the synopsis as the completion sees it -------------------------------------

// What a command's arguments are: the positional words in order (the last may
// repeat) and each option with the words it takes.
struct Shape {
    std::vector<std::string> positional;
    bool lastRepeats = false;
    std::vector<std::pair<std::string, std::vector<std::string>>> options;
};

Shape shapeOf(const Command& command) {
    Shape shape;
    for (const std::string& form : lines(command.synopsis)) {
        std::vector<std::string> positional;
        bool repeats = false;
        std::vector<std::string>* optionWords = nullptr;
        for (const std::string& token : words(form)) {
            std::string_view core = token;
            while (!core.empty() && (core.front() == '[' || core.front() == '('))
                core.remove_prefix(1);
            const bool closes = token.back() == ']' || token.back() == ')';
            const bool dots = token.find("...") != std::string::npos;
            while (!core.empty() &&
                   (core.back() == ']' || core.back() == ')' || core.back() == '.'))
                core.remove_suffix(1);
            if (core == "|" || core.empty()) {
                optionWords = nullptr;
            } else if (core.front() == '-') {
                optionWords = nullptr;
                // "--a|--b": options of which one is given, each a flag.
                const bool alternatives = core.find('|') != std::string_view::npos;
                std::string_view rest = core;
                while (!rest.empty()) {
                    const std::size_t bar = rest.find('|');
                    const std::string_view name = rest.substr(0, bar);
                    rest =
                        bar == std::string_view::npos ? std::string_view() : rest.substr(bar + 1);
                    bool seen = false;
                    for (auto& [known, args] : shape.options)
                        seen = seen || known == name;
                    if (!seen && !name.empty()) {
                        shape.options.emplace_back(std::string(name), std::vector<std::string>{});
                        if (!alternatives)
                            optionWords = &shape.options.back().second;
                    }
                }
            } else if (optionWords) {
                optionWords->emplace_back(core);
            } else {
                positional.emplace_back(core);
                repeats = dots;
            }
            if (closes)
                optionWords = nullptr;
        }
        if (positional.size() > shape.positional.size()) {
            shape.positional = positional;
            shape.lastRepeats = repeats;
        }
    }
    return shape;
}

// --- the manual page ------------------------------------------------------------

// Text for a man(7) line: backslashes and dashes escaped, no control word
// at its start.
std::string roff(std::string_view text) {
    std::string out;
    for (const char c : text) {
        if (c == '\\')
            out += "\\e";
        else if (c == '-')
            out += "\\-";
        else
            out += c;
    }
    if (!out.empty() && (out.front() == '.' || out.front() == '\''))
        out.insert(0, "\\&");
    return out;
}

// A synopsis word: options bold, what the user fills in italic, brackets plain.
std::string roffWord(std::string_view token) {
    std::size_t begin = 0;
    std::size_t end = token.size();
    while (begin < end && (token[begin] == '[' || token[begin] == '('))
        ++begin;
    while (end > begin && (token[end - 1] == ']' || token[end - 1] == ')' || token[end - 1] == '.'))
        --end;
    const std::string_view core = token.substr(begin, end - begin);
    if (core.empty() || core == "|")
        return roff(token);
    const char* font = core.front() == '-' ? "\\fB" : "\\fI";
    return roff(token.substr(0, begin)) + font + roff(core) + "\\fR" + roff(token.substr(end));
}

std::string roffSynopsis(std::string_view form) {
    std::string out;
    for (const std::string& w : words(form))
        out += (out.empty() ? "" : " ") + roffWord(w);
    return out;
}

} // namespace

void printHelp(std::ostream& out, std::span<const Command> commands) {
    out << "Usage: vellomarque-cli COMMAND [ARGS]\n"
           "       vellomarque-cli COMMAND --help\n"
           "       vellomarque-cli --version\n\nCommands:\n";
    for (const Command& c : commands) {
        const std::vector<std::string> forms = lines(c.synopsis);
        const std::size_t indent = 3 + std::string_view(c.name).size();
        std::size_t column = 0;
        for (std::size_t i = 0; i < forms.size(); ++i) {
            const std::string head = std::string("  ") + c.name + " ";
            std::ostringstream line;
            line << head;
            wrap(line, forms[i], head.size(), indent);
            std::string text = line.str();
            text.pop_back();
            const std::size_t lastBreak = text.rfind('\n');
            column = lastBreak == std::string::npos ? text.size() : text.size() - lastBreak - 1;
            out << text;
            if (i + 1 < forms.size())
                out << '\n';
        }
        if (column + 2 <= kSummaryColumn) {
            out << std::string(kSummaryColumn - column, ' ');
        } else {
            out << '\n' << std::string(kSummaryColumn, ' ');
        }
        wrap(out, c.summary, kSummaryColumn, kSummaryColumn);
    }
    for (const char* note : {kFilesNote, kWritersNote, kArgumentsNote}) {
        out << '\n';
        wrap(out, note, 0, 0);
    }
}

void printCommandHelp(std::ostream& out, const Command& command) {
    const std::vector<std::string> forms = lines(command.synopsis);
    for (std::size_t i = 0; i < forms.size(); ++i) {
        const std::string head =
            std::string(i == 0 ? "Usage: " : "   or: ") + "vellomarque-cli " + command.name + " ";
        out << head;
        wrap(out, forms[i], head.size(), head.size());
    }
    out << '\n';
    wrap(out, command.summary, 0, 0);
}

void printManPage(std::ostream& out, std::span<const Command> commands) {
    out << ".TH VELLOMARQUE\\-CLI 1 \"\" \"Vellomarque\" \"User Commands\"\n"
           ".SH NAME\n"
           "vellomarque\\-cli \\- the engine of Vellomarque for scripts and batch use\n"
           ".SH SYNOPSIS\n"
           ".B vellomarque\\-cli\n.I COMMAND\n.RI [ ARGS ]\n.br\n"
           ".B vellomarque\\-cli\n.I COMMAND\n.B \\-\\-help\n.br\n"
           ".B vellomarque\\-cli \\-\\-help\n.br\n"
           ".B vellomarque\\-cli \\-\\-version\n"
           ".SH DESCRIPTION\n"
        << roff(kDescription) << "\n.PP\n"
        << "Text in arguments and output is UTF\\-8; single\\-byte text in data and type files is "
           "read and written as Windows\\-1252.\n"
           ".SH COMMANDS\n";
    for (const Command& c : commands) {
        out << ".TP\n";
        const std::vector<std::string> forms = lines(c.synopsis);
        for (std::size_t i = 0; i < forms.size(); ++i)
            out << (i == 0 ? "" : ".TQ\n") << "\\fB" << roff(c.name) << "\\fR "
                << roffSynopsis(forms[i]) << '\n';
        out << roff(c.summary) << ".\n";
    }
    out << ".SH FILES AND OUTPUTS\n"
        << roff(kFilesNote) << "\n.PP\n"
        << roff(kWritersNote) << "\n.SH ARGUMENTS\n"
        << roff(kArgumentsNote) << "\n.SH EXIT STATUS\n"
        << roff(kExitNote) << "\n.SH EXAMPLES\n"
        << ".nf\n"
           "vellomarque\\-cli decode 4Bsigned 4 \"FF FF FF FF\"\n"
           "vellomarque\\-cli check data.bin\n"
           "vellomarque\\-cli add\\-records data.bin Readings 3 2 \\-\\-fill\\-near\n"
           "vellomarque\\-cli export\\-text data.bin \\-o \\- | less\n"
           ".fi\n"
           ".SH SEE ALSO\n"
           ".BR vellomarque (1)\n";
}

void printBashCompletion(std::ostream& out, std::span<const Command> commands) {
    out << "# bash completion for vellomarque-cli, made by vellomarque-cli --bash-completion\n"
           "_vellomarque_cli_commands='";
    for (std::size_t i = 0; i < commands.size(); ++i)
        out << (i ? " " : "") << commands[i].name;
    out << "'\n_vellomarque_cli_kinds='";
    for (int k = 0; k < vm::kKindCount; ++k)
        out << (k ? " " : "") << vm::kindName(k);
    out << "'\n\n"
           "# The arguments of a command: slots (positional words, the last with ... when it\n"
           "# repeats), opts, and optargs (what each option takes; nothing for a flag).\n"
           "_vellomarque_cli_spec() {\n"
           "    case $1 in\n";
    for (const Command& c : commands) {
        const Shape shape = shapeOf(c);
        out << "    " << c.name << ")\n        slots=(";
        for (std::size_t i = 0; i < shape.positional.size(); ++i)
            out << (i ? " " : "") << shape.positional[i]
                << (shape.lastRepeats && i + 1 == shape.positional.size() ? "..." : "");
        out << ")\n        opts=(";
        for (std::size_t i = 0; i < shape.options.size(); ++i)
            out << (i ? " " : "") << shape.options[i].first;
        out << ")\n        optargs=(";
        for (std::size_t i = 0; i < shape.options.size(); ++i) {
            out << (i ? " " : "") << "[" << shape.options[i].first << "]=\"";
            for (std::size_t j = 0; j < shape.options[i].second.size(); ++j)
                out << (j ? " " : "") << shape.options[i].second[j];
            out << '"';
        }
        out << ") ;;\n";
    }
    out << R"BASH(    *) return 1 ;;
    esac
}

_vellomarque_cli_files() {
    compopt -o filenames 2>/dev/null
    mapfile -t COMPREPLY < <(compgen -f -- "$cur")
}

_vellomarque_cli() {
    local cur=${COMP_WORDS[COMP_CWORD]}
    COMPREPLY=()
    if ((COMP_CWORD == 1)); then
        mapfile -t COMPREPLY < <(compgen -W "$_vellomarque_cli_commands --help --version" -- "$cur")
        return 0
    fi
    local -a slots=() opts=() pos=() taken=() takes=()
    local -A optargs=()
    _vellomarque_cli_spec "${COMP_WORDS[1]}" || return 0
    local i w opt= type= want=
    for ((i = 2; i < COMP_CWORD; i++)); do
        w=${COMP_WORDS[i]}
        if [[ -n $opt ]]; then
            [[ $opt == --type ]] && type=$w
            taken+=("$w")
            read -r -a takes <<<"${optargs[$opt]}"
            ((${#taken[@]} >= ${#takes[@]})) && opt=
            continue
        fi
        if [[ $w == -* && -n ${optargs[$w]+set} ]]; then
            [[ -n ${optargs[$w]} ]] && opt=$w && taken=()
            continue
        fi
        [[ $w == -* ]] || pos+=("$w")
    done
    if [[ -n $opt ]]; then
        read -r -a takes <<<"${optargs[$opt]}"
        want=${takes[${#taken[@]}]}
    elif [[ $cur == -* ]]; then
        mapfile -t COMPREPLY < <(compgen -W "${opts[*]} --help" -- "$cur")
        return 0
    elif ((${#pos[@]} < ${#slots[@]})); then
        want=${slots[${#pos[@]}]}
    elif ((${#slots[@]})) && [[ ${slots[-1]} == *... ]]; then
        want=${slots[-1]}
    fi
    want=${want%...}
    case $want in
    *FILE | SOURCE | TARGET) _vellomarque_cli_files ;;
    *KIND) mapfile -t COMPREPLY < <(compgen -W "$_vellomarque_cli_kinds" -- "$cur") ;;
    SEGMENT)
        local data= name
        for i in "${!slots[@]}"; do
            [[ ${slots[i]} == DATAFILE ]] && data=${pos[i]}
        done
        [[ -n $data ]] || return 0
        data=${data/#\~/$HOME}
        type=${type/#\~/$HOME}
        while IFS= read -r name; do
            [[ $name == "$cur"* ]] && COMPREPLY+=("$(printf '%q' "$name")")
        done < <(vellomarque-cli --complete-segments "${data//\\ / }" ${type:+"${type//\\ / }"} 2>/dev/null)
        ;;
    esac
    return 0
}
complete -F _vellomarque_cli vellomarque-cli
)BASH";
}

int cmdCompleteSegments(const Args& args) {
    if (args.empty() || args.size() > 2)
        return 1;
    const std::string& data = args[0];
    const std::string type = args.size() == 2 ? args[1] : data + ".type";
    std::error_code ec;
    const auto size = std::filesystem::file_size(data, ec);
    const vm::TypeReadResult r = vm::readTypeFile(type, ec ? 0 : static_cast<std::int64_t>(size));
    if (!r.ok)
        return 0;
    for (const auto& s : r.content.segments)
        std::cout << vm::cp1252ToUtf8(s->name) << '\n';
    return 0;
}

} // namespace vmcli
