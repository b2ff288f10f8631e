#include "findscan.h"

#include <algorithm>
#include <bit>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__GNUC__) && defined(__x86_64__)
#include <immintrin.h>
#define VM_FIND_AVX2 1
#endif

#include "codec.h"
#include "findtext.h"
#include "kinds.h"

namespace vm {

namespace {

constexpr std::int64_t kBlock = std::int64_t{1} << 20;
// Progress is asked after this many matches too, so that data full of matches
// still pauses in time.
constexpr int kMatchesPerCheck = 1024;

// How unlikely a byte is in typical binary data: zero bytes and FF fill most
// files, small numbers and blanks come next. The search looks for the least
// likely bytes of a pattern first, so it stops rarely on candidates that then
// fail.
int rarity(std::uint8_t b) {
    if (b == 0x00)
        return 0;
    if (b == 0xFF)
        return 1;
    if (b < 0x10 || b == 0x20 || b >= 0xF0)
        return 2;
    return 3;
}

// What the vector loops compare a byte of the pattern with: every value it
// can have, ORed with `mask`, equals `value`. The mask takes in the bits in
// which the values differ, so it lets through a few more values than those
// (as many as 2^bits); exact bytes have mask 0.
struct MaskedByte {
    std::uint8_t value = 0;
    std::uint8_t mask = 0;
};
MaskedByte maskedByte(const std::vector<std::uint8_t>& values) {
    MaskedByte m;
    for (const std::uint8_t v : values)
        m.mask = static_cast<std::uint8_t>(m.mask | (v ^ values.front()));
    m.value = static_cast<std::uint8_t>(values.front() | m.mask);
    return m;
}

// How often the byte may be expected to stop the search, over all the values
// its mask lets through: the rarer they are, the smaller.
int commonness(MaskedByte m) {
    int sum = 0;
    const int base = m.value & ~m.mask;
    for (int bits = m.mask;; bits = (bits - 1) & m.mask) { // every subset of the mask
        sum += 1 << (2 * (3 - rarity(static_cast<std::uint8_t>(base | bits))));
        if (bits == 0)
            return sum;
    }
}

// The index of the pattern byte least likely to stop the search, skipping
// one index; the first of equals. Bytes whose mask lets more than eight
// values through are not worth looking for first. -1 when there is none.
std::int64_t probeIndex(const FindPattern& pattern, std::int64_t skip) {
    std::int64_t best = -1;
    int bestCost = 0;
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        if (static_cast<std::int64_t>(i) == skip)
            continue;
        const MaskedByte m = maskedByte(pattern.bytesAt(i));
        if (std::popcount(m.mask) > 3)
            continue;
        const int cost = commonness(m);
        if (best < 0 || cost < bestCost) {
            best = static_cast<std::int64_t>(i);
            bestCost = cost;
        }
    }
    return best;
}

// The pattern's two bytes least likely to stop the search (the same one
// twice for a single byte); none when no byte is worth it.
FindProbe chooseProbe(const FindPattern& pattern) {
    FindProbe pr;
    pr.r = probeIndex(pattern, -1);
    if (pr.r < 0)
        return pr;
    pr.r2 = probeIndex(pattern, pr.r);
    if (pr.r2 < 0)
        pr.r2 = pr.r;
    const MaskedByte a = maskedByte(pattern.bytesAt(static_cast<std::size_t>(pr.r)));
    const MaskedByte b = maskedByte(pattern.bytesAt(static_cast<std::size_t>(pr.r2)));
    pr.a = a.value;
    pr.aMask = a.mask;
    pr.b = b.value;
    pr.bMask = b.mask;
    return pr;
}

#ifdef VM_FIND_AVX2
// The lanes of the 32 bytes at `at` that equal v, after ORing them with the
// mask when Masked.
template <bool Masked>
__attribute__((target("avx2"), always_inline)) inline __m256i
equal32(const std::uint8_t* at, __m256i v, [[maybe_unused]] __m256i mask) {
    const __m256i x = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(at));
    if constexpr (Masked)
        return _mm256_cmpeq_epi8(_mm256_or_si256(x, mask), v);
    else
        return _mm256_cmpeq_epi8(x, v);
}

