#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "codec.h"
#include "segment.h"
#include "workingfile.h"

namespace vm {

// Writes a new file front to back: small pieces gather in a large buffer, long
// pieces of another file go through the kernel's copy. Used by every rewrite,
// by cut blank and by the whole-file copy.
class RewriteSink {
public:
    RewriteSink();
    ~RewriteSink();
    RewriteSink(const RewriteSink&) = delete;
    RewriteSink& operator=(const RewriteSink&) = delete;

    // Creates (or truncates) the file. With lock (a working file) the name
    // must be free: the file is created exclusively, never through a link,
    // readable by its owner only and locked before anything is written; when
    // the name was taken nameWasTaken() says so.
    bool create(const std::string& path, bool lock);
    bool nameWasTaken() const { return m_taken; }
    // Forgets a failure, so that the sink can try again.
    void clearError() { m_error.clear(); }
    // Opens an existing file that nobody holds, locks it and writes over it
    // from the start; finish() cuts it to what was written. False (with no
    // error) when the file is held or cannot be opened.
    bool adopt(const std::string& path);
    // Writes into a stream opened elsewhere (the new file of a ReplaceFile, or
    // a file being appended to) from position at. takeStream() hands it back;
    // abandon() then only closes it, never deletes its file. With name, a
    // failed write says "Cannot write name: ..." (the stream may have none).
    // towardsDisk: the file is flushed once complete, so what is written
    // starts on its way to the disk at once and the flush has little left.
    void attach(FileStream&& out, std::int64_t at, std::string name = {}, bool towardsDisk = false);
    bool attached() const { return m_attached; }
    // The file being read will be replaced by this one once it is complete
    // (a command-line edit): its cached pages are let go as the rewrite
    // passes them, so that the new file reuses that memory instead of
    // claiming as much again, and the old file costs little to free.
    void releaseSourceAsRead(bool on) { m_releaseSource = on; }
    bool releasesSource() const { return m_releaseSource; }
    // The rewrite has read src from off for len bytes and will not need them
    // again; mapped: where src is mapped into memory from its start, if it is.
    void sourceRead(const FileStream& src, std::int64_t off, std::int64_t len,
                    const std::uint8_t* mapped = nullptr);
    // total: the bytes the finished file is expected to hold (for the fraction).
    void setProgress(const Progress& progress, std::int64_t total);

    bool append(const std::uint8_t* data, std::size_t n);
    bool appendZeros(std::int64_t n);
    // Exactly len bytes from src at off; bytes past the end of src are zeros.
    bool copyRange(const FileStream& src, std::int64_t off, std::int64_t len);
    // Everything from off to the end of src (nothing when off is at or past it).
    bool copyRest(const FileStream& src, std::int64_t off);
    // Records a failure (the first one counts); always false.
    bool fail(const std::string& text);
    // Writes what is still buffered.
    bool finish();
    // Closes and deletes the unfinished file.
    void abandon();
    // The open stream of the finished file (the lock stays with it).
    FileStream takeStream();

    std::int64_t written() const { return m_pos + static_cast<std::int64_t>(m_fill); }
    const std::string& error() const { return m_error; }
    const std::string& path() const { return m_path; }

    // The file being written; after finish() a caller may change it in place.
    FileStream& stream() { return m_out; }

    // A writable run of n bytes inside the buffer (n at most bufferSize()), to
    // be filled by the caller; the run counts as written. kCopySlack bytes
    // after the run may be written too (they are overwritten or never flushed).
    std::uint8_t* reserve(std::size_t n);
    static constexpr std::size_t bufferSize() { return std::size_t{4} << 20; }
    static constexpr std::size_t kCopySlack = 16;

private:
    bool flushBuffer();
    bool report();
    bool writeFailed(const std::string& text);
    void startWriteBack(std::int64_t to);

