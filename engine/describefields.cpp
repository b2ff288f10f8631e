#include "describefields.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstdio>
#include <cctype>
#include <cstring>
#include <limits>
#include <map>
#include <numeric>
#include <set>
#include <string>

#include "cellformat.h"
#include "kinds.h"
#include "segment.h"

namespace vm {

namespace {

constexpr char kDash = '\x96'; // an en dash in single-byte text
constexpr std::size_t kMemoMaxChars = kMemoMax;

std::uint64_t readLE(const std::uint8_t* p, int n) {
    std::uint64_t v = 0;
    for (int i = 0; i < n; ++i)
        v |= static_cast<std::uint64_t>(p[i]) << (8 * i);
    return v;
}

std::int64_t signExtend(std::uint64_t v, int n) {
    if (n >= 8)
        return static_cast<std::int64_t>(v);
    const std::uint64_t sign = std::uint64_t{1} << (8 * n - 1);
    return static_cast<std::int64_t>((v ^ sign) - sign);
}

// What one column of the record holds over the sampled records.
struct Column {
    bool constant = true;
    double entropy = 0; // bits
    int distinct = 0;
    double nonPad = 0;  // share of bytes that are neither zero nor a blank
    bool texty = true;  // every byte printable, a blank or zero
    bool allZero = true;
    // Byte values the column can hold: 256, fewer when every value is a
    // multiple of a power of two (the low byte of amounts in cents).
    int alphabet = 256;
    double zeroShare = 0;
    double nonZeroShare() const { return 1 - zeroShare; }
};

bool printable(std::uint8_t b) {
    return (b >= 0x20 && b < 0x7F) || b >= 0xA0;
}

std::vector<Column> columnStats(const SampleRecords& rec) {
    const int p = rec.recordLength;
    const std::size_t n = rec.count();
    std::vector<Column> cols(static_cast<std::size_t>(p));
    std::array<std::uint32_t, 256> counts{};
    for (int c = 0; c < p; ++c) {
        counts.fill(0);
        Column& col = cols[static_cast<std::size_t>(c)];
        std::size_t nonPad = 0;
        for (std::size_t r = 0; r < n; ++r) {
            const std::uint8_t b = rec.record(r)[c];
            ++counts[b];
            if (b != 0 && b != 0x20)
                ++nonPad;
            if (b != 0 && !printable(b))
                col.texty = false;
            if (b != 0)
                col.allZero = false;
        }
        for (const std::uint32_t k : counts) {
            if (k == 0)
                continue;
            ++col.distinct;
            const double q = static_cast<double>(k) / static_cast<double>(n);
            col.entropy -= q * std::log2(q);
        }
        col.constant = col.distinct <= 1;
        col.zeroShare = n ? static_cast<double>(counts[0]) / static_cast<double>(n) : 0;
        int common = 0;
        for (int b = 1; b < 256; ++b)
            if (counts[static_cast<std::size_t>(b)])
                common = std::gcd(common, b);
        if (common > 0)
            col.alphabet = 256 >> std::countr_zero(static_cast<unsigned>(common));
        col.nonPad = n ? static_cast<double>(nonPad) / static_cast<double>(n) : 0;
    }
    return cols;
}

// A short number for a memo: at most four significant digits.
std::string shortNumber(double v) {
    char buf[32];
    const double a = std::fabs(v);
    if (a != 0 && (a < 0.01 || a >= 1e6))
        std::snprintf(buf, sizeof buf, "%.1e", v);
    else if (a >= 100 || v == std::floor(v))
        std::snprintf(buf, sizeof buf, "%.0f", v);
    else
        std::snprintf(buf, sizeof buf, "%.3g", v);
    return buf;
}

std::string rangeMemo(const std::string& what, double lo, double hi) {
    if (lo == hi)
        return what + " " + shortNumber(lo);
    std::string m = what + " " + shortNumber(lo) + kDash + shortNumber(hi);
    if (m.size() > kMemoMaxChars)
        m = shortNumber(lo) + kDash + shortNumber(hi);
    return m.substr(0, kMemoMaxChars);
}

std::int64_t yearOf(double oleDays) {
    std::int64_t y;
    unsigned m, d;
    civilFromDays(static_cast<std::int64_t>(std::floor(oleDays)) + kOleEpochDay, y, m, d);
    return y;
}

// Plausible spans of time stamps: OLE days, seconds and milliseconds since 1970.
constexpr double kFirstOleDay = 29221;  // 1980-01-01
constexpr double kLastOleDay = 73051;   // 2100-01-01
constexpr double kFirstUnix = 315532800; // 1980-01-01
constexpr double kLastUnix = 4102444800; // 2100-01-01

class Classifier {
public:
    explicit Classifier(const SampleRecords& rec)
        : m_rec(rec), m_p(rec.recordLength), m_cols(columnStats(rec)),
          m_owner(static_cast<std::size_t>(rec.recordLength), -1) {}

