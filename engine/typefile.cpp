#include "typefile.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "atomicfile.h"
#include "codec.h"
#include "filestream.h"
#include "model.h"

namespace vm {

namespace {

constexpr std::int64_t kVersionOffset = 100;
constexpr std::int64_t kSettingsOffset = 112;
constexpr std::int64_t kFlagsOffset = 137;
constexpr std::int64_t kCountOffset = 158;
constexpr std::int64_t kSegmentsOffset = 162;

constexpr std::int64_t kLegacyHeaderOffset = 112;
constexpr std::int64_t kLegacyFlagsOffset = 184;
constexpr std::int64_t kLegacyFieldsOffset = 201;
constexpr std::int64_t kLegacyFieldSize = 48;

std::string banner() {
    return std::string("This File is Made of With Vellomarque  See it in ") + kMakerAddress;
}

// Reads as much as is there; the missing tail stays zero. Returns bytes read.
template <std::size_t N>
std::size_t readZeroFilled(const FileStream& f, std::int64_t pos,
                           std::array<std::uint8_t, N>& out) {
    out.fill(0);
    return f.readAt(pos, out);
}

// Only the slots of the 16 kinds mean anything. The last five have no kind,
// and in the old layout they share their bytes with the first field record,
// so whatever is stored there is no choice of the user's.
void readFlags(const FileStream& f, std::int64_t pos, DataHintFlags& flags) {
    std::array<std::uint8_t, kDataHintSlots> raw{};
    readZeroFilled(f, pos, raw);
    for (std::size_t i = 0; i < raw.size(); ++i)
        flags[i] = i < static_cast<std::size_t>(kKindCount) && raw[i] == 1;
}

void fixLoadedSegment(Segment& s) {
    if (s.recordLength < 1)
        s.recordLength = 1;
    for (auto& w : s.anomalyColumnWidths)
        if (w == 0)
            w = 2;
}

TypeReadResult readLegacy(const FileStream& f, TypeReadResult r, std::int64_t dataFileSize) {
    std::array<std::uint8_t, 72> header{};
    readZeroFilled(f, kLegacyHeaderOffset, header);
    readFlags(f, kLegacyFlagsOffset, r.content.dataHint);
    r.content.settings = ViewSettings{};
    for (std::size_t i = 0; i < 4; ++i)
        r.content.settings.bytes[i] = 1;
    r.content.settings.bytes[4] = 0;

    auto seg = newSegment(r.content.segments, dataFileSize);
    seg->begin = getI32(&header[0]);
    seg->recordLength = getI32(&header[12]);
    seg->name = "from ver 1.0";
    seg->anomaly = false;
    // The current layout never stores a record length below 1; hold old files to
    // the same rule so the grid and the rewrites never divide by zero.
    fixLoadedSegment(*seg);

    const std::int64_t size = f.size();
    const std::int64_t count =
        size > kLegacyFieldsOffset ? (size - kLegacyFieldsOffset) / kLegacyFieldSize : 0;
    for (std::int64_t k = 0; k < count; ++k) {
        std::array<std::uint8_t, kLegacyFieldSize> rec{};
        if (readZeroFilled(f, kLegacyFieldsOffset + k * kLegacyFieldSize, rec) == 0)
            break;
        TypeEntry e;
        e.kind = rec[4];
        e.start = getU16(&rec[12]);
        e.length = getU16(&rec[16]);
        e.columnWidth = getU16(&rec[20]);
        seg->entries.push_back(std::move(e));
    }
    r.content.segments.append(std::move(seg));
    r.content.legacy = true;
    r.ok = true;
    return r;
}

std::string versionText(std::int32_t writer) {
    return formatGeneral(static_cast<double>(writer) / 100.0);
}

} // namespace

TypeReadResult readTypeFile(const std::string& path, std::int64_t dataFileSize) {
    TypeReadResult r;
    if (!fileExists(path)) {
        r.message = path + " Is Not Exit!";
        return r;
    }
    FileStream f;
    if (!f.open(path, FileStream::Mode::Read)) {
        r.message = "Error Read File -" + path + "\n" + f.lastError();
        return r;
    }
    r.opened = true;

    std::array<std::uint8_t, 12> version{};
    readZeroFilled(f, kVersionOffset, version);
    const std::int32_t magic = getI32(&version[0]);
    const std::int32_t writer = getI32(&version[4]);
    const std::int32_t lowestReader = getI32(&version[8]);
    if (magic != kTypeFileMagic) {
        r.message = path + " Is Not Vellomarque's Type File !";
        return r;
    }
    if (lowestReader > kOwnVersion) {
        r.message = path + "  Is Make with Vellomarque's Ver " + versionText(writer) +
                    "  Please Download New Version At " + kMakerAddress;
        return r;
    }
    if (writer < kLowestCurrentLayoutVersion)
        return readLegacy(f, std::move(r), dataFileSize);

    readZeroFilled(f, kSettingsOffset, r.content.settings.bytes);
    readFlags(f, kFlagsOffset, r.content.dataHint);
    r.content.settings.bytes[4] = 0; // structure editing is off after every load

    std::array<std::uint8_t, 4> countBytes{};
    readZeroFilled(f, kCountOffset, countBytes);
    const std::int32_t count = getI32(countBytes.data());

    // Counts are taken as stored, but reading stops at the end of the file, so
    // a hostile count never turns into a huge allocation.
    const std::int64_t size = f.size();
    std::int64_t pos = kSegmentsOffset;
    for (std::int32_t i = 0; i < count && pos < size; ++i) {
        SegmentImage img{};
        pos += static_cast<std::int64_t>(readZeroFilled(f, pos, img));
        std::int32_t fieldCount = 0;
        auto seg = Segment::fromImage(img, &fieldCount);
        fixLoadedSegment(*seg);
        for (std::int32_t k = 0; k < fieldCount && pos < size; ++k) {
            TypeEntryImage eimg{};
            pos += static_cast<std::int64_t>(readZeroFilled(f, pos, eimg));
            seg->entries.push_back(TypeEntry::fromImage(eimg));
        }
        r.content.segments.append(std::move(seg));
    }
    r.ok = true;
    return r;
}

std::string typeFileImage(const SegmentList& segments, const ViewSettings& settings,
                          const DataHintFlags& dataHint) {
    std::string out(kSegmentsOffset, '\0');
    const std::string b = banner();
    std::memcpy(out.data(), b.data(), std::min<std::size_t>(b.size(), kVersionOffset));
    auto* p = reinterpret_cast<std::uint8_t*>(out.data());
    putI32(p + kVersionOffset, kTypeFileMagic);
    putI32(p + kVersionOffset + 4, kOwnVersion);
    putI32(p + kVersionOffset + 8, kOwnVersion);
    std::memcpy(p + kSettingsOffset, settings.bytes.data(), settings.bytes.size());
    // The slots without a kind are always stored clear.
    for (std::size_t i = 0; i < static_cast<std::size_t>(kKindCount); ++i)
        p[kFlagsOffset + static_cast<std::int64_t>(i)] = dataHint[i] ? 1 : 0;
    putI32(p + kCountOffset, static_cast<std::int32_t>(segments.size()));
    for (const auto& s : segments) {
        const SegmentImage img = s->toImage();
        out.append(reinterpret_cast<const char*>(img.data()), img.size());
        for (const TypeEntry& e : s->entries) {
            const TypeEntryImage eimg = e.toImage();
            out.append(reinterpret_cast<const char*>(eimg.data()), eimg.size());
        }
    }
    return out;
}

TypeWriteResult writeTypeFile(const SegmentList& segments, const ViewSettings& settings,
                              const DataHintFlags& dataHint, const std::string& path) {
    TypeWriteResult r;
    ReplaceFile out;
    if (!out.begin(path) || !out.append(typeFileImage(segments, settings, dataHint)) ||
        !out.commit()) {
        r.message = path + " Write Error";
        r.systemError = out.error();
        return r;
    }
    r.ok = true;
    return r;
}

DataTypePair pairDataAndType(const std::string& path) {
    constexpr std::string_view ext = ".type";
    if (path.size() >= ext.size() && path.compare(path.size() - ext.size(), ext.size(), ext) == 0)
        return {path.substr(0, path.size() - ext.size()), path};
    return {path, path + ".type"};
}

std::string defaultTypeFilePath(const std::string& installDir) {
    return installDir + "default.type";
}

std::string captionText(const std::string& dataFile, const std::string& typeFileName,
                        const std::string& defaultTypeFile) {
    std::string c = "Vellomarque-";
    if (dataFile.empty())
        return c + "no file open";
    c += dataFile;
    if (typeFileName == defaultTypeFile)
        c += "  Use default type";
    else
        c += " Use " + typeFileName;
    return c;
}

std::string withTypeExtension(const std::string& path) {
    constexpr std::string_view ext = ".type";
    const std::size_t slash = path.find_last_of("/\\");
    const std::size_t dot = path.find_last_of('.');
    const bool hasExt = dot != std::string::npos && (slash == std::string::npos || dot > slash);
    if (hasExt && std::string_view(path).substr(dot) == ext)
        return path;
    return path + std::string(ext);
}

} // namespace vm
