#include "describe.h"

#include <algorithm>
#include <cmath>
#include <array>
#include <complex>
#include <numeric>

#include "describefields.h"
#include "kinds.h"
#include "model.h"

namespace vm {

namespace {

// A contiguous piece of the range as read, at file offset pos.
struct Window {
    std::int64_t pos = 0;
    std::vector<std::uint8_t> bytes;
    std::int64_t end() const { return pos + static_cast<std::int64_t>(bytes.size()); }
};

// Reads at most budget bytes of [begin, begin + n): the whole range when it
// fits, else windows of windowSize spread evenly, the first at the start (the
// header is there) and the last at the end.
bool readSample(const ByteSource& src, std::int64_t begin, std::int64_t n, std::int64_t budget,
                std::int64_t windowSize, std::vector<Window>& out) {
    std::vector<std::pair<std::int64_t, std::int64_t>> spans;
    if (n <= budget) {
        spans.emplace_back(begin, n);
    } else {
        const std::int64_t w = std::min(windowSize, n);
        const std::int64_t k = std::max<std::int64_t>(2, budget / w);
        for (std::int64_t i = 0; i < k; ++i)
            spans.emplace_back(begin + (n - w) * i / (k - 1), w);
    }
    for (const auto& [pos, len] : spans) {
        Window w;
        w.pos = pos;
        w.bytes.resize(static_cast<std::size_t>(len));
        std::size_t got = 0;
        while (got < w.bytes.size()) {
            const std::size_t r = src.readAt(
                pos + static_cast<std::int64_t>(got),
                std::span<std::uint8_t>(w.bytes.data() + got, w.bytes.size() - got));
            if (r == 0)
                break;
            got += r;
        }
        if (got != w.bytes.size())
            return false;
        out.push_back(std::move(w));
    }
    return true;
}

using Complex = std::complex<float>;

// In-place radix-2 transform; a.size() is a power of two.
// roots[i] = exp(-2 pi i / n) for i < n / 2; the inverse uses their conjugates.
void fft(std::vector<Complex>& a, const std::vector<Complex>& roots, bool inverse) {
    const std::size_t n = a.size();
    for (std::size_t i = 1, j = 0; i < n; ++i) {
        std::size_t bit = n >> 1;
        for (; j & bit; bit >>= 1)
            j ^= bit;
        j ^= bit;
        if (i < j)
            std::swap(a[i], a[j]);
    }
    for (std::size_t len = 2; len <= n; len <<= 1) {
        const std::size_t step = n / len;
        const std::size_t half = len / 2;
        for (std::size_t i = 0; i < n; i += len) {
            for (std::size_t k = 0; k < half; ++k) {
                // Written out: std::complex's product checks for infinities.
                const float wr = roots[k * step].real();
                const float wi = inverse ? -roots[k * step].imag() : roots[k * step].imag();
                const Complex x = a[i + k + half];
                const Complex v(x.real() * wr - x.imag() * wi, x.real() * wi + x.imag() * wr);
                const Complex u = a[i + k];
                a[i + k] = Complex(u.real() + v.real(), u.imag() + v.imag());
                a[i + k + half] = Complex(u.real() - v.real(), u.imag() - v.imag());
            }
        }
    }
}

// The share of byte pairs lag bytes apart that are equal, less what chance
// gives, for every lag up to maxLag (index 0 unused). Each byte value stands
// for a fixed point of the unit circle: equal bytes add 1 to the correlation,
// unequal ones a term that averages away, so one transform per window counts
// the equal pairs of all lags at once.
std::vector<double> repetitionByLag(const std::vector<Window>& sample, int maxLag) {
    std::array<Complex, 256> unit;
    std::uint64_t state = 0x9E3779B97F4A7C15ull;
    for (auto& u : unit) {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        const double a = static_cast<double>(state >> 11) * (2.0 * 3.14159265358979323846 / 9007199254740992.0);
        u = Complex(static_cast<float>(std::cos(a)), static_cast<float>(std::sin(a)));
    }
    std::size_t longest = 0;
    for (const Window& w : sample)
        longest = std::max(longest, w.bytes.size());
    std::size_t size = 1;
    while (size < longest + static_cast<std::size_t>(maxLag) + 1)
        size <<= 1;
    std::vector<Complex> roots(size / 2);
    for (std::size_t i = 0; i < size / 2; ++i) {
        const double angle =
            -2.0 * 3.14159265358979323846 * static_cast<double>(i) / static_cast<double>(size);
        roots[i] = Complex(static_cast<float>(std::cos(angle)), static_cast<float>(std::sin(angle)));
    }
    std::vector<double> power(size, 0.0);
    std::vector<Complex> a(size);
    Complex mean(0, 0);
    double total = 0;
    for (const Window& w : sample) {
        std::fill(a.begin(), a.end(), Complex(0, 0));
        for (std::size_t i = 0; i < w.bytes.size(); ++i) {
            a[i] = unit[w.bytes[i]];
            mean += a[i];
        }
        total += static_cast<double>(w.bytes.size());
        fft(a, roots, false);
        for (std::size_t i = 0; i < size; ++i)
            power[i] += std::norm(a[i]);
    }
    for (std::size_t i = 0; i < size; ++i)
        a[i] = Complex(static_cast<float>(power[i]), 0);
    fft(a, roots, true);
    const double chance = total > 0 ? std::norm(mean) / (total * total) : 0;
    std::vector<double> out(static_cast<std::size_t>(maxLag) + 1, 0.0);
    for (int lag = 1; lag <= maxLag; ++lag) {
        double pairs = 0;
        for (const Window& w : sample)
            pairs += std::max<double>(0, static_cast<double>(w.bytes.size()) - lag);
        if (pairs > 0)
            out[static_cast<std::size_t>(lag)] =
                a[static_cast<std::size_t>(lag)].real() / static_cast<double>(size) / pairs - chance;
    }
    return out;
}

// The adaptive code of a column: each byte is coded with the counts of the
// bytes before it in its column, mixed with the sample's overall byte
// frequencies as a prior of weight kPrior (a Dirichlet prior, so the whole
// column's bits follow from its counts). With the prior a column learns little
// that the overall frequencies already say, so a short sample of text or of
// numbers is not drowned in the cost of learning every byte value anew in
// every column. Log-gamma values are kept in tables for the counts that occur
// most; the few larger counts are computed.
class CodeTable {
public:
    static constexpr double kPrior = 8;
    static constexpr std::uint32_t kSmall = 64;
    static constexpr std::size_t kTotalTable = 1 << 14;