    std::vector<FieldProposal> run() {
        if (m_rec.count() == 0) {
            addRawGaps();
            return sorted();
        }
        // Dates and floating numbers first: eight or four bytes that read as
        // a plausible value in every record are hardly anything else, while
        // their top bytes pass for letters.
        findReals(true);
        findReals(false);
        findText();
        findIntegers();
        addRawGaps();
        return sorted();
    }

private:
    const SampleRecords& m_rec;
    int m_p;
    std::vector<Column> m_cols;
    std::vector<int> m_owner;
    std::vector<FieldProposal> m_fields;

    std::size_t rows() const { return m_rec.count(); }
    const Column& col(int c) const { return m_cols[static_cast<std::size_t>(c)]; }
    bool free(int start, int len) const {
        if (start < 0 || start + len > m_p)
            return false;
        for (int c = start; c < start + len; ++c)
            if (m_owner[static_cast<std::size_t>(c)] >= 0)
                return false;
        return true;
    }
    void claim(int start, int len, TypeKind kind, std::string memo, double confidence) {
        const int id = static_cast<int>(m_fields.size());
        for (int c = start; c < start + len; ++c)
            m_owner[static_cast<std::size_t>(c)] = id;
        // Few records say less: the same shapes turn up by chance.
        const double weight = std::min(1.0, static_cast<double>(rows()) / 32.0);
        m_fields.push_back({start, len, static_cast<int>(kind), memo.substr(0, kMemoMaxChars),
                            confidence * (0.5 + 0.5 * weight)});
    }
    std::vector<FieldProposal> sorted() {
        std::sort(m_fields.begin(), m_fields.end(),
                  [](const FieldProposal& a, const FieldProposal& b) { return a.start < b.start; });
        return m_fields;
    }

    // ---- text ---------------------------------------------------------

    // A string starts where most records have a character after a column
    // that most records leave blank: the end of one text, the start of the next.
    void findText() {
        int c = 0;
        while (c < m_p) {
            if (!col(c).texty || col(c).allZero || !free(c, 1)) {
                ++c;
                continue;
            }
            int end = c;
            while (end < m_p && col(end).texty && free(end, 1))
                ++end;
            splitTextRun(c, end);
            c = end;
        }
    }

