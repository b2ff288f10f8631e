// import-struct, export-c and export-ksy. The exports are checked on the
// example and on random structures by the tools they are for: gcc compiles
// the C header with its static_asserts, and Kaitai Struct's own compiler and
// runtime parse the data file with the description, value for value as
// export-text shows them.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <random>

#include <nlohmann/json.hpp>

#include "codec.h"
#include "kinds.h"
#include "model.h"
#include "runcli.h"
#include "tempdir.h"
#include "typefile.h"

namespace {

namespace fs = std::filesystem;

// Segments of every kind of field, overlapping and leaving gaps, with names
// and memos that are no identifiers; the data random, records whole.
struct RandomStructure {
    vm::SegmentList segments;
    std::vector<std::uint8_t> data;
};

RandomStructure randomStructure(std::mt19937& rng) {
    auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
    static const char* memos[] = {"id",  "reading count", "int",  "static_assert", "_gap0",
                                  "3d",  "\xE9t\xE9",     "x",    "x",             "a b",
                                  "ofs", "a_2",           "a2",   "",              "UINT8_MAX"};
    static const char* names[] = {"Readings", "readings", "2nd", "struct", "Seg", "Seg", "\xC9"};
    RandomStructure r;
    std::int64_t at = pick(9);
    const int count = 1 + pick(4);
    for (int s = 0; s < count; ++s) {
        auto seg = vm::newSegment(r.segments, 0);
        seg->setName(names[pick(static_cast<int>(std::size(names)))]);
        seg->begin = static_cast<std::int32_t>(at);
        seg->anomaly = pick(5) == 0;
        seg->recordLength = 1 + pick(64);
        const int records = seg->anomaly ? 1 : 1 + pick(6);
        seg->length = seg->recordLength * records;
        const int fields = pick(9);
        for (int f = 0; f < fields; ++f) {
            const int kind = pick(vm::kKindCount);
            const vm::KindInfo& k = *vm::kindInfo(kind);
            const int room = seg->recordLength;
            const int length = k.variableLength ? pick(std::min(room, 60) + 1) : k.defaultLength;
            if (length > room)
                continue;
            vm::TypeEntry e = vm::newTypeEntry(kind, memos[pick(static_cast<int>(std::size(memos)))], nullptr);
            e.start = static_cast<std::uint16_t>(pick(room - length + 1));
            e.length = static_cast<std::uint16_t>(length);
            seg->entries.push_back(e);
        }
        at += seg->length + pick(6);
        if (s == count - 1 && !seg->anomaly && pick(2) == 0) {
            seg->toFilesEnd = true;
            at += pick(seg->recordLength); // a partial record, which no one parses
            seg->length = static_cast<std::int32_t>(at - seg->begin);
        }
        r.segments.append(std::move(seg));
    }
    r.data.resize(static_cast<std::size_t>(at));
    for (auto& b : r.data)
        b = pick(4) == 0 ? 0 : static_cast<std::uint8_t>(rng()); // zeros end texts
    return r;
}

vm::ViewSettings shownSettings() {
    vm::ViewSettings v;
    v.setShowIndexNum(true);
    v.setPositionFormat(2);
    return v;
}

std::size_t digits(std::int64_t v) {
    return std::to_string(v).size();
}

// Cells of export-text's tables: raw character ranges, padding included.
// Anomaly segments give one record, the value column of each field.
using Cells = std::vector<std::vector<std::vector<std::string>>>;

Cells textCells(const std::string& t, const vm::SegmentList& segments, bool showIndex) {
    Cells out;
    std::size_t p = 0;
    auto nextLine = [&] { p = t.find("\r\n", p) + 2; };
    for (std::size_t i = 0; i < segments.size(); ++i) {
        const vm::Segment& seg = segments[i];
        p = t.find("\r\nSegment " + std::to_string(i) + " Name:", p) + 2;
        nextLine();
        const std::size_t positions = digits(seg.end());
        std::vector<std::vector<std::string>> records;
        if (seg.anomaly) {
            nextLine();
            nextLine();
            std::vector<std::string> cells;
            for (const vm::TypeEntry& e : seg.entries) {
                p += (showIndex ? digits(seg.length) : 0) + 1 + positions;
                const std::string tail = " " + vm::padText(vm::kindName(e.kind), 10) + " " +
                                         vm::padText(std::to_string(e.start), 8, vm::PadSide::Left) +
                                         " " +
                                         vm::padText(std::to_string(e.length), 6, vm::PadSide::Left) +
                                         "   " + e.memo + "\r\n";
                const std::size_t end = t.find(tail, p);
                cells.push_back(t.substr(p, end - p));
                p = end + tail.size();
            }
            records.push_back(cells);
        } else {
            for (std::size_t k = 0; k < seg.entries.size() + 2; ++k)
                nextLine();
            const std::int64_t n = seg.length / seg.recordLength;
            for (std::int64_t r = 0; r < n; ++r) {
                p += (showIndex ? digits(n - 1) : 0) + 1 + positions;
                std::vector<std::string> cells;
                for (const vm::TypeEntry& e : seg.entries) {
                    ++p; // the blank between columns
                    const auto width =
                        static_cast<std::size_t>(vm::entryDisplayWidth(e.kind, e.length));
                    std::size_t n = width;
                    if (e.kind != 3 && e.kind != 12 && e.kind != 14 && e.kind != 15)
                        n = std::max(width, t.find_first_of(" \r", p) - p); // numbers have no blank
                    cells.push_back(t.substr(p, n));
                    p += n;
                }
                EXPECT_EQ(t.substr(p, 2), "\r\n") << "segment " << i << " record " << r;
                p += 2;
                records.push_back(cells);
            }
        }
        out.push_back(records);
    }
    return out;
}

std::vector<std::uint8_t> hexBytes(const std::string& hex) {
    std::vector<std::uint8_t> b;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
        b.push_back(static_cast<std::uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    return b;
}

// What the grid shows for a value Kaitai parsed: integers as Kaitai read
// them, everything else decoded by us from the bytes Kaitai read.
std::string shownValue(const std::string& v, const vm::TypeEntry& e) {
    const bool integerKind = e.kind <= 1 || (e.kind >= 5 && e.kind <= 8) || e.kind == 10;
    std::vector<std::uint8_t> bytes;
    if (v.rfind("i:", 0) == 0) {
        if (integerKind)
            return v.substr(2);
        const long long n = std::stoll(v.substr(2));
        for (int i = 0; i < 8; ++i)
            bytes.push_back(static_cast<std::uint8_t>(static_cast<unsigned long long>(n) >> (8 * i)));
    } else {
        bytes = hexBytes(v.substr(2));
    }
    return vm::decodeValue(bytes, e.kind, e.length);
}

struct Export {
    std::string name;
    vm::SegmentList* segments;
    std::string dataFile;
    std::string text; // export-text's output
    std::string ksy;
    std::string parsed; // the driver's output
};

class Bridge : public ::testing::Test {
protected:
    TempDir dir;

    // export-c compiles warning-free, with a static_assert for each field it
    // holds and for each struct's size.
    void checkCHeader(const Export& x) {
        const CliRun c = runCli({"export-c", x.dataFile});
        ASSERT_EQ(c.code, 0) << c.err;
        const std::string header = dir.file(x.name + ".h");
        writeText(header, c.out);
        const CliRun gcc = runProgram("gcc", {"-x", "c", "-std=c11", "-Wall", "-Wextra", "-pedantic",
                                              "-Werror", "-c", header, "-o", dir.file(x.name + ".o")});
        EXPECT_EQ(gcc.code, 0) << gcc.err << c.out;
        std::size_t asserts = 0, expected = 0;
        for (std::size_t at = c.out.find("static_assert("); at != std::string::npos;
             at = c.out.find("static_assert(", at + 1))
            ++asserts;
        for (const auto& seg : *x.segments) {
            std::size_t held = 0;
            for (const vm::TypeEntry& e : seg->entries) {
                const int size = vm::kindByteSize(e.kind, e.length);
                held += size > 0 && (seg->anomaly || e.start + size <= seg->recordLength);
            }
            expected += held + (seg->anomaly ? held > 0 : seg->recordLength > 0);
        }
        EXPECT_EQ(asserts, expected) << c.out;
    }

    void prepare(Export& x) {
        const CliRun text = runCli({"export-text", x.dataFile});
        ASSERT_EQ(text.code, 0) << text.err;
        x.text = text.out;
        const CliRun ksy = runCli({"export-ksy", x.dataFile});
        ASSERT_EQ(ksy.code, 0) << ksy.err;
        x.ksy = dir.file(x.name + ".ksy");
        writeText(x.ksy, ksy.out);
        x.parsed = dir.file(x.name + ".json");
        checkCHeader(x);
    }

    // One run of node for every description: its compiler takes a while to load.
    void checkKaitai(const std::vector<Export>& exports) {
        if (!fs::exists(VM_KAITAI_MODULES))
            GTEST_SKIP() << "Kaitai Struct's compiler is not installed in " << VM_KAITAI_MODULES
                         << " (scripts/setup installs it)";
        nlohmann::json jobs = nlohmann::json::array();
        for (const Export& x : exports)
            jobs.push_back({{"ksy", x.ksy}, {"data", x.dataFile}, {"out", x.parsed}});
        writeText(dir.file("jobs.json"), jobs.dump());
        const CliRun node = runProgram("node", {VM_KAITAI_DRIVER, VM_KAITAI_MODULES,
                                                dir.file("jobs.json")},
                                       {.timeoutSeconds = 120});
        ASSERT_EQ(node.code, 0) << node.err;
        for (const Export& x : exports) {
            SCOPED_TRACE(x.name);
            std::ifstream in(x.parsed);
            const nlohmann::json got = nlohmann::json::parse(in);
            ASSERT_FALSE(got.contains("error")) << got["error"] << "\n" << x.ksy;
            const vm::SegmentList& segments = *x.segments;
            const Cells cells = textCells(x.text, segments, true);
            // An irregular segment without fields has nothing to describe.
            std::vector<std::size_t> described;
            for (std::size_t s = 0; s < segments.size(); ++s)
                if (!segments[s].anomaly || !segments[s].entries.empty())
                    described.push_back(s);
            ASSERT_EQ(got["segments"].size(), described.size());
            for (std::size_t k = 0; k < described.size(); ++k) {
                const std::size_t s = described[k];
                const vm::Segment& seg = segments[s];
                const auto& records = got["segments"][k];
                ASSERT_EQ(records.size(), cells[s].size()) << "segment " << s;
                for (std::size_t r = 0; r < records.size(); ++r)
                    for (std::size_t f = 0; f < seg.entries.size(); ++f) {
                        const vm::TypeEntry& e = seg.entries[f];
                        const std::string shown = shownValue(records[r][f], e);
                        const std::string padded =
                            seg.anomaly ? vm::padText(shown, 24, vm::PadSide::Left)
                                        : vm::padText(shown, static_cast<std::size_t>(
                                                                 vm::entryDisplayWidth(e.kind, e.length)));
                        EXPECT_EQ(cells[s][r][f], padded)
                            << "segment " << s << " record " << r << " field " << f << " "
                            << vm::kindName(e.kind) << " " << records[r][f];
                    }
            }
        }
    }
};

TEST_F(Bridge, ExportsRoundTripOnExampleAndRandomStructures) {
    std::vector<Export> exports;
    std::vector<std::unique_ptr<vm::TypeFileContent>> contents;
    // The example, as shipped.
    const std::string example = dir.file("sensors.bin");
    fs::copy_file(VM_SOURCE_DIR "/examples/sensors.bin", example);
    fs::copy_file(VM_SOURCE_DIR "/examples/sensors.bin.type", example + ".type");
    vm::TypeReadResult read = vm::readTypeFile(example + ".type", fs::file_size(example));
    ASSERT_TRUE(read.ok);
    contents.push_back(std::make_unique<vm::TypeFileContent>(std::move(read.content)));
    exports.push_back({"sensors", &contents.back()->segments, example, "", "", ""});

    std::mt19937 rng(2024);
    for (int i = 0; i < 16; ++i) {
        RandomStructure r = randomStructure(rng);
        const std::string data = dir.file("random" + std::to_string(i) + ".bin");
        writeBytes(data, r.data);
        auto content = std::make_unique<vm::TypeFileContent>();
        content->segments = std::move(r.segments);
        content->settings = shownSettings();
        ASSERT_TRUE(vm::writeTypeFile(content->segments, content->settings, content->dataHint,
                                      data + ".type")
                        .ok);
        contents.push_back(std::move(content));
        exports.push_back({"random" + std::to_string(i), &contents.back()->segments, data, "", "", ""});
    }
    for (Export& x : exports) {
        SCOPED_TRACE(x.name);
        prepare(x);
    }
    checkKaitai(exports);
}

// The fields of a C struct: printed as JSON that write-type takes, or put
// into a segment of a type file without touching the data.
TEST_F(Bridge, ImportStructPrintsJsonOrReplacesASegmentsFields) {
    const std::string data = dir.file("sensors.bin");
    fs::copy_file(VM_SOURCE_DIR "/examples/sensors.bin", data);
    fs::copy_file(VM_SOURCE_DIR "/examples/sensors.bin.type", data + ".type");
    const std::string header = VM_SOURCE_DIR "/examples/sensors.h";
    const CliRun json = runCli({"import-struct", header, "struct reading"});
    const CliRun into = runCli({"import-struct", header, "reading_t", "-D", "RAW_BYTES=4",
                                "--into", data, "Readings"});
    if (json.code != 0 && json.err.find("without libclang") != std::string::npos)
        GTEST_SKIP() << json.err;
    ASSERT_EQ(json.code, 0) << json.err;
    writeText(dir.file("reading.json"), json.out);
    ASSERT_EQ(runCli({"write-type", dir.file("reading.json"), dir.file("reading.type")}).code, 0);
    const vm::TypeReadResult written = vm::readTypeFile(dir.file("reading.type"), 0);
    ASSERT_TRUE(written.ok);
    ASSERT_EQ(written.content.segments.size(), 1u);
    EXPECT_EQ(written.content.segments[0].recordLength, 24);

    ASSERT_EQ(into.code, 0) << into.err;
    EXPECT_EQ(readBytes(data), readBytes(VM_SOURCE_DIR "/examples/sensors.bin"));
    const vm::TypeReadResult before = vm::readTypeFile(VM_SOURCE_DIR "/examples/sensors.bin.type", 768);
    const vm::TypeReadResult after = vm::readTypeFile(data + ".type", 768);
    ASSERT_TRUE(after.ok);
    const vm::Segment& readings = after.content.segments[1];
    EXPECT_EQ(readings.recordLength, 24);
    ASSERT_EQ(readings.entries.size(), written.content.segments[0].entries.size());
    for (std::size_t i = 0; i < readings.entries.size(); ++i) {
        const vm::TypeEntry& a = readings.entries[i];
        const vm::TypeEntry& b = before.content.segments[1].entries[i];
        EXPECT_EQ(a.kind, b.kind) << a.memo;
        EXPECT_EQ(a.start, b.start) << a.memo;
    }
    EXPECT_EQ(after.content.segments[0].entries, before.content.segments[0].entries);

    // A refused import leaves both files as they were.
    const std::vector<std::uint8_t> typeBytes = readBytes(data + ".type");
    const CliRun refused =
        runCli({"import-struct", header, "reading_t", "--target", "powerpc-linux-gnu", "--into",
                data, "Readings"});
    EXPECT_EQ(refused.code, 1);
    EXPECT_NE(refused.err.find("big-endian"), std::string::npos) << refused.err;
    EXPECT_EQ(readBytes(data + ".type"), typeBytes);

    // A struct of another size: the stored record count follows the record
    // length (480 bytes hold ten records of 48).
    ASSERT_EQ(runCli({"import-struct", header, "reading_t", "-D", "RAW_BYTES=28", "--into", data,
                      "Readings"})
                  .code,
              0);
    const nlohmann::json stored =
        nlohmann::json::parse(runCli({"print-type", data + ".type"}).out)["segments"][1];
    EXPECT_EQ(stored["recordLength"], 48);
    EXPECT_EQ(stored["recordCount"], 10);
}

} // namespace