// Sixty-four candidates at a time where the processor can; i ends where the
// search stopped without a match.
template <bool Masked, typename Match>
__attribute__((target("avx2"))) std::int64_t searchWide(const std::uint8_t* buf, std::int64_t& i,
                                                        std::int64_t e, const FindProbe& pr,
                                                        const Match& match) {
    const std::int64_t r = pr.r;
    const std::int64_t r2 = pr.r2;
    const __m256i a = _mm256_set1_epi8(static_cast<char>(pr.a));
    const __m256i b = _mm256_set1_epi8(static_cast<char>(pr.b));
    const __m256i am = _mm256_set1_epi8(static_cast<char>(pr.aMask));
    const __m256i bm = _mm256_set1_epi8(static_cast<char>(pr.bMask));
    for (; i + 63 <= e; i += 64) {
        const __m256i m0 = _mm256_and_si256(equal32<Masked>(buf + i + r, a, am),
                                            equal32<Masked>(buf + i + r2, b, bm));
        const __m256i m1 = _mm256_and_si256(equal32<Masked>(buf + i + 32 + r, a, am),
                                            equal32<Masked>(buf + i + 32 + r2, b, bm));
        const __m256i any = _mm256_or_si256(m0, m1);
        if (_mm256_testz_si256(any, any))
            continue;
        std::uint64_t mask = static_cast<std::uint32_t>(_mm256_movemask_epi8(m0)) |
                             std::uint64_t{static_cast<std::uint32_t>(_mm256_movemask_epi8(m1))}
                                 << 32;
        while (mask != 0) {
            const std::int64_t s = i + std::countr_zero(mask);
            if (match(buf + s))
                return s;
            mask &= mask - 1;
        }
    }
    return -1;
}

bool hasAvx2() {
    static const bool has = __builtin_cpu_supports("avx2");
    return has;
}
#endif

// The first s in [i, e] where match(buf + s) holds, or -1; the bytes up to
// buf + e + the pattern's length - 1 are readable. Only offsets where both
// probe bytes pass are tried. Without Masked the probes' masks are 0.
template <bool Masked, typename Match>
std::int64_t searchProbed(const std::uint8_t* buf, std::int64_t i, std::int64_t e,
                          const FindProbe& pr, std::size_t length, const Match& match) {
    const std::int64_t r = pr.r;
    // A single exact byte is left to memchr below, which is as fast.
    const bool vectors = Masked || length >= 2;
#ifdef VM_FIND_AVX2
    if (vectors && hasAvx2())
        if (const std::int64_t s = searchWide<Masked>(buf, i, e, pr, match); s >= 0)
            return s;
#endif
#if defined(__SSE2__)
    if (vectors) {
        // Sixteen candidates at a time: both probe bytes must be in place,
        // which leaves few candidates to compare in full.
        const std::int64_t r2 = pr.r2;
        const __m128i a = _mm_set1_epi8(static_cast<char>(pr.a));
        const __m128i b = _mm_set1_epi8(static_cast<char>(pr.b));
        [[maybe_unused]] const __m128i am = _mm_set1_epi8(static_cast<char>(pr.aMask));
        [[maybe_unused]] const __m128i bm = _mm_set1_epi8(static_cast<char>(pr.bMask));
        auto eq = [](const std::uint8_t* at, __m128i v, [[maybe_unused]] __m128i m) {
            const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
            if constexpr (Masked)
                return _mm_cmpeq_epi8(_mm_or_si128(x, m), v);
            else
                return _mm_cmpeq_epi8(x, v);
        };
        for (; i + 15 <= e; i += 16) {
            auto mask = static_cast<unsigned>(
                _mm_movemask_epi8(_mm_and_si128(eq(buf + i + r, a, am), eq(buf + i + r2, b, bm))));
            while (mask != 0) {
                const std::int64_t s = i + std::countr_zero(mask);
                if (match(buf + s))
                    return s;
                mask &= mask - 1;
            }
        }
    }
#endif
    if constexpr (Masked) {
        for (; i <= e; ++i)
            if ((buf[i + r] | pr.aMask) == pr.a && match(buf + i))
                return i;
    } else {
        while (i <= e) {
            const void* h = std::memchr(buf + i + r, pr.a, static_cast<std::size_t>(e - i + 1));
            if (!h)
                break;
            const std::int64_t s = static_cast<const std::uint8_t*>(h) - buf - r;
            if (match(buf + s))
                return s;
            i = s + 1;
        }
    }
    return -1;
}