    void splitTextRun(int from, int to) {
        // Leading columns that are mostly blank or zero belong to no text, nor
        // do columns of one or two values before a varied one: the top bytes
        // of numbers read as letters.
        while (from < to && (col(from).nonPad < 0.5 ||
                             (rows() >= 8 && col(from).distinct <= 2 && from + 1 < to &&
                              col(from + 1).distinct > 2)))
            ++from;
        // Blanks before figures aligned to the right are theirs.
        int lead = from;
        while (lead > 0 && lead - 1 >= 0 && free(lead - 1, 1) && col(lead - 1).texty &&
               col(lead - 1).nonPad == 0 && !col(lead - 1).allZero)
            --lead;
        if (lead < from && from < to && textClass(from) == kFigures)
            from = lead;
        int start = from;
        int lastClass = textClass(from), lastClassAt = from;
        for (int c = from + 1; c <= to; ++c) {
            int at = c;
            // A text starts where a mostly blank column is followed by a filled
            // one; figures that fill every record (a date as text) end where
            // blanks begin.
            bool written = false; // blanks alone end no text: they lead figures
            for (int b = start; b < c && !written; ++b)
                written = col(b).nonPad >= 0.05;
            bool boundary = c == to ||
                            (written && col(c - 1).nonPad < 0.5 && col(c).nonPad >= 0.8 &&
                             col(c).nonPad - col(c - 1).nonPad >= 0.4) ||
                            (col(c - 1).nonPad >= 0.99 && col(c).nonPad < 0.5 &&
                             textClass(c - 1) == kFigures);
            const int k = c < to ? textClass(c) : kNoText;
            if (boundary && c < to && k == kFigures) {
                // Figures aligned to the right take the blanks before them.
                int written = c - 1;
                while (written > start && col(written).nonPad == 0)
                    --written;
                at = written + 1;
            }
            if (!boundary && k != kNoText && k != kMixed && lastClass != kNoText &&
                lastClass != kMixed && k != lastClass && lastClassAt + 1 > start) {
                // Words then figures (or figures then words) with nothing but
                // blanks between: two fields written side by side, figures
                // aligned to the right, so the blanks between go with them.
                boundary = true;
                at = k == kFigures ? lastClassAt + 1 : c;
            }
            if (k != kNoText) {
                lastClass = k;
                lastClassAt = c;
            }
            if (!boundary)
                continue;
            addText(start, at);
            start = at;
        }
    }

    static constexpr int kNoText = 0, kFigures = 1, kWords = 2, kMixed = 3;
    // What a column of text holds: figures (digits and their signs and
    // points), letters, a mixture, or too little to tell.
    int textClass(int c) const {
        std::size_t figures = 0, letters = 0, any = 0;
        for (std::size_t r = 0; r < rows(); ++r) {
            const std::uint8_t b = m_rec.record(r)[c];
            if (b == 0 || b == 0x20)
                continue;
            ++any;
            if (std::isdigit(b) || b == '.' || b == '-' || b == '+' || b == ',')
                ++figures;
            else if (std::isalpha(b) || b >= 0xC0)
                ++letters;
        }
        if (any == 0 || any * 20 < rows())
            return kNoText;
        if (figures * 10 >= any * 9)
            return kFigures;
        if (letters * 10 >= any * 9)
            return kWords;
        return kMixed;
    }

    void addText(int from, int to) {
        // Zero columns at the end are the text's own padding only when its
        // records end in zeros elsewhere too; after blanks they are someone
        // else's (padding of the record, or a number's high bytes).
        int text = to;
        while (text > from && col(text - 1).allZero)
            --text;
        bool zeroPadded = false, blankPadded = false, anyLetter = false;
        for (std::size_t r = 0; r < rows(); ++r) {
            const std::uint8_t* b = m_rec.record(r);
            bool zeroSeen = false;
            for (int c = from; c < text; ++c) {
                if (b[c] == 0) {
                    zeroSeen = true;
                } else if (zeroSeen) {
                    return; // text after its end: not one string
                } else if (b[c] == 0x20) {
                    blankPadded = true;
                } else if (std::isalnum(b[c])) {
                    anyLetter = true;
                }
            }
            zeroPadded = zeroPadded || zeroSeen;
        }
        if (zeroPadded)
            text = to;
        // One character is left to the numbers: a float's exponent byte is
        // often a letter. So are the slow high bytes of clocks and counters,
        // but text varies in more than one column.
        int varied = 0;
        for (int c = from; c < text; ++c)
            varied += col(c).distinct >= 3;
        if (!anyLetter || text - from < 2 || varied < 2)
            return;
        const bool full = col(text - 1).nonPad >= 1.0;
        const char* memo = zeroPadded         ? "text, zero padded"
                           : full || !blankPadded ? "text"
                                                  : "text, space padded";
        claim(from, text - from, TypeKind::String, memo, 0.85);
    }

    // ---- floating numbers and dates --------------------------------------

    template <typename F>
    bool everyRecord(int start, F&& test) const {
        for (std::size_t r = 0; r < rows(); ++r)
            if (!test(m_rec.record(r) + start))
                return false;
        return true;
    }