    CodeTable(const std::array<double, 256>& frequency, std::size_t maxCount)
        : m_total(std::min<std::size_t>(maxCount, kTotalTable) + 1) {
        for (int b = 0; b < 256; ++b) {
            m_prior[static_cast<std::size_t>(b)] = kPrior * frequency[static_cast<std::size_t>(b)];
            const double a = m_prior[static_cast<std::size_t>(b)];
            const double base = std::lgamma(a);
            for (std::uint32_t n = 0; n <= kSmall; ++n)
                m_symbol[static_cast<std::size_t>(b) * (kSmall + 1) + n] =
                    std::lgamma(static_cast<double>(n) + a) - base;
        }
        for (std::size_t n = 0; n < m_total.size(); ++n)
            m_total[n] = std::lgamma(static_cast<double>(n) + kPrior) - std::lgamma(kPrior);
    }
    // Bits to send the n bytes of a column with these counts.
    double bits(const std::uint32_t* counts, const std::uint8_t* touched, std::size_t nTouched,
                std::size_t n) const {
        double nats = n < m_total.size()
                          ? m_total[n]
                          : std::lgamma(static_cast<double>(n) + kPrior) - std::lgamma(kPrior);
        for (std::size_t i = 0; i < nTouched; ++i) {
            const std::uint8_t b = touched[i];
            const std::uint32_t k = counts[b];
            nats -= k <= kSmall ? m_symbol[static_cast<std::size_t>(b) * (kSmall + 1) + k]
                                : std::lgamma(k + m_prior[b]) - std::lgamma(m_prior[b]);
        }
        return nats / std::log(2.0);
    }

private:
    std::array<double, 256> m_prior{};
    std::array<double, 256 * (kSmall + 1)> m_symbol{};
    std::vector<double> m_total;
};

struct Coder {
    const CodeTable& values;
    const CodeTable& differences;
};

// Counts of one column of a record length, over the sample.
struct ColumnCounts {
    std::array<std::uint32_t, 256> counts{};
    std::array<std::uint8_t, 256> touched{};
    std::size_t nTouched = 0;
    std::size_t n = 0;
    void add(std::uint8_t b) {
        if (counts[b]++ == 0)
            touched[nTouched++] = b;
        ++n;
    }
    void clear() {
        for (std::size_t i = 0; i < nTouched; ++i)
            counts[touched[i]] = 0;
        nTouched = 0;
        n = 0;
    }
};

// Calls f(byte) for every sampled byte in column col of records of length p
// counted from begin.
template <typename F>
void forColumn(const std::vector<Window>& sample, std::int64_t begin, int p, int col, F&& f) {
    for (const Window& w : sample) {
        const std::int64_t phase = (w.pos - begin) % p;
        std::int64_t i = (col - phase + p) % p;
        const auto len = static_cast<std::int64_t>(w.bytes.size());
        for (; i < len; i += p)
            f(w.bytes[static_cast<std::size_t>(i)]);
    }
}

// Bits to send the sample with one adaptive byte model per column: the
// description length of the record length p. A multiple of the true length
// splits the same columns into more models that each learn from fewer bytes,
// so it costs more. A column is coded either by its values or by each value's
// difference from the one a record before, whichever is shorter: a counter's
// low byte costs nothing as differences, so it cannot make a multiple of the
// record look better by splitting its values by their lowest bits.
double columnBits(const std::vector<Window>& sample, std::int64_t begin, int p,
                  const Coder& coder) {
    ColumnCounts v, d;
    double bits = 0;
    for (int col = 0; col < p; ++col) {
        for (const Window& w : sample) {
            const std::int64_t phase = (w.pos - begin) % p;
            std::int64_t i = (col - phase + p) % p;
            const auto len = static_cast<std::int64_t>(w.bytes.size());
            std::uint8_t prev = 0;
            for (; i < len; i += p) {
                const std::uint8_t b = w.bytes[static_cast<std::size_t>(i)];
                v.add(b);
                d.add(static_cast<std::uint8_t>(b - prev));
                prev = b;
            }
        }
        bits += 1 + std::min(coder.values.bits(v.counts.data(), v.touched.data(), v.nTouched, v.n),
                             coder.differences.bits(d.counts.data(), d.touched.data(), d.nTouched, d.n));
        v.clear();
        d.clear();
    }
    return bits;
}

void addDivisors(int v, int maxLag, std::vector<int>& out) {
    for (int d = 1; static_cast<std::int64_t>(d) * d <= v; ++d) {
        if (v % d != 0)
            continue;
        if (d <= maxLag)
            out.push_back(d);
        if (v / d <= maxLag)
            out.push_back(v / d);
    }
}

// Record lengths worth weighing: the lags that stand out most above their
// neighbours (a run of blanks repeats at every short lag, a record only at its
// length and its multiples), the divisors of the strongest (the fundamental
// may stand out a little less than its multiples) and the small lengths, which
// cost little to weigh.
std::vector<int> candidateLengths(const std::vector<double>& byLag, int maxLag) {
    auto at = [&](int lag) {
        return lag >= 1 && lag <= maxLag ? byLag[static_cast<std::size_t>(lag)] : 0.0;
    };
    std::vector<double> prominence(static_cast<std::size_t>(maxLag) + 1, 0.0);
    for (int lag = 1; lag <= maxLag; ++lag)
        prominence[static_cast<std::size_t>(lag)] =
            at(lag) - 0.5 * (std::max(at(lag - 1), 0.0) + at(lag + 1));
    std::vector<int> lags(static_cast<std::size_t>(maxLag));
    std::iota(lags.begin(), lags.end(), 1);
    const std::size_t top = std::min<std::size_t>(24, lags.size());
    std::partial_sort(lags.begin(), lags.begin() + static_cast<std::ptrdiff_t>(top), lags.end(),
                      [&](int a, int b) {
                          return prominence[static_cast<std::size_t>(a)] >
                                 prominence[static_cast<std::size_t>(b)];
                      });
    std::vector<int> out;
    for (std::size_t i = 0; i < top; ++i) {
        out.push_back(lags[i]);
        if (i < 6)
            addDivisors(lags[i], maxLag, out);
        for (std::size_t j = 0; j < std::min<std::size_t>(i, 6); ++j)
            out.push_back(std::gcd(lags[i], lags[j]));
    }
    std::sort(out.begin(), out.end());
    out.erase(std::unique(out.begin(), out.end()), out.end());
    // Each length weighed costs a pass over the sample: the most prominent
    // 40, and the short lengths.
    constexpr std::size_t kWeighed = 40;
    if (out.size() > kWeighed) {
        std::partial_sort(out.begin(), out.begin() + kWeighed, out.end(), [&](int a, int b) {
            return prominence[static_cast<std::size_t>(a)] > prominence[static_cast<std::size_t>(b)];
        });
        out.resize(kWeighed);
    }
    for (int p = 1; p <= std::min(maxLag, 16); ++p)
        out.push_back(p);
    std::sort(out.begin(), out.end());
    out.erase(std::unique(out.begin(), out.end()), out.end());
    return out;
}

// The share of sampled bytes equal to the byte lag places on, less the share
// that chance gives.
double repetition(const std::vector<Window>& sample, int lag, double chance) {
    std::size_t equal = 0, pairs = 0;
    for (const Window& w : sample) {
        const std::size_t n = w.bytes.size();
        const auto l = static_cast<std::size_t>(lag);
        if (n <= l)
            continue;
        const std::uint8_t* b = w.bytes.data();
        for (std::size_t i = 0; i + l < n; ++i)
            equal += b[i] == b[i + l];
        pairs += n - l;
    }
    return pairs ? static_cast<double>(equal) / static_cast<double>(pairs) - chance : 0.0;
}

// How often each byte value occurs in the sample.
std::array<double, 256> byteCounts(const std::vector<Window>& sample) {
    std::array<double, 256> counts{};
    for (const Window& w : sample)
        for (const std::uint8_t b : w.bytes)
            counts[b] += 1;
    return counts;
}

double chanceOfEqual(const std::vector<Window>& sample) {
    const std::array<double, 256> counts = byteCounts(sample);
    double total = 0;
    for (const double c : counts)
        total += c;
    double chance = 0;
    for (const double c : counts)
        chance += total > 0 ? (c / total) * (c / total) : 0;
    return chance;
}

// The description length weighs how well each column is predicted, so a
// counter, whose last bit alternates, makes twice its record length look a
// little better. Equal bytes one record apart do not have that bias: of the
// best length and its divisors, the shortest that repeats nearly as strongly
// is the record; and a multiple that repeats far more strongly (the frames of
// interleaved channels) is the record rather than its part.
// Runs of blanks or zeros repeat at every short lag, so a divisor must also
// describe the bytes almost as compactly.
int fundamental(const std::vector<Window>& sample, std::int64_t begin, int best, double bestBits,
                int maxLag, const Coder& table) {
    const double chance = chanceOfEqual(sample);
    const double strength = repetition(sample, best, chance);
    if (strength <= 0)
        return best;
    for (int d = 1; d < best; ++d)
        if (best % d == 0 && repetition(sample, d, chance) >= 0.85 * strength &&
            columnBits(sample, begin, d, table) <= 1.05 * bestBits)
            return d;
    int chosen = best;
    double chosenStrength = strength;
    for (int k = 2; k <= 4 && static_cast<std::int64_t>(best) * k <= maxLag; ++k) {
        const double r = repetition(sample, best * k, chance);
        if (r >= 1.5 * chosenStrength && r - chosenStrength >= 0.05) {
            chosen = best * k;
            chosenStrength = r;
        }
    }
    return chosen;
}

// Where the records begin. Each of the first bytes and of the last record's
// worth of bytes is weighed: coded by its column of the records, or by the
// sample's overall byte frequencies as part of a header or a trailer. The
// first record is where the header that costs the fewest bits ends; the
// records then run in whole records to a trailer. A header must save enough
// bits to be worth naming, so a first record with a few unusual bytes stays a
// record; a trailer costs a little too, so records that fill the range to its
// end are preferred where the bytes cannot tell.
std::int64_t findFirstRecord(const ByteSource& src, std::int64_t begin, std::int64_t n,
                             const std::vector<Window>& sample, int p, std::int64_t maxHeader) {
    const std::int64_t most = std::min(maxHeader, n - p);
    if (most <= 0)
        return 0;
    const std::int64_t headSpan = std::min(n, most + 4 * static_cast<std::int64_t>(p));
    const std::int64_t tailAt = std::max(headSpan, n - p);
    std::vector<std::uint8_t> head(static_cast<std::size_t>(headSpan));
    std::vector<std::uint8_t> tail(static_cast<std::size_t>(n - tailAt));
    if (src.readAt(begin, head) != head.size() ||
        (!tail.empty() && src.readAt(begin + tailAt, tail) != tail.size()))
        return 0;
    // A byte that is in the sample is left out of its own prediction.
    auto sampled = [&sample](std::int64_t pos) {
        for (const Window& w : sample)
            if (pos >= w.pos && pos < w.end())
                return 1.0;
        return 0.0;
    };
    constexpr double kAlpha = 0.5;
    // Least weight of the overall frequencies in a column's prediction: a byte
    // its column never holds costs many bits there, however sparse the column.
    constexpr double kBackOff = 2;
    const std::array<double, 256> all = byteCounts(sample);
    double allN = 0;
    for (const double v : all)
        allN += v;
    // Bits a byte costs more as header or trailer than as part of a record.
    double backOff = 0;
    auto gainOf = [&](const ColumnCounts& c, std::uint8_t b, std::int64_t pos) {
        const double self = sampled(pos);
        const double allP = (all[b] - self + kAlpha) / (allN - self + 256 * kAlpha);
        const double colP =
            (c.counts[b] - self + backOff * allP) / (static_cast<double>(c.n) - self + backOff);
        return std::log2(colP / allP);
    };
    // How far a column's prediction leans on the overall frequencies: the
    // weight under which the column predicts its own bytes best, each left out
    // of its own prediction. A column of scattered values then predicts as
    // the overall frequencies do, and gains or loses nothing, instead of
    // losing bits on every byte for the few bytes it learned from.
    auto chooseBackOff = [&](const ColumnCounts& c) {
        double bestBits = -1e300, chosen = kBackOff;
        for (const double weight : {2.0, 8.0, 32.0, 128.0, 512.0, 1e6}) {
            double bits = 0;
            for (std::size_t i = 0; i < c.nTouched; ++i) {
                const std::uint8_t b = c.touched[i];
                const double allP = (all[b] - 1 + kAlpha) / (allN - 1 + 256 * kAlpha);
                bits += c.counts[b] * std::log2((c.counts[b] - 1 + weight * allP) /
                                                (static_cast<double>(c.n) - 1 + weight));
            }
            if (bits > bestBits) {
                bestBits = bits;
                chosen = weight;
            }
        }
        return chosen;
    };
    std::vector<double> gain(head.size()), tailGain(tail.size());
    ColumnCounts c;
    for (int col = 0; col < p; ++col) {
        forColumn(sample, begin, p, col, [&c](std::uint8_t b) { c.add(b); });
        backOff = chooseBackOff(c);
        for (std::int64_t i = col; i < headSpan; i += p)
            gain[static_cast<std::size_t>(i)] = gainOf(c, head[static_cast<std::size_t>(i)], begin + i);
        for (std::int64_t i = tailAt + (col - tailAt % p + p) % p; i < n; i += p)
            tailGain[static_cast<std::size_t>(i - tailAt)] =
                gainOf(c, tail[static_cast<std::size_t>(i - tailAt)], begin + i);
        c.clear();
    }
    constexpr double kHeaderBits = 32;
    constexpr double kTrailerBits = 8;
    // lastBytes[t]: the gains of the last t bytes, a trailer of t bytes.
    std::vector<double> lastBytes(static_cast<std::size_t>(p), 0.0);
    for (std::int64_t t = 1; t < p && t <= n; ++t) {
        const std::int64_t i = n - t;
        lastBytes[static_cast<std::size_t>(t)] =
            lastBytes[static_cast<std::size_t>(t - 1)] +
            (i >= tailAt ? tailGain[static_cast<std::size_t>(i - tailAt)] : gain[static_cast<std::size_t>(i)]);
    }
    // The trailer of records from h on: the bytes after the last whole one.
    auto trailerCost = [&](std::int64_t h) {
        const std::int64_t t = (n - h) % p;
        return t == 0 ? 0.0 : kTrailerBits + lastBytes[static_cast<std::size_t>(t)];
    };
    double run = 0, best = trailerCost(0);
    std::int64_t bestAt = 0;
    for (std::int64_t h = 1; h <= most; ++h) {
        run += gain[static_cast<std::size_t>(h - 1)];
        const double cost = run + kHeaderBits + trailerCost(h);
        if (cost < best) {
            best = cost;
            bestAt = h;
        }
    }
    return bestAt;
}

// Whole records from the first record on, taken from every window in runs so
// that neighbours stay neighbours.
SampleRecords sampleRecords(const std::vector<Window>& sample, std::int64_t first, int p,
                            std::int64_t rangeEnd) {
    SampleRecords out;
    out.recordLength = p;
    constexpr std::size_t kMaxRecords = 4096;
    std::size_t perWindow = std::max<std::size_t>(1, kMaxRecords / std::max<std::size_t>(1, sample.size()));
    for (const Window& w : sample) {
        std::int64_t at = first;
        if (w.pos > first)
            at = first + (w.pos - first + p - 1) / p * p;
        bool follows = false;
        for (std::size_t taken = 0; taken < perWindow && at + p <= w.end() && at + p <= rangeEnd;
             ++taken, at += p) {
            const auto* b = w.bytes.data() + (at - w.pos);
            out.bytes.insert(out.bytes.end(), b, b + p);
            out.follows.push_back(follows);
            follows = true;
        }
    }
    return out;
}

} // namespace

DescribeResult describeRecords(const ByteSource& src, std::int64_t begin, std::int64_t length,
                               const DescribeOptions& options) {
    DescribeResult r;
    const std::int64_t size = src.size();
    if (begin < 0 || begin > size) {
        r.message = "The range begins outside the data";
        return r;
    }
    const std::int64_t n = length < 0 ? size - begin : std::min(length, size - begin);
    if (n < 4) {
        r.message = "Too few bytes to find records in";
        return r;
    }
    const int maxLag = static_cast<int>(std::min<std::int64_t>(
        std::max(1, options.maxRecordLength), std::max<std::int64_t>(1, n / 2)));
    if (options.recordLength > 0 && options.recordLength > n) {
        r.message = "The record length is longer than the range";
        return r;
    }
    if (options.recordLength > 65535) {
        r.message = "A record of more than 65535 bytes cannot be cut into fields";
        return r;
    }
    const std::int64_t budget = std::max<std::int64_t>(options.sampleBytes, 4096);
    const std::int64_t windowSize =
        std::max<std::int64_t>(std::int64_t{1} << 17, 2 * static_cast<std::int64_t>(maxLag));
    std::vector<Window> sample;
    if (!readSample(src, begin, n, budget, windowSize, sample)) {
        r.message = "Cannot read the data";
        return r;
    }
    std::vector<int> candidates;
    if (options.recordLength > 0)
        candidates.push_back(options.recordLength);
    else
        candidates = candidateLengths(repetitionByLag(sample, maxLag), maxLag);

    std::size_t sampled = 0;
    for (const Window& w : sample)
        sampled += w.bytes.size();
    std::array<double, 256> frequency = byteCounts(sample);
    for (double& f : frequency)
        f = (f + 0.5) / (static_cast<double>(sampled) + 128);
    const CodeTable values(frequency, sampled);
    std::array<double, 256> flatFrequency;
    flatFrequency.fill(1.0 / 256);
    const CodeTable differences(flatFrequency, sampled);
    const Coder table{values, differences};
    const double flat = columnBits(sample, begin, 1, table);
    std::vector<std::pair<double, int>> ranked;
    for (const int p : candidates)
        ranked.emplace_back(columnBits(sample, begin, p, table), p);
    std::sort(ranked.begin(), ranked.end());
    if (options.recordLength <= 0 && !ranked.empty()) {
        const int p = fundamental(sample, begin, ranked.front().second, ranked.front().first,
                                  maxLag, table);
        if (p != ranked.front().second) {
            auto it = std::find_if(ranked.begin(), ranked.end(),
                                   [p](const auto& c) { return c.second == p; });
            const double bits = it != ranked.end() ? it->first : columnBits(sample, begin, p, table);
            if (it != ranked.end())
                ranked.erase(it);
            ranked.insert(ranked.begin(), {bits, p});
        }
    }
    const std::size_t keep = std::min<std::size_t>(ranked.size(), std::max(1, options.proposals));
    for (std::size_t i = 0; i < keep; ++i) {
        RecordProposal p;
        p.recordLength = ranked[i].second;
        p.evidence = flat > 0 ? std::clamp(1.0 - ranked[i].first / flat, 0.0, 1.0) : 0.0;
        const std::int64_t header =
            findFirstRecord(src, begin, n, sample, p.recordLength, std::min(options.maxHeader, n / 2));
        p.firstRecord = begin + header;
        p.recordCount = (n - header) / p.recordLength;
        p.fields = classifyFields(sampleRecords(sample, p.firstRecord, p.recordLength, begin + n));
        r.proposals.push_back(std::move(p));
    }
    r.ok = true;
    return r;
}

namespace {

// Raw fields over an Anomaly segment's bytes: 16 a field, so that each shows
// whole in its row, then the rest in as few fields as a field's length allows.
void addRawFields(Segment& s, std::int64_t bytes) {
    std::int64_t at = 0;
    while (at < bytes) {
        const std::int64_t piece = s.entries.size() < 256 ? 16 : 65535;
        const auto len = static_cast<std::uint16_t>(std::min(piece, bytes - at));
        TypeEntry e = newTypeEntry(static_cast<int>(TypeKind::Unknown), "", nullptr);
        e.start = static_cast<std::uint16_t>(std::min<std::int64_t>(at, 65535));
        e.length = len;
        e.columnWidth = static_cast<std::uint16_t>(
            columnWidthFor(entryDisplayWidth(e.kind, e.length), kDefaultFontHeight));
        e.setMemo("at " + std::to_string(at));
        s.entries.push_back(std::move(e));
        at += len;
        if (at > 65535)
            break; // a field cannot start further in
    }
}

std::unique_ptr<Segment> anomalySegment(const SegmentList& list, const char* name,
                                        std::int64_t begin, std::int64_t length) {
    auto s = newSegment(list, 0);
    s->setName(name);
    s->anomaly = true;
    s->begin = static_cast<std::int32_t>(begin);
    s->length = static_cast<std::int32_t>(length);
    s->recordLength = static_cast<std::int32_t>(std::min<std::int64_t>(length, INT32_MAX));
    addRawFields(*s, length);
    s->recordCount = static_cast<std::int32_t>(s->entries.size());
    return s;
}

} // namespace

SegmentList proposalSegments(const RecordProposal& p, std::int64_t begin, std::int64_t length) {
    SegmentList list;
    const std::int64_t header = p.firstRecord - begin;
    if (header > 0)
        list.append(anomalySegment(list, "Header", begin, header));
    auto s = newSegment(list, 0);
    s->setName("Records");
    s->begin = static_cast<std::int32_t>(p.firstRecord);
    s->recordLength = p.recordLength;
    s->recordCount = static_cast<std::int32_t>(std::min<std::int64_t>(p.recordCount, INT32_MAX));
    s->length = static_cast<std::int32_t>(
        std::min<std::int64_t>(p.recordCount * p.recordLength, INT32_MAX));
    for (const FieldProposal& f : p.fields) {
        TypeEntry e = newTypeEntry(f.kind, f.memo, nullptr);
        e.start = static_cast<std::uint16_t>(f.start);
        e.length = static_cast<std::uint16_t>(f.length);
        e.columnWidth = static_cast<std::uint16_t>(
            columnWidthFor(entryDisplayWidth(e.kind, e.length), kDefaultFontHeight));
        s->entries.push_back(std::move(e));
    }
    const std::int64_t trailerAt = p.firstRecord + p.recordCount * p.recordLength;
    list.append(std::move(s));
    if (trailerAt < begin + length)
        list.append(anomalySegment(list, "Trailer", trailerAt, begin + length - trailerAt));
    return list;
}

void adoptDescribedSegment(SegmentList& parts, const Segment* described) {
    for (auto& s : parts)
        if (!s->anomaly)
            parts.setCurrent(s.get());
    if (!described || !parts.current())
        return;
    parts.current()->setName(described->name);
    if (described->toFilesEnd)
        parts[parts.size() - 1].toFilesEnd = true;
}

} // namespace vm