// The first s in [i, e] where the condition's pattern lies at buf + s, or -1.
std::int64_t searchBuffer(const std::uint8_t* buf, std::int64_t i, std::int64_t e,
                          const FindPattern& pattern, const FindProbe& pr) {
    if (pattern.exact()) {
        const std::uint8_t* pat = pattern.bytes().data();
        const std::size_t L = pattern.size();
        return searchProbed<false>(buf, i, e, pr, L, [pat, L](const std::uint8_t* at) {
            return std::memcmp(at, pat, L) == 0;
        });
    }
    auto match = [&pattern](const std::uint8_t* at) { return pattern.matchesAt(at); };
    if (pr.r >= 0 && pr.aMask == 0 && pr.bMask == 0)
        return searchProbed<false>(buf, i, e, pr, pattern.size(), match);
    if (pr.r >= 0)
        return searchProbed<true>(buf, i, e, pr, pattern.size(), match);
    // No byte narrow enough to look for first: every offset is tried.
    for (; i <= e; ++i)
        if (match(buf + i))
            return i;
    return -1;
}

} // namespace

int findPatternLength(int kind) {
    const KindInfo* k = kindInfo(kind);
    return k ? k->defaultLength : 0;
}

std::vector<std::uint8_t> findPattern(int kind, std::string_view value, const Locale& loc) {
    const int length = findPatternLength(kind);
    if (length <= 0)
        return {};
    std::vector<std::uint8_t> buf(static_cast<std::size_t>(std::max(length, 8)), 0);
    // A rejected value leaves the buffer all zero, which is then what is searched.
    encodeValue(value, kind, length, buf, loc);
    buf.resize(static_cast<std::size_t>(length));
    return buf;
}

bool patternTouches(const ByteSource& src, std::span<const std::uint8_t> pattern, std::int64_t pos,
                    int length) {
    std::vector<std::uint8_t> scratch;
    return patternTouches(src, pattern, pos, length, scratch);
}

namespace {

// Whether match holds at an offset from which L bytes overlap [pos, pos + length).
template <typename Match>
bool touches(const ByteSource& src, std::int64_t L, std::int64_t pos, int length,
             std::vector<std::uint8_t>& buf, const Match& match) {
    if (L == 0 || length <= 0)
        return false;
    const std::int64_t from = std::max<std::int64_t>(0, pos - L + 1);
    const std::int64_t last = pos + length - 1; // the last start that still overlaps
    if (last < from)
        return false;
    buf.resize(static_cast<std::size_t>(last - from + L));
    const std::size_t n = src.readAt(from, buf);
    for (std::int64_t s = 0; s <= last - from && static_cast<std::size_t>(s + L) <= n; ++s)
        if (match(buf.data() + s))
            return true;
    return false;
}

} // namespace

bool patternTouches(const ByteSource& src, std::span<const std::uint8_t> pattern, std::int64_t pos,
                    int length, std::vector<std::uint8_t>& buf) {
    return touches(src, static_cast<std::int64_t>(pattern.size()), pos, length, buf,
                   [pattern](const std::uint8_t* at) {
                       return std::memcmp(at, pattern.data(), pattern.size()) == 0;
                   });
}

bool patternTouches(const ByteSource& src, const FindPattern& pattern, std::int64_t pos, int length,
                    std::vector<std::uint8_t>& buf) {
    return touches(src, static_cast<std::int64_t>(pattern.size()), pos, length, buf,
                   [&pattern](const std::uint8_t* at) { return pattern.matchesAt(at); });
}

// --- the search ----------------------------------------------------------------

FindScan::FindScan(std::int64_t size, const std::vector<std::vector<std::uint8_t>>& patterns,
                   std::int64_t range)
    : FindScan(size, std::vector<FindPattern>(patterns.begin(), patterns.end()), range) {}

FindScan::FindScan(std::int64_t size, std::vector<FindPattern> patterns, std::int64_t range)
    : m_size(std::max<std::int64_t>(0, size)), m_range(range), m_step(m_size / 100) {
    for (auto& p : patterns) {
        Condition c;
        c.pattern = std::move(p);
        c.probe = chooseProbe(c.pattern);
        m_longest = std::max(m_longest, c.pattern.size());
        m_conds.push_back(std::move(c));
    }
    m_positions.resize(m_conds.size());
    m_done = m_conds.empty() || m_size == 0;
}

