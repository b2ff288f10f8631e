// find and compare: the find and compare windows' scans over files, with
// their result lists as tab-separated lines.
#include <cstdio>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "codec.h"
#include "commands.h"
#include "comparescan.h"
#include "cp1252.h"
#include "filestream.h"
#include "findscan.h"
#include "findtext.h"
#include "kinds.h"

namespace vmcli {

namespace {

// Text that is not a whole number counts as 0, as in the windows.
std::int64_t numberOrZero(const std::string& text) {
    return vm::parseInt32(text).value_or(0);
}

// Output in large pieces: result lists can be long.
class Lines {
public:
    ~Lines() { flush(); }
    void add(const std::string& line) {
        m_text += line;
        m_text += '\n';
        if (m_text.size() > (std::size_t{1} << 16))
            flush();
    }
    void flush() {
        std::fwrite(m_text.data(), 1, m_text.size(), stdout);
        m_text.clear();
    }

private:
    std::string m_text;
};

std::string byteHex(std::uint8_t b) {
    static const char* digits = "0123456789ABCDEF";
    std::string s;
    if (b >= 16)
        s += digits[b >> 4];
    s += digits[b & 15];
    return s;
}

struct Condition {
    std::string kindName; // a kind's name, or "text"
    std::string value;    // UTF-8, as given
    vm::FindPattern pattern;
    // A text condition and how it reads its text; the flags after it set them.
    bool text = false;
    bool ignoreCase = false;
    vm::TextEncoding encoding = vm::TextEncoding::Windows1252;
};

// The pattern of a text condition, once its flags are known; the error text
// when the text cannot be searched.
std::optional<std::string> makeTextPattern(Condition& c) {
    if (c.value.empty())
        return std::string("A text condition needs a text: text=VALUE");
    auto p = vm::textPattern(c.value, c.encoding, c.ignoreCase);
    if (!p) {
        // UTF-16 can write every character: what it refuses is no UTF-8.
        if (!vm::textPattern(c.value, vm::TextEncoding::Utf16LE, false))
            return "The text is not valid UTF-8: " + c.value;
        return "The text has characters that single-byte data cannot hold: " + c.value +
               " (--utf16 searches it as UTF-16)";
    }
    c.pattern = std::move(*p);
    return std::nullopt;
}

} // namespace

int cmdFind(const Args& a) {
    const char* usage = "Usage: vellomarque-cli find DATAFILE --cond KIND=VALUE [--cond KIND=VALUE "
                        "...] [--range R]; KIND text takes [--ignore-case] [--utf16] after it";
    std::string dataFile;
    std::vector<Condition> conds;
    std::int64_t range = 100;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (a[i] == "--cond" || a[i] == "--range") {
            if (i + 1 >= a.size())
                return fail(usage);
            const std::string& v = a[++i];
            if (a[i - 1] == "--range") {
                range = numberOrZero(v);
                continue;
            }
            const std::size_t eq = v.find('=');
            if (eq != std::string::npos && v.compare(0, eq, vm::kFindTextName) == 0) {
                Condition c;
                c.kindName = vm::kFindTextName;
                c.value = v.substr(eq + 1);
                c.text = true;
                conds.push_back(std::move(c));
                continue;
            }
            const auto kind = eq == std::string::npos ? std::nullopt : parseKind(v.substr(0, eq));
            if (!kind || vm::findPatternLength(*kind) <= 0)
                return fail("Not a condition KIND=VALUE: " + v);
            Condition c;
            c.kindName = vm::kindName(*kind);
            c.value = v.substr(eq + 1);
            bool ok = true;
            std::string text = vm::utf8ToCp1252(c.value, &ok);
            if (!ok)
                return fail("The text has characters that single-byte data cannot hold: " +
                            c.value);
            if (text.size() > vm::kFindValueMax) {
                text.resize(vm::kFindValueMax);
                c.value = vm::cp1252ToUtf8(text);
            }
            c.pattern = vm::FindPattern(vm::findPattern(*kind, text));
            conds.push_back(std::move(c));
        } else if (a[i] == "--ignore-case" || a[i] == "--utf16") {
            if (conds.empty() || !conds.back().text)
                return fail(a[i] + " belongs after a --cond text=VALUE");
            if (a[i] == "--ignore-case")
                conds.back().ignoreCase = true;
            else
                conds.back().encoding = vm::TextEncoding::Utf16LE;
        } else if (dataFile.empty() && (a[i].empty() || a[i][0] != '-')) {
            dataFile = a[i];
        } else {
            return fail(usage);
        }
    }
    if (dataFile.empty() || conds.empty())
        return fail(usage);
    settlePendingCommit(dataFile);
    for (Condition& c : conds)
        if (c.text)
            if (auto e = makeTextPattern(c))
                return fail(*e);
    vm::FileStream data;
    if (!data.open(dataFile, vm::FileStream::Mode::Read))
        return fail("Can Not Open File " + dataFile + ": " + data.lastError());

    std::vector<vm::FindPattern> patterns;
    for (const Condition& c : conds)
        patterns.push_back(c.pattern);
    Lines out;
    vm::FindEvents events;
    events.hit = [&](std::int64_t number, std::span<const std::int64_t> positions) {
        const std::string n = std::to_string(number);
        for (std::size_t k = 0; k < conds.size(); ++k)
            out.add(n + '\t' + conds[k].kindName + '\t' + conds[k].value + '\t' +
                    std::to_string(positions[k]));
        if (conds.size() >= 2)
            out.add({});
    };
    vm::FindScan scan(data.size(), std::move(patterns), range);
    scan.run(data, events);
    if (scan.readError())
        return fail("Read error in " + dataFile + ": " + data.lastError());
    return 0;
}

int cmdCompare(const Args& a) {
    const char* usage = "Usage: vellomarque-cli compare DATAFILE OTHERFILE [--max M]";
    std::vector<std::string> files;
    std::int64_t maxListed = 500;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (a[i] == "--max") {
            if (i + 1 >= a.size())
                return fail(usage, 2);
            maxListed = numberOrZero(a[++i]);
        } else if (a[i].empty() || a[i][0] != '-') {
            files.push_back(a[i]);
        } else {
            return fail(usage, 2);
        }
    }
    if (files.size() != 2)
        return fail(usage, 2);
    vm::FileStream data;
    vm::FileStream other;
    for (const std::string& f : files)
        settlePendingCommit(f);
    for (const std::string& f : files)
        if (!vm::fileExists(f))
            return fail("File " + f + " Is Not Exit", 2);
    if (!data.open(files[0], vm::FileStream::Mode::Read))
        return fail("Can Not Open File " + files[0] + ": " + data.lastError(), 2);
    if (!other.open(files[1], vm::FileStream::Mode::Read))
        return fail("Can Not Open File " + files[1] + ": " + other.lastError(), 2);

    Lines out;
    vm::CompareEvents events;
    events.listed = [&](std::int64_t number, std::int64_t offset, std::uint8_t source,
                        std::optional<std::uint8_t> target) {
        out.add(std::to_string(number) + '\t' + byteHex(source) + '\t' +
                (target ? byteHex(*target) : std::string()) + '\t' + std::to_string(offset));
    };
    vm::CompareScan scan(data.size(), maxListed, 0);
    scan.run(data, other, events);
    if (scan.readError()) {
        out.flush();
        return fail("Read error in " + files[0] + ": " + data.lastError(), 2);
    }
    out.add("differences\t" + std::to_string(scan.differences()));
    return scan.differences() == 0 ? 0 : 1;
}

} // namespace vmcli
