#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "bytesource.h"
#include "workingfile.h"

namespace vm {

// What a byte compare reports while it runs.
struct CompareEvents {
    // A listed difference: its number (from 1), offset, the data's byte and the
    // other file's byte (nothing past the end of a shorter other file).
    std::function<void(std::int64_t number, std::int64_t offset, std::uint8_t source,
                       std::optional<std::uint8_t> target)>
        listed;
    // The bytes drawn in map columns [from, to) are compared; differs when
    // any of them differed.
    std::function<void(int from, int to, bool differs)> columns;
};

// The byte-by-byte compare of the open data with another file, over exactly
// the data's length. Every differing offset is counted; those numbered below
// listLimit are listed (so 500 lists 499), as the compare window always did.
// An offset past the end of a shorter other file is a difference with no
// target byte. With a map of `columns` columns, offset k is drawn in column
// k * columns / size; each time the compare reaches a new column the columns
// since the previous report are reported, marked when any of their bytes
// differed, and the last ones at the end. (The window once marked a stretch
// by the byte that began the next one, and never drew the last stretch.)
//
// The scan owns no data: each run() is given both files, so a window can drive
// it in slices and stop it before the files go away.
class CompareScan {
public:
    // columns < 1: no map. A listLimit below 2 lists nothing.
    CompareScan(std::int64_t size, std::int64_t listLimit, int columns);

    // Compares on until the end or until progress returns false (checked
    // about every block); true when complete. Calling it again resumes.
    bool run(const ByteSource& source, const ByteSource& target, const CompareEvents& events,
             const Progress& progress = {});

    bool finished() const { return m_done; }
    std::int64_t differences() const { return m_count; }
    std::int64_t position() const { return m_k; }
    std::int64_t size() const { return m_size; }
    // The data could not be read to its end; the compare ended there.
    bool readError() const { return m_readError; }

private:
    // Compares [from, to) of the two buffers (offsets of the data), counting,
    // listing and remembering that something differed.
    void compareRange(std::int64_t from, std::int64_t to, const CompareEvents& events);
    void listRange(std::int64_t from, std::int64_t to, const CompareEvents& events);
    std::int64_t nextColumnStart() const;

    std::int64_t m_size;
    std::int64_t m_listLimit;
    int m_columns;
    std::int64_t m_k = 0;     // next offset to compare
    std::int64_t m_count = 0; // differences so far
    int m_column = 0;         // last column reported
    bool m_pending = false;   // a difference since the last column report
    bool m_done = false;
    bool m_readError = false;

    std::vector<std::uint8_t> m_a;
    std::vector<std::uint8_t> m_b;
    std::int64_t m_blockStart = 0;
    std::int64_t m_aLen = 0;
    std::int64_t m_bLen = 0;
};

} // namespace vm
