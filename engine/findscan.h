#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string_view>
#include <vector>

#include "bytesource.h"
#include "findtext.h"
#include "textlocale.h"
#include "workingfile.h"

namespace vm {

// A find condition's value text is cut to this many characters.
inline constexpr std::size_t kFindValueMax = 100;

// Bytes a find condition of the kind compares: the kind's own size, 10 for
// "string" and "unKnow"; 0 for a code above 15.
int findPatternLength(int kind);
// The bytes searched for a value of a kind: the value encoded into exactly
// findPatternLength(kind) bytes. A value the kind rejects is searched as that
// many zero bytes, as the find window has always done.
std::vector<std::uint8_t> findPattern(int kind, std::string_view value,
                                      const Locale& loc = defaultLocale());

// True when the pattern occurs at an offset from which it overlaps the bytes
// [pos, pos + length), even by a single byte. The grid marks such cells while
// find results are shown.
bool patternTouches(const ByteSource& src, std::span<const std::uint8_t> pattern, std::int64_t pos,
                    int length);
// The same, reading into scratch, which a caller testing many cells keeps so
// that a cell costs no allocation.
bool patternTouches(const ByteSource& src, std::span<const std::uint8_t> pattern, std::int64_t pos,
                    int length, std::vector<std::uint8_t>& scratch);

// The same for a find condition's pattern (a text that ignores case, say).
bool patternTouches(const ByteSource& src, const FindPattern& pattern, std::int64_t pos, int length,
                    std::vector<std::uint8_t>& scratch);

// Two bytes of a pattern that the search compares first, the least likely
// ones to be found by chance: a byte at r passes when, ORed with aMask, it
// equals a (likewise r2, b and bMask). The masks are 0 for exact bytes and
// take in the bits in which a letter's case forms differ. r is -1 when no
// byte is worth comparing first.
struct FindProbe {
    std::int64_t r = -1;
    std::int64_t r2 = -1;
    std::uint8_t a = 0;
    std::uint8_t aMask = 0;
    std::uint8_t b = 0;
    std::uint8_t bMask = 0;
};

// What a search reports while it runs.
struct FindEvents {
    // The lane of a condition has been scanned from `from` to `to` (end
    // offsets may pass the data's size by a little at the very end).
    std::function<void(int condition, std::int64_t from, std::int64_t to)> scanned;
    // A hit: its number (from 1) and, in list order, the position where each
    // condition was last found.
    std::function<void(std::int64_t number, std::span<const std::int64_t> positions)> hit;
};

// The search for places where every condition's pattern occurs, all of them
// within `range` bytes of each other. The state machine is the find window's
// original one, position by position: after a match of the current condition
// it turns to the first condition not found within the range and resumes it
// `range` bytes back (or at that condition's last find, whichever is later),
// never before 0; when all are found it is a hit. So one condition lists every
// occurrence, overlapping ones included, and a pattern never matches in the
// last length - 1 bytes. The blocks in between are searched at memory speed.
//
// The scan owns no data: each run() is given the bytes to read, so a window
// can drive it in slices and stop it before the bytes go away. Scanned
// stretches are reported after each hundredth of the data, as the map wants,
// and once before each switch, hit and the end.
class FindScan {
public:
    // size: the data's size when the search starts. An empty pattern never
    // matches; empty data finds nothing and reports nothing.
    FindScan(std::int64_t size, std::vector<FindPattern> patterns, std::int64_t range);
    // Conditions of exact bytes each.
    FindScan(std::int64_t size, const std::vector<std::vector<std::uint8_t>>& patterns,
             std::int64_t range);

    // Scans on until the end or until progress returns false (checked about
    // every block); true when the search is complete. Calling it again
    // resumes where it paused.
    bool run(const ByteSource& src, const FindEvents& events, const Progress& progress = {});

    bool finished() const { return m_done; }
    std::int64_t hits() const { return m_number; }
    std::int64_t position() const { return m_p; }
    std::int64_t size() const { return m_size; }
    // The data could not be read to its end; the search ended there.
    bool readError() const { return m_readError; }

private:
    struct Condition {
        FindPattern pattern;
        FindProbe probe;
        std::int64_t found = 0;
        bool flag = false;
        std::int64_t scanStart = 0;
    };

    void advanceTo(std::int64_t p, const FindEvents& events);
    void finish(const FindEvents& events);
    // The first match of the current condition in [m_p, limit]: its offset,
    // or -1 with *searched set to the last offset examined.
    std::int64_t nextMatch(const ByteSource& src, std::int64_t limit, std::int64_t* searched);
    bool fill(const ByteSource& src, std::int64_t at);

    std::int64_t m_size;
    std::int64_t m_range;
    std::int64_t m_step; // a hundredth of the data: scanned stretches are reported that often
    std::vector<Condition> m_conds;
    std::size_t m_cur = 0;
    std::int64_t m_p = 0;
    std::int64_t m_number = 0;
    bool m_done = false;
    bool m_readError = false;
    std::vector<std::int64_t> m_positions;
    std::size_t m_longest = 0; // the longest pattern: the buffer holds a block and one more

    std::vector<std::uint8_t> m_buf;
    std::int64_t m_bufStart = 0;
    std::int64_t m_bufLen = 0;
};

} // namespace vm
