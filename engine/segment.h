#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace vm {

inline constexpr std::size_t kSegmentImageSize = 160;
inline constexpr std::size_t kTypeEntryImageSize = 50;
inline constexpr std::size_t kViewSettingsSize = 25;
inline constexpr std::size_t kSegmentNameMax = 40;
inline constexpr std::size_t kMemoMax = 20;

using SegmentImage = std::array<std::uint8_t, kSegmentImageSize>;
using TypeEntryImage = std::array<std::uint8_t, kTypeEntryImageSize>;

// One field of every record of a segment. The stored 50-byte image is kept
// whole so that reserved bytes survive a read and a write unchanged.
struct TypeEntry {
    std::uint8_t kind = 0;
    std::uint16_t start = 0;
    std::uint16_t length = 0;
    std::uint16_t columnWidth = 0;
    std::string memo; // at most 20 single-byte characters

    TypeEntryImage raw{}; // the image as read; reserved bytes are taken from here

    void setMemo(std::string_view text);
    TypeEntryImage toImage() const;
    static TypeEntry fromImage(const TypeEntryImage& image);

    std::int64_t end() const { return std::int64_t{start} + length; }
    bool operator==(const TypeEntry& o) const = default;
};

// What the GUI hangs on a segment (its grids and splitters). The engine only
// owns and destroys it; it never looks inside.
class SegmentViews {
public:
    virtual ~SegmentViews() = default;
};

// A named byte range of the data file, cut into records of recordLength bytes.
struct Segment {
    std::int32_t begin = 0;
    std::int32_t recordCount = 0;
    std::int32_t recordLength = 0;
    std::int32_t length = 0;
    std::array<std::uint16_t, 5> anomalyColumnWidths{}; // Value, Type, Start, Length, Memo
    std::string name;                                    // at most 40 characters
    bool anomaly = false;
    bool needsRedraw = false;    // memory only
    bool toFilesEnd = false;
    std::uint8_t indexTextWidth = 0;    // memory only
    std::uint8_t positionTextWidth = 0; // memory only
    std::vector<TypeEntry> entries;

    SegmentImage raw{}; // the image as read; reserved bytes are taken from here
    std::unique_ptr<SegmentViews> views;

    Segment() = default;
    Segment(const Segment&) = delete;
    Segment& operator=(const Segment&) = delete;

    void setName(std::string_view text);
    // fieldCount is taken from the entry list; memory-only slots are written as zero.
    SegmentImage toImage() const;
    // The image's fields; the entry list stays empty (fieldCount is returned apart).
    static std::unique_ptr<Segment> fromImage(const SegmentImage& image, std::int32_t* fieldCount);

    std::int64_t end() const { return std::int64_t{begin} + length; }
    // The extent that type entries are checked against: the whole segment for an
    // Anomaly segment, one record otherwise.
    std::int64_t extent() const { return anomaly ? length : recordLength; }
    std::int64_t recordOffset(std::int64_t r) const { return begin + r * std::int64_t{recordLength}; }
};

// The 25 bytes of document view settings stored in the type file.
struct ViewSettings {
    std::array<std::uint8_t, kViewSettingsSize> bytes{};

    bool canEditData() const { return bytes[0] != 0; }
    bool canResetStructure() const { return bytes[1] != 0; }
    bool showIndexNum() const { return bytes[2] != 0; }
    // 1 hexadecimal, 2 decimal
    std::uint8_t positionFormat() const { return bytes[3]; }
    bool hexPositions() const { return bytes[3] == 1; }
    bool canEditStructure() const { return bytes[4] != 0; }

    void setCanEditData(bool v) { bytes[0] = v ? 1 : 0; }
    void setCanResetStructure(bool v) { bytes[1] = v ? 1 : 0; }
    void setShowIndexNum(bool v) { bytes[2] = v ? 1 : 0; }
    void setPositionFormat(std::uint8_t v) { bytes[3] = v; }
    void setCanEditStructure(bool v) { bytes[4] = v ? 1 : 0; }
    bool operator==(const ViewSettings&) const = default;
};

// The ordered segments of the structure, owning them, and the current segment.
class SegmentList {
public:
    using Ptr = std::unique_ptr<Segment>;

    std::size_t size() const { return m_items.size(); }
    bool empty() const { return m_items.empty(); }
    Segment& at(std::size_t i) { return *m_items.at(i); }
    const Segment& at(std::size_t i) const { return *m_items.at(i); }
    Segment& operator[](std::size_t i) { return *m_items[i]; }
    const Segment& operator[](std::size_t i) const { return *m_items[i]; }
    // Position of a segment in the list, or -1.
    int indexOf(const Segment* s) const;

    Segment& append(Ptr s);
    Segment& insert(std::size_t pos, Ptr s);
    // Removes and returns a segment; the current segment becomes none if it was that one.
    Ptr take(std::size_t pos);
    Segment* current() const { return m_current; }
    void setCurrent(Segment* s) { m_current = s; }

    std::vector<Ptr>& items() { return m_items; }
    const std::vector<Ptr>& items() const { return m_items; }
    auto begin() { return m_items.begin(); }
    auto end() { return m_items.end(); }
    auto begin() const { return m_items.begin(); }
    auto end() const { return m_items.end(); }

private:
    std::vector<Ptr> m_items;
    Segment* m_current = nullptr;
};

// Little-endian field access into byte images.
std::uint16_t getU16(const std::uint8_t* p);
std::int32_t getI32(const std::uint8_t* p);
void putU16(std::uint8_t* p, std::uint16_t v);
void putI32(std::uint8_t* p, std::int32_t v);
// Short string: a length byte then that many characters inside a slot of `slot` bytes.
std::string getShortString(const std::uint8_t* p, std::size_t slot);
void putShortString(std::uint8_t* p, std::size_t slot, std::string_view text);

} // namespace vm
