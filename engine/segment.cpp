#include "segment.h"

#include <algorithm>
#include <cstring>

namespace vm {

std::uint16_t getU16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

std::int32_t getI32(const std::uint8_t* p) {
    const std::uint32_t v = static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
                            (static_cast<std::uint32_t>(p[2]) << 16) |
                            (static_cast<std::uint32_t>(p[3]) << 24);
    return static_cast<std::int32_t>(v);
}

void putU16(std::uint8_t* p, std::uint16_t v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}

void putI32(std::uint8_t* p, std::int32_t v) {
    const auto u = static_cast<std::uint32_t>(v);
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<std::uint8_t>(u >> (8 * i));
}

std::string getShortString(const std::uint8_t* p, std::size_t slot) {
    const std::size_t n = std::min<std::size_t>(p[0], slot - 1);
    return std::string(reinterpret_cast<const char*>(p + 1), n);
}

void putShortString(std::uint8_t* p, std::size_t slot, std::string_view text) {
    const std::size_t n = std::min(text.size(), slot - 1);
    p[0] = static_cast<std::uint8_t>(n);
    std::memcpy(p + 1, text.data(), n);
}

// ---- TypeEntry ------------------------------------------------------------

void TypeEntry::setMemo(std::string_view text) {
    memo = std::string(text.substr(0, std::min(text.size(), kMemoMax)));
}

TypeEntryImage TypeEntry::toImage() const {
    TypeEntryImage img = raw;
    img[0] = kind;
    putU16(&img[2], start);
    putU16(&img[4], length);
    putU16(&img[6], columnWidth);
    putShortString(&img[8], 21, memo);
    return img;
}

TypeEntry TypeEntry::fromImage(const TypeEntryImage& image) {
    TypeEntry e;
    e.raw = image;
    e.kind = image[0];
    e.start = getU16(&image[2]);
    e.length = getU16(&image[4]);
    e.columnWidth = getU16(&image[6]);
    e.memo = getShortString(&image[8], 21);
    return e;
}

// ---- Segment --------------------------------------------------------------

void Segment::setName(std::string_view text) {
    name = std::string(text.substr(0, std::min(text.size(), kSegmentNameMax)));
}

SegmentImage Segment::toImage() const {
    SegmentImage img = raw;
    putI32(&img[0], begin);
    putI32(&img[4], recordCount);
    putI32(&img[8], recordLength);
    putI32(&img[12], length);
    for (std::size_t i = 0; i < 5; ++i)
        putU16(&img[16 + 2 * i], anomalyColumnWidths[i]);
    putShortString(&img[26], 41, name);
    img[108] = anomaly ? 1 : 0;
    img[109] = 0;
    std::fill(img.begin() + 112, img.begin() + 120, std::uint8_t{0});
    putI32(&img[120], static_cast<std::int32_t>(entries.size()));
    std::fill(img.begin() + 124, img.begin() + 136, std::uint8_t{0});
    img[136] = toFilesEnd ? 1 : 0;
    img[137] = 0;
    img[138] = 0;
    return img;
}

std::unique_ptr<Segment> Segment::fromImage(const SegmentImage& image, std::int32_t* fieldCount) {
    auto s = std::make_unique<Segment>();
    s->raw = image;
    s->begin = getI32(&image[0]);
    s->recordCount = getI32(&image[4]);
    s->recordLength = getI32(&image[8]);
    s->length = getI32(&image[12]);
    for (std::size_t i = 0; i < 5; ++i)
        s->anomalyColumnWidths[i] = getU16(&image[16 + 2 * i]);
    s->name = getShortString(&image[26], 41);
    s->anomaly = image[108] != 0;
    s->toFilesEnd = image[136] != 0;
    if (fieldCount)
        *fieldCount = getI32(&image[120]);
    return s;
}

// ---- SegmentList ----------------------------------------------------------

int SegmentList::indexOf(const Segment* s) const {
    for (std::size_t i = 0; i < m_items.size(); ++i)
        if (m_items[i].get() == s)
            return static_cast<int>(i);
    return -1;
}

Segment& SegmentList::append(Ptr s) {
    m_items.push_back(std::move(s));
    return *m_items.back();
}

Segment& SegmentList::insert(std::size_t pos, Ptr s) {
    pos = std::min(pos, m_items.size());
    auto it = m_items.insert(m_items.begin() + static_cast<std::ptrdiff_t>(pos), std::move(s));
    return **it;
}

SegmentList::Ptr SegmentList::take(std::size_t pos) {
    Ptr p = std::move(m_items.at(pos));
    m_items.erase(m_items.begin() + static_cast<std::ptrdiff_t>(pos));
    if (m_current == p.get())
        m_current = nullptr;
    return p;
}

} // namespace vm