void FindScan::advanceTo(std::int64_t p, const FindEvents& events) {
    // Position by position, the stretch is reported whenever it has grown past
    // a hundredth of the data; a jump over unmatched bytes reports the same.
    Condition& c = m_conds[m_cur];
    while (p - c.scanStart > m_step) {
        const std::int64_t next = c.scanStart + m_step + 1;
        if (events.scanned)
            events.scanned(static_cast<int>(m_cur), c.scanStart, next);
        c.scanStart = next;
    }
    m_p = p;
}

void FindScan::finish(const FindEvents& events) {
    // The last step takes the position just past the end of the data.
    advanceTo(m_p <= m_size ? m_size + 1 : m_p + 1, events);
    if (events.scanned)
        events.scanned(static_cast<int>(m_cur), m_conds[m_cur].scanStart, m_p);
    m_done = true;
}

bool FindScan::fill(const ByteSource& src, std::int64_t at) {
    if (m_buf.empty())
        m_buf.resize(static_cast<std::size_t>(kBlock) + m_longest + 16);
    m_bufStart = at;
    m_bufLen = static_cast<std::int64_t>(src.readAt(at, m_buf));
    const std::int64_t expected = std::min(static_cast<std::int64_t>(m_buf.size()), m_size - at);
    if (m_bufLen < expected)
        m_readError = true;
    return m_bufLen > 0;
}

std::int64_t FindScan::nextMatch(const ByteSource& src, std::int64_t limit,
                                 std::int64_t* searched) {
    const Condition& c = m_conds[m_cur];
    const auto L = static_cast<std::int64_t>(c.pattern.size());
    if (m_p < m_bufStart || m_p + L > m_bufStart + m_bufLen) {
        if (!fill(src, m_p) || m_bufLen < L) {
            // Nothing more can be read: no match anywhere further on.
            *searched = limit;
            return -1;
        }
    }
    const std::int64_t end = std::min(limit, m_bufStart + m_bufLen - L);
    const std::int64_t s =
        searchBuffer(m_buf.data(), m_p - m_bufStart, end - m_bufStart, c.pattern, c.probe);
    if (s >= 0)
        return m_bufStart + s;
    *searched = end;
    return -1;
}

bool FindScan::run(const ByteSource& src, const FindEvents& events, const Progress& progress) {
    // The bytes may have been edited since the last slice.
    m_bufLen = 0;
    int matches = 0;
    while (!m_done) {
        Condition& c = m_conds[m_cur];
        const auto L = static_cast<std::int64_t>(c.pattern.size());
        const std::int64_t last = m_size - L; // the last offset a whole pattern fits at
        if (L == 0 || m_p > last) {
            finish(events);
            break;
        }
        const bool refill = m_p < m_bufStart || m_p + L > m_bufStart + m_bufLen;
        if ((refill || ++matches >= kMatchesPerCheck) && progress) {
            matches = 0;
            if (!progress(static_cast<double>(m_p) / static_cast<double>(m_size)))
                return false;
        }
        std::int64_t searched = 0;
        const std::int64_t q = nextMatch(src, last, &searched);
        if (q < 0) {
            advanceTo(searched + 1, events);
            continue;
        }
        advanceTo(q, events);

        // A match of the current condition at q.
        c.found = q;
        c.flag = true;
        std::size_t i = 0;
        while (i < m_conds.size() && m_conds[i].flag &&
               std::max(m_conds[i].found - q, q - m_conds[i].found) <= m_range)
            ++i;
        if (events.scanned)
            events.scanned(static_cast<int>(m_cur), c.scanStart, q);
        if (i < m_conds.size()) {
            // Turn to the first condition not found near enough, from range
            // bytes back or its own last find.
            Condition& next = m_conds[i];
            m_cur = i;
            next.flag = false;
            std::int64_t p = q - next.found > m_range ? q - m_range : next.found;
            m_p = std::max<std::int64_t>(0, p);
            next.scanStart = m_p;
            continue;
        }
        ++m_number;
        for (std::size_t k = 0; k < m_conds.size(); ++k) {
            m_positions[k] = m_conds[k].found;
            m_conds[k].flag = false;
        }
        if (events.hit)
            events.hit(m_number, m_positions);
        advanceTo(q + 1, events);
    }
    return true;
}

} // namespace vm