    int distinctValues(int start, int len, int enough = 3) const {
        std::set<std::uint64_t> seen;
        for (std::size_t r = 0; r < rows() && static_cast<int>(seen.size()) < enough; ++r)
            seen.insert(readLE(m_rec.record(r) + start, len));
        return static_cast<int>(seen.size());
    }

    static double asDouble(const std::uint8_t* p) {
        return std::bit_cast<double>(readLE(p, 8));
    }
    static float asFloat(const std::uint8_t* p) {
        return std::bit_cast<float>(static_cast<std::uint32_t>(readLE(p, 4)));
    }
    static bool saneDouble(double v) {
        const double a = std::fabs(v);
        return std::isfinite(v) && (a == 0 || (a >= 1e-9 && a <= 1e12));
    }
    static bool saneFloat(float v) {
        const double a = std::fabs(static_cast<double>(v));
        return std::isfinite(v) && (a == 0 || (a >= 1e-7 && a <= 1e9));
    }

    // Over the sampled records: the smallest and largest value, and how many
    // are not zero.
    template <typename Read>
    void range(int start, Read&& read, double& lo, double& hi, std::size_t& nonZero) const {
        lo = std::numeric_limits<double>::max();
        hi = std::numeric_limits<double>::lowest();
        nonZero = 0;
        for (std::size_t r = 0; r < rows(); ++r) {
            const double v = read(m_rec.record(r) + start);
            lo = std::min(lo, v);
            hi = std::max(hi, v);
            if (v != 0)
                ++nonZero;
        }
    }

    // The low bytes of the fraction of a measured value are noise: every one
    // of them spread wide, or all of them zero in most records for round
    // values. A small whole number there (an identifier under a float that
    // reads as a double) is neither.
    bool fractionLooksMeasured(int s, int bytes) const {
        bool wide = true;
        for (int c = s; c < s + bytes; ++c)
            wide = wide && col(c).distinct >= 0.2 * uniformDistinct(256);
        if (wide)
            return true;
        std::size_t zero = 0;
        for (std::size_t r = 0; r < rows(); ++r)
            zero += readLE(m_rec.record(r) + s, bytes) == 0;
        return zero * 2 > rows();
    }

    void findReals(bool datesOnly) {
        const std::size_t needNonZero = (rows() + 1) / 2;
        for (int s = 0; s + 8 <= m_p; ++s) {
            if (!free(s, 8) || distinctValues(s, 8) < 2)
                continue;
            const bool dates = everyRecord(s, [](const std::uint8_t* b) {
                const double v = asDouble(b);
                return v == 0 || (v >= kFirstOleDay && v < kLastOleDay);
            });
            double lo, hi;
            std::size_t nonZero;
            range(s, asDouble, lo, hi, nonZero);
            if (dates && nonZero >= needNonZero) {
                double first = std::numeric_limits<double>::max();
                for (std::size_t r = 0; r < rows(); ++r)
                    if (const double v = asDouble(m_rec.record(r) + s); v != 0)
                        first = std::min(first, v);
                claim(s, 8, TypeKind::DateTime8,
                      "date-time " + std::to_string(yearOf(first)) + kDash +
                          std::to_string(yearOf(hi)),
                      0.95);
                s += 7;
                continue;
            }
            if (datesOnly)
                continue;
            const bool doubles = everyRecord(s, [](const std::uint8_t* b) { return saneDouble(asDouble(b)); });
            // Two floats side by side can read as a double too; a double's low
            // half is noise as a float.
            // (A round double has a zero low half, which is no float of its own.)
            std::size_t lowZero = 0;
            for (std::size_t r = 0; r < rows(); ++r)
                lowZero += readLE(m_rec.record(r) + s, 4) == 0;
            const bool twoFloats = lowZero * 2 <= rows() && everyRecord(s, [](const std::uint8_t* b) {
                return saneFloat(asFloat(b)) && saneFloat(asFloat(b + 4));
            });
            if (doubles && !twoFloats && nonZero >= needNonZero && fractionLooksMeasured(s, 4)) {
                claim(s, 8, TypeKind::Double8, rangeMemo("double", lo, hi), 0.9);
                s += 7;
            }
        }
        if (datesOnly)
            return;
        for (int s = 0; s + 4 <= m_p; ++s) {
            if (!free(s, 4) || distinctValues(s, 4) < 2)
                continue;
            if (!everyRecord(s, [](const std::uint8_t* b) { return saneFloat(asFloat(b)); }))
                continue;
            // Measured values fill the low bytes of the fraction, or leave them
            // zero when they are round; the low bytes of a count climbing into
            // the next bytes, or two small numbers, read as floats of a narrow
            // range too.
            if (!fractionLooksMeasured(s, 2))
                continue;
            if (risingOrCounting(s, 4) && s + 8 <= m_p && highHalf(s, 4))
                continue;
            double lo, hi;
            std::size_t nonZero;
            range(s, [](const std::uint8_t* b) { return static_cast<double>(asFloat(b)); }, lo, hi,
                  nonZero);
            if (nonZero < needNonZero)
                continue;
            claim(s, 4, TypeKind::Float4, rangeMemo("float", lo, hi), 0.85);
            s += 3;
        }
    }

