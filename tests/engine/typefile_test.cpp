#include <cerrno>
#include <cstring>

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <gtest/gtest.h>

#include "filestream.h"
#include "model.h"
#include "segment.h"
#include "tempdir.h"
#include "typefile.h"

using namespace vm;
using Bytes = std::vector<std::uint8_t>;

namespace {

void put32(Bytes& b, std::size_t at, std::int32_t v) {
    if (b.size() < at + 4)
        b.resize(at + 4, 0);
    putI32(&b[at], v);
}

Bytes header(std::int32_t magic, std::int32_t writer, std::int32_t lowest) {
    Bytes b(162, 0);
    const char* banner = "anything";
    std::memcpy(b.data(), banner, std::strlen(banner));
    put32(b, 100, magic);
    put32(b, 104, writer);
    put32(b, 108, lowest);
    return b;
}

// A structure of two segments, one of them Anomaly, with a few kinds of fields.
TypeFileContent sample() {
    TypeFileContent c;
    c.settings.setCanEditData(true);
    c.settings.setShowIndexNum(true);
    c.settings.setPositionFormat(2);
    c.dataHint[3] = true;
    c.dataHint[11] = true;
    auto a = newSegment(c.segments, 100);
    a->name = "Header";
    a->anomaly = true;
    a->length = 16;
    a->anomalyColumnWidths = {1, 0, 3, 4, 5};
    a->entries.push_back(newTypeEntry(8, "magic", a.get()));
    auto r = newSegment(c.segments, 100);
    r->name = "Records";
    r->begin = 16;
    r->length = 84;
    r->recordLength = 12;
    r->recordCount = 7;
    r->entries.push_back(newTypeEntry(7, "id", r.get()));
    auto t = newTypeEntry(14, "label", r.get());
    t.start = 4;
    t.length = 8;
    r->entries.push_back(t);
    c.segments.append(std::move(a));
    c.segments.append(std::move(r));
    return c;
}

} // namespace

TEST(TypeFile, ImageOfAKnownStructureIsByteExact) {
    const TypeFileContent c = sample();
    const std::string img = typeFileImage(c.segments, c.settings, c.dataHint);
    ASSERT_EQ(img.size(), 162u + 160 + 50 + 160 + 2 * 50);
    const std::string banner = "This File is Made of With Vellomarque  See it in ";
    EXPECT_EQ(img.substr(0, banner.size()), banner);
    EXPECT_LT(img.find('\0'), 100u);
    for (std::size_t i = img.find('\0'); i < 100; ++i)
        ASSERT_EQ(img[i], '\0') << i;
    auto u8 = [&](std::size_t i) { return static_cast<std::uint8_t>(img[i]); };
    EXPECT_EQ(getI32(reinterpret_cast<const std::uint8_t*>(img.data()) + 100), 35467);
    EXPECT_EQ(u8(100), 0x8B);
    EXPECT_EQ(u8(101), 0x8A);
    EXPECT_EQ(u8(104), 110);
    EXPECT_EQ(u8(108), 110);
    EXPECT_EQ(u8(112), 1);     // can edit data
    EXPECT_EQ(u8(114), 1);     // index shown
    EXPECT_EQ(u8(115), 2);     // decimal positions
    EXPECT_EQ(u8(137 + 3), 1); // data hint flags
    EXPECT_EQ(u8(137 + 11), 1);
    EXPECT_EQ(u8(137 + 4), 0);
    EXPECT_EQ(u8(158), 2);            // segment count
    EXPECT_EQ(u8(162 + 120), 1);      // fieldCount of the first segment
    EXPECT_EQ(u8(162 + 160), 8);      // its entry's kind
    EXPECT_EQ(u8(162 + 210 + 26), 7); // "Records"
}

