#include "indextext.h"

#include <algorithm>
#include <charconv>
#include <cstdio>

#include "kinds.h"

namespace gridtext {

namespace {

int decimalDigits(std::int64_t v) {
    if (v <= 0)
        return 1;
    int n = 0;
    for (; v > 0; v /= 10)
        ++n;
    return n;
}

} // namespace

void measureIndexWidths(vm::Segment& seg, std::int64_t lastIndex, const vm::ViewSettings& vs,
                        std::int64_t fileSize) {
    seg.indexTextWidth =
        vs.showIndexNum() ? static_cast<std::uint8_t>(decimalDigits(lastIndex) + 1) : 0;

    // An Anomaly segment lists its fields wherever they say they are, so its
    // stated end counts even past the file; record segments end at the file.
    std::int64_t end = seg.end();
    if (!seg.anomaly)
        end = std::min(seg.toFilesEnd ? fileSize : end, fileSize);
    if (vs.positionFormat() == 2)
        seg.positionTextWidth = static_cast<std::uint8_t>(decimalDigits(end));
    else
        seg.positionTextWidth = end < 0xFFFF ? 4 : 8;
}

namespace {

// Offset text into out; see positionText.
std::size_t writePosition(std::int64_t pos, bool hex, int minDigits, char* out) {
    if (!hex)
        return static_cast<std::size_t>(std::to_chars(out, out + 24, pos).ptr - out);
    const int n = std::snprintf(out, 32, "%0*llX", std::max(minDigits, 1),
                                static_cast<unsigned long long>(pos));
    return static_cast<std::size_t>(std::clamp(n, 0, 31));
}

} // namespace

std::string positionText(std::int64_t pos, bool hex, int minDigits) {
    char buf[32];
    return std::string(buf, writePosition(pos, hex, minDigits, buf));
}

std::size_t indexCellText(const vm::Segment& seg, std::int64_t i, const vm::ViewSettings& vs,
                          char* out) {
    char* p = out;
    if (vs.showIndexNum()) {
        p = std::to_chars(p, p + 24, i).ptr;
        // Blanks on the right up to the index width.
        while (p - out < seg.indexTextWidth)
            *p++ = ' ';
    }
    std::int64_t pos = 0;
    if (seg.anomaly) {
        const auto idx = static_cast<std::size_t>(i);
        pos = seg.begin + (idx < seg.entries.size() ? seg.entries[idx].start : 0);
    } else {
        pos = seg.recordOffset(i);
    }
    p += writePosition(pos, vs.positionFormat() != 2, seg.positionTextWidth, p);
    return static_cast<std::size_t>(p - out);
}

std::string indexCellText(const vm::Segment& seg, std::int64_t i, const vm::ViewSettings& vs) {
    char buf[kIndexTextRoom];
    return std::string(buf, indexCellText(seg, i, vs, buf));
}

int indexColumnWidth(const vm::Segment& seg) {
    return 8 * (seg.indexTextWidth + seg.positionTextWidth) + 5;
}

std::string fieldTitle(const vm::TypeEntry& entry, int i) {
    if (!entry.memo.empty())
        return entry.memo;
    return std::to_string(i) + " " + std::string(vm::kindName(entry.kind));
}

} // namespace gridtext