    // ---- integers ---------------------------------------------------------

    // Distinct values a column of uniformly spread bytes shows in these records.
    double uniformDistinct(int alphabet) const {
        const double n = static_cast<double>(rows());
        const double a = alphabet;
        return a * (1.0 - std::pow((a - 1) / a, n));
    }

    // The bytes [s + w, s + 2w) are the high half of a number whose low half
    // is [s, s + w) when they copy its sign; or are zero, the low half never
    // looking negative and using much of its range (or counting up); or carry
    // from it; or follow from it value by value (a set of codes); or vary no
    // more than a low half that uses its whole byte range.
    bool highHalf(int s, int w) const {
        const Column& top = col(s + w - 1);
        bool upperZero = true, upperConstant = true;
        double upperEntropy = 0;
        for (int c = s + w; c < s + 2 * w; ++c) {
            upperZero = upperZero && col(c).allZero;
            upperConstant = upperConstant && col(c).constant;
            upperEntropy = std::max(upperEntropy, col(c).entropy);
        }
        bool lowNegative = false, signCopy = true;
        for (std::size_t r = 0; r < rows(); ++r) {
            const std::uint8_t* b = m_rec.record(r);
            const bool negative = (b[s + w - 1] & 0x80) != 0;
            lowNegative = lowNegative || negative;
            for (int c = s + w; c < s + 2 * w && signCopy; ++c)
                signCopy = b[c] == (negative ? 0xFF : 0x00);
        }
        if (signCopy && lowNegative)
            return true;
        const bool wide = top.distinct >= 0.6 * uniformDistinct(top.alphabet);
        if (upperZero)
            return !lowNegative && w < 4 &&
                   (wide || top.distinct >= 0.25 * uniformDistinct(top.alphabet) ||
                    risingOrCounting(s, w));
        bool lowConstant = true;
        for (int c = s; c < s + w; ++c)
            lowConstant = lowConstant && col(c).constant;
        if (upperConstant)
            return !lowConstant && (risingOrCounting(s, w) || steps(s, w)); // a count on its way up
        if (steps(s, w) && risingOrCounting(s, 2 * w) && slowerAbove(s, w))
            return true; // a count that ran over the low half between the samples
        return carries(s, w) || determines(s, w) ||
               (w >= 2 && dense(s, 2 * w) && upperEntropy <= top.entropy + 2.5) ||
               (wide && upperEntropy <= top.entropy + std::log2(256.0 / top.alphabet) + 0.25);
    }