TEST(TypeFile, WriteThenReadGivesTheSameStructure) {
    TempDir dir;
    const std::string path = dir.file("data.bin.type");
    TypeFileContent c = sample();
    c.settings.setCanEditStructure(true);
    const TypeWriteResult w = writeTypeFile(c.segments, c.settings, c.dataHint, path);
    ASSERT_TRUE(w.ok) << w.message;

    const TypeReadResult r = readTypeFile(path, 100);
    ASSERT_TRUE(r.ok) << r.message;
    EXPECT_TRUE(r.opened);
    EXPECT_FALSE(r.content.legacy);
    EXPECT_FALSE(r.content.settings.canEditStructure()); // always off after a load
    c.settings.setCanEditStructure(false);
    EXPECT_EQ(r.content.settings, c.settings);
    EXPECT_EQ(r.content.dataHint, c.dataHint);
    ASSERT_EQ(r.content.segments.size(), 2u);
    const Segment& a = r.content.segments[0];
    EXPECT_EQ(a.name, "Header");
    EXPECT_TRUE(a.anomaly);
    // Widths stored as 0 come back as 2.
    EXPECT_EQ(a.anomalyColumnWidths, (std::array<std::uint16_t, 5>{1, 2, 3, 4, 5}));
    const Segment& b = r.content.segments[1];
    EXPECT_EQ(b.begin, 16);
    EXPECT_EQ(b.recordCount, 7);
    ASSERT_EQ(b.entries.size(), 2u);
    EXPECT_EQ(b.entries[1].memo, "label");
    EXPECT_EQ(b.entries[1].length, 8);
    EXPECT_EQ(b.entries[1].kind, 14);
    // And writing what was read gives the same file again, but for the fixed width.
    c.segments[0].anomalyColumnWidths[1] = 2;
    EXPECT_EQ(typeFileImage(r.content.segments, r.content.settings, r.content.dataHint),
              typeFileImage(c.segments, c.settings, c.dataHint));
}

TEST(TypeFile, OnlyTheSixteenKindsHaveDataHintFlags) {
    // Slots 16 to 20 have no kind; in the old layout their bytes are the
    // first field record's, so whatever stands there is no choice of the user's.
    TempDir dir;
    TypeFileContent c = sample();
    c.dataHint.fill(true);
    const std::string img = typeFileImage(c.segments, c.settings, c.dataHint);
    EXPECT_EQ(img.substr(137, 21), std::string(16, '\1') + std::string(5, '\0'));

    Bytes b(img.begin(), img.end());
    std::fill(b.begin() + 137, b.begin() + 137 + 21, 1);
    writeBytes(dir.file("all.type"), b);
    const TypeReadResult r = readTypeFile(dir.file("all.type"), 100);
    ASSERT_TRUE(r.ok) << r.message;
    for (std::size_t i = 0; i < r.content.dataHint.size(); ++i)
        EXPECT_EQ(r.content.dataHint[i], i < 16) << i;
}

TEST(TypeFile, FixesOnLoad) {
    TempDir dir;
    Bytes b = header(35467, 110, 110);
    b[112 + 4] = 1; // structure editing: cleared on load
    b[137 + 2] = 2; // a flag byte other than 1 is not shown
    b[137 + 5] = 1;
    put32(b, 158, 1);
    Bytes s(160, 0);
    putI32(&s[8], 0); // record length 0
    s.resize(160);
    b.insert(b.end(), s.begin(), s.end());
    writeBytes(dir.file("t.type"), b);
    const TypeReadResult r = readTypeFile(dir.file("t.type"), 0);
    ASSERT_TRUE(r.ok);
    EXPECT_FALSE(r.content.settings.canEditStructure());
    EXPECT_FALSE(r.content.dataHint[2]);
    EXPECT_TRUE(r.content.dataHint[5]);
    ASSERT_EQ(r.content.segments.size(), 1u);
    EXPECT_EQ(r.content.segments[0].recordLength, 1);
    EXPECT_EQ(r.content.segments[0].anomalyColumnWidths[0], 2);
}