    FileStream m_out;
    std::string m_path;
    std::string m_writeName;
    std::vector<std::uint8_t> m_buf;
    std::size_t m_fill = 0;
    std::int64_t m_pos = 0; // bytes already in the file
    std::string m_error;
    Progress m_progress;
    std::int64_t m_total = 0;
    std::int64_t m_lastReport = 0;
    bool m_adopted = false;
    bool m_attached = false;
    bool m_taken = false;
    bool m_towardsDisk = false;
    std::int64_t m_sentTo = 0; // writing back was started for the bytes before
    bool m_releaseSource = false;
    // The run of the source read since its pages were last let go.
    std::int64_t m_readFrom = 0;
    std::int64_t m_readTo = 0;
};

// One piece of an output record, built from the input record of the same index.
struct RecordPiece {
    enum class Kind { Copy, Zero, Bytes, Convert };
    Kind kind = Kind::Copy;
    std::int64_t from = 0;           // Copy, Convert: offset inside the input record
    std::int64_t length = 0;         // bytes written
    std::vector<std::uint8_t> bytes; // Bytes: written as they are (length of them)
    // Convert: readLength bytes at from, converted from one kind to another;
    // a failed conversion writes zeros, or fails the rewrite with failOnError.
    int readLength = 0;
    int fromKind = 0, fromLength = 0, toKind = 0, toLength = 0;
    bool failOnError = false;
};

// Writes count output records, each the plan applied to one input record of
// recordLength bytes at begin + r * recordLength. Input past the end of src
// reads as zeros. Records are read and written in large blocks.
bool writeRecords(RewriteSink& sink, const FileStream& src, std::int64_t begin, std::int64_t count,
                  std::int64_t recordLength, const std::vector<RecordPiece>& plan,
                  const Locale& loc = defaultLocale());

// Records and record length a rewrite works with: an Anomaly segment is one
// record of its whole length; otherwise computeRecordCount's count against the
// file size (which it may update, as it does everywhere).
struct RecordShape {
    std::int64_t count = 0;
    std::int64_t length = 0;
};
RecordShape recordShape(Segment& seg, std::int64_t fileSize);

// The rewrites. Each builds a new working file from pieces of the current one,
// switches wf to it only when it is complete, then adjusts the structure.
// On failure wf, its file and the structure are as they were, and error holds
// the system's text (or ours when the request itself is refused). delta is the
// change of the file's size; callers move the following segments by it.

// Runs on a rewrite's new file once it is complete, before wf is switched to
// it: changes that go into the new file as one step with the rewrite. False
// (with error set) abandons the rewrite, which then changes nothing.
using RewriteFinish = std::function<bool(FileStream& file, std::string& error)>;

// count records at index (or at the end), copies of the record at index (or of
// the last one), or zero bytes with blank.
FileResult insertRecords(WorkingFile& wf, Segment& seg, std::int64_t index, std::int64_t count,
                         bool atEnd, bool blank, const Progress& progress = {},
                         const RewriteFinish& finish = {});
// A copy of the whole working file, changed by finish, becomes the working
// file: an edit in place that can fail or be stopped half way without
// touching the file the document holds.
FileResult rewriteWorkingFile(WorkingFile& wf, const RewriteFinish& finish,
                              const Progress& progress = {});
// Records first to last, both included.
FileResult deleteRecords(WorkingFile& wf, Segment& seg, std::int64_t first, std::int64_t last,
                         const Progress& progress = {});
// Inserts, at offset inside every record, copies of the bytes of the given
// entries (taken at their offsets from the record's start, even where that
// lies past its end), and puts copies of the entries into the list at
// position (-1 appends).
FileResult insertEntryBytes(WorkingFile& wf, Segment& seg, const std::vector<TypeEntry>& entries,
                            std::int64_t offset, int position, const Progress& progress = {});
// Removes the bytes of the entries at the given list indices from every record
// and removes those entries from the list.
FileResult deleteEntryBytes(WorkingFile& wf, Segment& seg, const std::vector<std::size_t>& indices,
                            const Progress& progress = {});
// True when converting a value of kind from to kind to gives back the same
// bytes whatever they are (a signed integer read as unsigned of the same size,
// and the like): such a change of kind needs no byte of the file rewritten.
bool conversionKeepsBytes(const TypeEntry& from, const TypeEntry& to);
// The entry at index becomes the replacement (at the same start); every
// record's value is converted, zero when it cannot be. A conversion that keeps
// every record's bytes, with every record inside the file, writes nothing:
// wf stays as it was and the result says delta 0.
FileResult changeEntryKind(WorkingFile& wf, Segment& seg, std::size_t index,
                           const TypeEntry& replacement, const Locale& loc = defaultLocale(),
                           const Progress& progress = {});
// Inserts entry.length bytes at entry.start of every record: defaultValue, or
// the converted value of source in that record; a value that cannot be
// converted fails the rewrite.
FileResult insertNewEntry(WorkingFile& wf, Segment& seg, const TypeEntry& entry,
                          std::span<const std::uint8_t> defaultValue, const TypeEntry* source,
                          const Locale& loc = defaultLocale(), const Progress& progress = {});
// Removes the segment's bytes. The caller moves the other segments first.
FileResult deleteSegmentBytes(WorkingFile& wf, const Segment& seg, const Progress& progress = {});
// Inserts a copy of seg's bytes (read at seg.begin) at offset, moving the
// list's segments at or after it; without offset appends them at the end.
// seg is not in the list; its begin becomes where its bytes now lie.
FileResult insertSegmentBytes(WorkingFile& wf, SegmentList& list, Segment& seg,
                              std::optional<std::int32_t> offset, const Progress& progress = {});

// Runs the rewrite skeleton: a new working file (name search with reuse) is
// filled by build from the current stream; on success wf is switched to it.
// build returns false after setting the sink's error.
// finish, when given, changes the new file before the switch.
template <typename Build>
FileResult runRewrite(WorkingFile& wf, std::int64_t expectedSize, const Progress& progress,
                      Build&& build, const RewriteFinish& finish = {});

// Implementation detail of runRewrite, not a template.
FileResult finishRewrite(WorkingFile& wf, RewriteSink& sink, bool built,
                         const RewriteFinish& finish = {});
bool startRewrite(WorkingFile& wf, RewriteSink& sink, FileResult& result);

template <typename Build>
FileResult runRewrite(WorkingFile& wf, std::int64_t expectedSize, const Progress& progress,
                      Build&& build, const RewriteFinish& finish) {
    RewriteSink sink;
    FileResult result;
    if (!startRewrite(wf, sink, result))
        return result;
    sink.setProgress(progress, expectedSize);
    const bool built = build(sink, static_cast<const FileStream&>(wf.stream));
    return finishRewrite(wf, sink, built, finish);
}

} // namespace vm