    // The values of [s, s + w) as one number fill their range as evenly as
    // random numbers of that range would (in steps of their common divisor):
    // two separate fields side by side leave most of the joint range empty.
    bool dense(int s, int w) const {
        std::vector<std::int64_t> v(rows());
        for (std::size_t r = 0; r < rows(); ++r)
            v[r] = signExtend(readLE(m_rec.record(r) + s, w), w);
        // Unsigned when the signed reading spreads wider.
        const auto [lo, hi] = std::minmax_element(v.begin(), v.end());
        if (w < 8) {
            std::vector<std::int64_t> u(rows());
            for (std::size_t r = 0; r < rows(); ++r)
                u[r] = static_cast<std::int64_t>(readLE(m_rec.record(r) + s, w));
            const auto [ulo, uhi] = std::minmax_element(u.begin(), u.end());
            if (static_cast<double>(*uhi) - static_cast<double>(*ulo) <
                static_cast<double>(*hi) - static_cast<double>(*lo))
                v.swap(u);
        }
        const std::int64_t low = *std::min_element(v.begin(), v.end());
        std::uint64_t step = 0;
        for (const std::int64_t x : v)
            step = std::gcd(step, static_cast<std::uint64_t>(x - low));
        std::sort(v.begin(), v.end());
        const double distinct = static_cast<double>(std::unique(v.begin(), v.end()) - v.begin());
        if (step == 0 || distinct < 8)
            return false;
        const double span = (static_cast<double>(v[static_cast<std::size_t>(distinct) - 1]) -
                             static_cast<double>(low)) / static_cast<double>(step) + 1;
        const double n = static_cast<double>(rows());
        const double expected = span * -std::expm1(n * std::log1p(-1.0 / span));
        // Over a range far wider than the records are many, any values are
        // all distinct: that says nothing.
        return expected < 0.9 * n && distinct >= 0.5 * expected;
    }

    // The high half changes less than half as often as the low half.
    bool slowerAbove(int s, int w) const {
        std::size_t low = 0, high = 0;
        for (std::size_t r = 1; r < rows(); ++r) {
            if (!m_rec.follows[r])
                continue;
            const std::uint8_t* a = m_rec.record(r - 1);
            const std::uint8_t* b = m_rec.record(r);
            low += readLE(a + s, w) != readLE(b + s, w);
            high += readLE(a + s + w, w) != readLE(b + s + w, w);
        }
        return high * 2 <= low;
    }

    // The high half changes only when the low half runs over (or under).
    bool carries(int s, int w) const {
        std::size_t changes = 0, carried = 0, lowChanges = 0;
        for (std::size_t r = 1; r < rows(); ++r) {
            if (!m_rec.follows[r])
                continue;
            const std::uint8_t* a = m_rec.record(r - 1);
            const std::uint8_t* b = m_rec.record(r);
            const std::uint64_t lowA = readLE(a + s, w), lowB = readLE(b + s, w);
            const std::uint64_t highA = readLE(a + s + w, w), highB = readLE(b + s + w, w);
            lowChanges += lowA != lowB;
            if (highA == highB)
                continue;
            ++changes;
            carried += (highB > highA && lowB < lowA) || (highB < highA && lowB > lowA);
        }
        return changes >= 2 && carried * 10 >= changes * 9 && changes * 2 <= lowChanges;
    }

    // Every value of the low half comes with one value of the high half.
    bool determines(int s, int w) const {
        std::map<std::uint64_t, std::uint64_t> high;
        std::set<std::uint64_t> highs;
        for (std::size_t r = 0; r < rows(); ++r) {
            const std::uint8_t* b = m_rec.record(r);
            const std::uint64_t low = readLE(b + s, w), hi = readLE(b + s + w, w);
            const auto [it, added] = high.emplace(low, hi);
            if (!added && it->second != hi)
                return false;
            highs.insert(hi);
        }
        return high.size() >= 2 && highs.size() >= 2 && rows() >= 4 * high.size();
    }

    // The low half moves by the same step from each record to the next, its
    // runs over the top included: the low bytes of a counter.
    bool steps(int s, int w) const {
        const std::uint64_t mask = w >= 8 ? ~std::uint64_t{0} : (std::uint64_t{1} << (8 * w)) - 1;
        std::uint64_t step = 0;
        std::size_t pairs = 0;
        for (std::size_t r = 1; r < rows(); ++r) {
            if (!m_rec.follows[r])
                continue;
            const std::uint64_t d =
                (readLE(m_rec.record(r) + s, w) - readLE(m_rec.record(r - 1) + s, w)) & mask;
            if (d == 0 || (pairs > 0 && d != step))
                return false;
            step = d;
            ++pairs;
        }
        return pairs >= 2;
    }