TEST(TypeFile, RefusalsCarryTheirMessages) {
    TempDir dir;
    const std::string missing = dir.file("none.type");
    TypeReadResult r = readTypeFile(missing, 0);
    EXPECT_FALSE(r.ok);
    EXPECT_FALSE(r.opened);
    EXPECT_EQ(r.message, missing + " Is Not Exit!");

    const std::string notOurs = dir.file("x.type");
    writeBytes(notOurs, header(1234, 110, 110));
    r = readTypeFile(notOurs, 0);
    EXPECT_FALSE(r.ok);
    EXPECT_TRUE(r.opened);
    EXPECT_EQ(r.message, notOurs + " Is Not Vellomarque's Type File !");

    const std::string tooNew = dir.file("new.type");
    writeBytes(tooNew, header(35467, 120, 111));
    r = readTypeFile(tooNew, 0);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.message, tooNew + "  Is Make with Vellomarque's Ver 1.2  Please Download New "
                                  "Version At http://www.vellomarque.net/");

    const std::string tiny = dir.file("tiny.type");
    writeBytes(tiny, {1, 2, 3});
    EXPECT_FALSE(readTypeFile(tiny, 0).ok);

#ifndef _WIN32              // POSIX file modes
    if (::geteuid() != 0) { // root reads anything
        const std::string locked = dir.file("locked.type");
        writeBytes(locked, header(35467, 110, 110));
        ::chmod(locked.c_str(), 0);
        r = readTypeFile(locked, 0);
        EXPECT_EQ(r.message, "Error Read File -" + locked + "\n" + systemErrorText(EACCES));
    }
    // A FIFO in place of the type file is refused at once, never waited on.
    const std::string fifo = dir.file("fifo.type");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    r = readTypeFile(fifo, 0);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.message, "Error Read File -" + fifo + "\nIt is a FIFO, not a regular file");
#endif
    EXPECT_EQ(readTypeFile(dir.path(), 0).message, dir.path() + " Is Not Exit!");
}

TEST(TypeFile, LegacyLayoutYieldsOneSegment) {
    TempDir dir;
    Bytes b = header(35467, 100, 100);
    b.resize(201 + 2 * 48, 0);
    put32(b, 112, 32); // begin
    put32(b, 124, 6);  // record length
    b[184 + 1] = 1;    // flag of kind 1
    // field 0: kind 7, start 0, length 4, width 90
    b[201 + 4] = 7;
    putU16(&b[201 + 12], 0);
    putU16(&b[201 + 16], 4);
    putU16(&b[201 + 20], 90);
    // field 1: kind 6 at 4
    b[249 + 4] = 6;
    putU16(&b[249 + 12], 4);
    putU16(&b[249 + 16], 2);
    b.push_back(0xFF); // a partial record at the end is not a field
    writeBytes(dir.file("old.type"), b);

    const TypeReadResult r = readTypeFile(dir.file("old.type"), 500);
    ASSERT_TRUE(r.ok) << r.message;
    EXPECT_TRUE(r.content.legacy);
    ASSERT_EQ(r.content.segments.size(), 1u);
    const Segment& s = r.content.segments[0];
    EXPECT_EQ(s.name, "from ver 1.0");
    EXPECT_EQ(s.begin, 32);
    EXPECT_EQ(s.recordLength, 6);
    EXPECT_EQ(s.length, 500);
    EXPECT_FALSE(s.anomaly);
    ASSERT_EQ(s.entries.size(), 2u);
    EXPECT_EQ(s.entries[0].kind, 7);
    EXPECT_EQ(s.entries[0].columnWidth, 90);
    EXPECT_EQ(s.entries[1].start, 4);
    EXPECT_EQ(s.entries[1].memo, "");
    EXPECT_TRUE(r.content.dataHint[1]);
    EXPECT_EQ(r.content.settings.bytes[0], 1);
    EXPECT_EQ(r.content.settings.bytes[3], 1);
    EXPECT_EQ(r.content.settings.bytes[4], 0);
}

