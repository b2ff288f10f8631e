#include "indextext.h"

#include <algorithm>
#include <cstdio>

#include "codec.h"
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

std::string positionText(std::int64_t pos, bool hex, int minDigits) {
    if (!hex)
        return std::to_string(pos);
    char buf[32];
    std::snprintf(buf, sizeof buf, "%0*llX", std::max(minDigits, 1),
                  static_cast<unsigned long long>(pos));
    return buf;
}

std::string indexCellText(const vm::Segment& seg, std::int64_t i, const vm::ViewSettings& vs) {
    std::string text;
    if (vs.showIndexNum())
        text = vm::padText(std::to_string(i), seg.indexTextWidth);
    std::int64_t pos = 0;
    if (seg.anomaly) {
        const auto idx = static_cast<std::size_t>(i);
        pos = seg.begin + (idx < seg.entries.size() ? seg.entries[idx].start : 0);
    } else {
        pos = seg.recordOffset(i);
    }
    return text + positionText(pos, vs.positionFormat() != 2, seg.positionTextWidth);
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
