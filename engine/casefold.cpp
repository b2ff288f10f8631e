#include "casefold.h"

#include <algorithm>
#include <cstdint>
#include <iterator>

namespace vm {

namespace {

struct FoldRun {
    std::int32_t first;
    std::int32_t last;
    std::int32_t delta;
    std::int32_t stride;
};

// About 200 runs instead of 1,400 single mappings: letters come in blocks of
// capitals (every code point) or of alternating capital and small letter.
constexpr FoldRun kRuns[] = {
#include "casefoldtable.inc"
};

bool inRun(const FoldRun& r, std::int64_t c) {
    return c >= r.first && c <= r.last && (c - r.first) % r.stride == 0;
}

} // namespace

char32_t simpleCaseFold(char32_t c) {
    const auto v = static_cast<std::int64_t>(c);
    const auto* it = std::upper_bound(std::begin(kRuns), std::end(kRuns), v,
                                      [](std::int64_t x, const FoldRun& r) { return x < r.first; });
    if (it == std::begin(kRuns) || !inRun(*--it, v))
        return c;
    return static_cast<char32_t>(v + it->delta);
}

std::vector<char32_t> caseForms(char32_t c) {
    const char32_t folded = simpleCaseFold(c);
    std::vector<char32_t> forms{folded};
    for (const FoldRun& r : kRuns)
        if (const std::int64_t from = std::int64_t{folded} - r.delta; inRun(r, from))
            forms.push_back(static_cast<char32_t>(from));
    std::sort(forms.begin(), forms.end());
    return forms;
}

} // namespace vm