    // Values that never fall from one record to the next: counters, clocks.
    bool risingOrCounting(int s, int w) const {
        std::size_t pairs = 0;
        for (std::size_t r = 1; r < rows(); ++r) {
            if (!m_rec.follows[r])
                continue;
            if (readLE(m_rec.record(r) + s, w) < readLE(m_rec.record(r - 1) + s, w))
                return false;
            ++pairs;
        }
        return pairs >= 2;
    }

    // Calls f(from, to) for every run of columns no field holds yet.
    template <typename F>
    void forEachGap(F&& f) {
        int c = 0;
        while (c < m_p) {
            if (!free(c, 1)) {
                ++c;
                continue;
            }
            int end = c;
            while (end < m_p && free(end, 1))
                ++end;
            f(c, end);
            c = end;
        }
    }

    void findIntegers() {
        forEachGap([this](int from, int to) { integersIn(from, to); });
    }

    void integersIn(int from, int to) {
        int s = from;
        while (s < to) {
            if (col(s).constant) {
                int e = s;
                bool zero = true;
                while (e < to && col(e).constant) {
                    zero = zero && col(e).allZero;
                    ++e;
                }
                if (zero) {
                    claim(s, e - s, TypeKind::Unknown, "zero padding", 0.7);
                } else {
                    constantFields(s, e);
                }
                s = e;
                continue;
            }
            int w = 1;
            while (w < 8 && s + 2 * w <= to && highHalf(s, w))
                w *= 2;
            addInteger(s, w);
            s += w;
        }
    }

    // Constant bytes: numbers of the natural sizes they fill, else raw bytes.
    void constantFields(int from, int to) {
        const int len = to - from;
        if (len == 1 || len == 2 || len == 4 || len == 8) {
            const std::uint64_t v = readLE(m_rec.record(0) + from, len);
            const TypeKind kind = len == 1   ? TypeKind::Unsigned1
                                  : len == 2 ? TypeKind::Unsigned2
                                  : len == 4 ? TypeKind::Unsigned4
                                             : TypeKind::Signed8;
            claim(from, len, kind, "constant " + std::to_string(v), 0.5);
        } else {
            claim(from, len, TypeKind::Unknown, "constant", 0.5);
        }
    }