TEST(TypeFile, HostileCountsStopAtTheEndOfTheFile) {
    TempDir dir;
    Bytes b = header(35467, 110, 110);
    put32(b, 158, 2000000000);
    Bytes s(160, 0);
    putI32(&s[120], 2000000000); // field count
    s[26] = 3;
    s[27] = 'a';
    s[28] = 'b';
    s[29] = 'c';
    b.insert(b.end(), s.begin(), s.end());
    b.resize(b.size() + 60, 0x01); // one entry and a bit
    ASSERT_LT(b.size(), 400u);
    writeBytes(dir.file("h.type"), b);
    const TypeReadResult r = readTypeFile(dir.file("h.type"), 0);
    ASSERT_TRUE(r.ok);
    ASSERT_EQ(r.content.segments.size(), 1u);
    EXPECT_EQ(r.content.segments[0].name, "abc");
    // One whole entry and one cut short, zero-filled.
    ASSERT_EQ(r.content.segments[0].entries.size(), 2u);
    const TypeEntryImage& cut = r.content.segments[0].entries[1].raw;
    EXPECT_EQ(cut[9], 1);
    EXPECT_EQ(cut[10], 0);
    EXPECT_EQ(cut[49], 0);

    put32(b, 158, -5);
    writeBytes(dir.file("neg.type"), b);
    const TypeReadResult n = readTypeFile(dir.file("neg.type"), 0);
    ASSERT_TRUE(n.ok);
    EXPECT_TRUE(n.content.segments.empty());
}

TEST(TypeFile, FailedWriteKeepsTheOldFile) {
    TempDir dir;
    const std::string path = dir.file("keep.type");
    writeBytes(path, {9, 9, 9});
    const TypeFileContent c = sample();
    // A target inside a missing folder cannot be written.
    const std::string bad = dir.file("missing/folder.type");
    TypeWriteResult w = writeTypeFile(c.segments, c.settings, c.dataHint, bad);
    EXPECT_FALSE(w.ok);
    EXPECT_EQ(w.message, bad + " Write Error");
    EXPECT_FALSE(w.systemError.empty());

#ifndef _WIN32 // POSIX file modes
    if (::geteuid() != 0) {
        ::chmod(dir.path().c_str(), 0500);
        w = writeTypeFile(c.segments, c.settings, c.dataHint, path);
        ::chmod(dir.path().c_str(), 0700);
        EXPECT_FALSE(w.ok);
        EXPECT_EQ(readBytes(path), (Bytes{9, 9, 9}));
    }
#endif
    // A directory in the way is refused, and nothing is left behind.
    w = writeTypeFile(c.segments, c.settings, c.dataHint, dir.path());
    EXPECT_FALSE(w.ok);
    int entries = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir.path()))
        ++entries;
    EXPECT_EQ(entries, 1);
}

#ifndef _WIN32 // POSIX file modes
TEST(TypeFile, ReplacingKeepsPermissions) {
    TempDir dir;
    const std::string path = dir.file("perm.type");
    writeBytes(path, {1});
    ::chmod(path.c_str(), 0600);
    const TypeFileContent c = sample();
    ASSERT_TRUE(writeTypeFile(c.segments, c.settings, c.dataHint, path).ok);
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_GT(st.st_size, 162);
}
#endif

TEST(Pairing, TypeExtensionIsExactAndCaseSensitive) {
    EXPECT_EQ(pairDataAndType("/d/data.bin.type").dataFile, "/d/data.bin");
    EXPECT_EQ(pairDataAndType("/d/data.bin.type").typeFile, "/d/data.bin.type");
    EXPECT_EQ(pairDataAndType("/d/data.bin").typeFile, "/d/data.bin.type");
    EXPECT_EQ(pairDataAndType("/d/data.TYPE").dataFile, "/d/data.TYPE");
    EXPECT_EQ(withTypeExtension("x.TYPE"), "x.TYPE.type");
    EXPECT_EQ(withTypeExtension("x.type"), "x.type");
    EXPECT_EQ(withTypeExtension("dir.type/x"), "dir.type/x.type");
    EXPECT_EQ(defaultTypeFilePath("/opt/vm/"), "/opt/vm/default.type");
}

TEST(Pairing, CaptionTexts) {
    EXPECT_EQ(captionText("", "", "/i/default.type"), "Vellomarque-no file open");
    EXPECT_EQ(captionText("/d/a.bin", "/i/default.type", "/i/default.type"),
              "Vellomarque-/d/a.bin  Use default type");
    EXPECT_EQ(captionText("/d/a.bin", "/d/a.bin.type", "/i/default.type"),
              "Vellomarque-/d/a.bin Use /d/a.bin.type");
    EXPECT_EQ(captionText("/d/a.bin", "", "/i/default.type"), "Vellomarque-/d/a.bin Use ");
}