    void addInteger(int s, int w) {
        std::int64_t loS = std::numeric_limits<std::int64_t>::max(), hiS = std::numeric_limits<std::int64_t>::min();
        std::uint64_t loU = std::numeric_limits<std::uint64_t>::max(), hiU = 0;
        std::uint8_t bitsOr = 0;
        std::set<std::uint64_t> distinct;
        // Differences between records that follow each other in the file.
        bool steady = true, rising = true;
        std::int64_t step = 0;
        bool stepSet = false;
        std::uint64_t prev = 0;
        for (std::size_t r = 0; r < rows(); ++r) {
            const std::uint64_t v = readLE(m_rec.record(r) + s, w);
            const std::int64_t sv = signExtend(v, w);
            loS = std::min(loS, sv);
            hiS = std::max(hiS, sv);
            loU = std::min(loU, v);
            hiU = std::max(hiU, v);
            bitsOr = static_cast<std::uint8_t>(bitsOr | v);
            if (distinct.size() < 64)
                distinct.insert(v);
            if (r > 0 && m_rec.follows[r]) {
                const auto d = static_cast<std::int64_t>(v - prev);
                if (!stepSet) {
                    step = d;
                    stepSet = true;
                } else if (d != step) {
                    steady = false;
                }
                if (v < prev)
                    rising = false;
            }
            prev = v;
        }
        const bool negative = w < 8 && (hiU >> (8 * w - 1)) != 0;
        // Signed only when that reading is clearly narrower: a counter running
        // over its top bit stays unsigned.
        const bool isSigned =
            w == 8 || (negative && 2 * (static_cast<double>(hiS) - static_cast<double>(loS)) <
                                       static_cast<double>(hiU - loU));
        const double lo = isSigned ? static_cast<double>(loS) : static_cast<double>(loU);
        const double hi = isSigned ? static_cast<double>(hiS) : static_cast<double>(hiU);
        TypeKind kind;
        switch (w) {
        case 1:
            kind = isSigned ? TypeKind::Signed1 : TypeKind::Unsigned1;
            break;
        case 2:
            kind = isSigned ? TypeKind::Signed2 : TypeKind::Unsigned2;
            break;
        case 4:
            kind = isSigned ? TypeKind::Signed4 : TypeKind::Unsigned4;
            break;
        default:
            kind = TypeKind::Signed8;
        }
        std::string memo;
        double confidence = 0.6;
        if (stepSet && steady && step != 0) {
            memo = std::string("counter ") + (step > 0 ? "+" : "") + std::to_string(step);
            confidence = 0.9;
        } else if (w == 4 && !isSigned && lo >= kFirstUnix && hi < kLastUnix) {
            memo = "Unix time " + std::to_string(yearOf(lo / 86400 - kOleEpochDay)) + kDash +
                   std::to_string(yearOf(hi / 86400 - kOleEpochDay));
            confidence = rising ? 0.85 : 0.7;
        } else if (w == 8 && lo >= kFirstUnix * 1000 && hi < kLastUnix * 1000) {
            memo = "Unix ms " + std::to_string(yearOf(lo / 86400000 - kOleEpochDay)) + kDash +
                   std::to_string(yearOf(hi / 86400000 - kOleEpochDay));
            confidence = rising ? 0.85 : 0.7;
        } else if (w == 8 && currencyLike(s)) {
            kind = TypeKind::Currency8;
            memo = rangeMemo("amount", lo / 10000, hi / 10000);
        } else if (w == 1 && !isSigned && flagsLike(distinct, bitsOr)) {
            kind = TypeKind::Bit1;
            memo = "flags";
        } else if (w == 1 && lettersOnly(s)) {
            kind = TypeKind::Char1;
            memo = "code";
        } else if (distinct.size() <= 16 && rows() >= 4 * distinct.size()) {
            memo = "code";
            if (w == 1)
                kind = TypeKind::Hex1;
        } else {
            memo = rangeMemo(rising && stepSet ? "rising" : "int", lo, hi);
        }
        claim(s, w, kind, memo, confidence);
    }

    bool lettersOnly(int s) const {
        for (std::size_t r = 0; r < rows(); ++r)
            if (!std::isalnum(m_rec.record(r)[s]))
                return false;
        return true;
    }

    // Money in hundredths of a unit, as the currency kind keeps four places.
    bool currencyLike(int s) const {
        std::size_t nonZero = 0;
        for (std::size_t r = 0; r < rows(); ++r) {
            const auto v = static_cast<std::int64_t>(readLE(m_rec.record(r) + s, 8));
            if (v % 100 != 0 || v > 1'000'000'000'000'000 || v < -1'000'000'000'000'000)
                return false;
            nonZero += v != 0;
        }
        return nonZero * 2 >= rows();
    }

    // A byte of separate bits: several values, all made of a few bits that
    // are not just the low ones of a small number.
    static bool flagsLike(const std::set<std::uint64_t>& distinct, std::uint8_t bitsOr) {
        const int bits = std::popcount(bitsOr);
        if (distinct.size() < 3 || bits < 2)
            return false;
        const bool lowRun = (bitsOr & (bitsOr + 1)) == 0; // 0b0..01..1
        if (lowRun && distinct.size() > static_cast<std::size_t>(bits) + 1)
            return false;
        for (const std::uint64_t v : distinct)
            if (std::popcount(v) > 3)
                return false;
        return !lowRun || bits >= 3;
    }

    // ---- the rest -----------------------------------------------------------

    void addRawGaps() {
        forEachGap([this](int from, int to) { claim(from, to - from, TypeKind::Unknown, "raw", 0.3); });
    }
};

} // namespace

std::vector<FieldProposal> classifyFields(const SampleRecords& records) {
    if (records.recordLength <= 0)
        return {};
    return Classifier(records).run();
}

} // namespace vm
