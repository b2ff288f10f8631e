#include "split.h"

#include <algorithm>
#include <functional>
#include <limits>
#include <vector>

#ifdef _WIN32
#include "platformfile.h"
#else
#include <sys/stat.h>
#endif

#include "atomicfile.h"
#include "filelock.h"
#include "outputfile.h"
#include "rewrite.h"

namespace vm {

namespace {

// A document's working copy must stay addressable by 32-bit offsets.
constexpr std::int64_t kMaxWorkingSize = std::numeric_limits<std::int32_t>::max();
// Bytes read and written at a time by the outputs written front to back.
constexpr std::int64_t kBuffer = std::int64_t{4} << 20;

FileResult failed(std::string text) {
    FileResult r;
    r.error = std::move(text);
    return r;
}

bool writePieces(RewriteSink& sink, const FileStream& source, std::int64_t sourceSize,
                 std::span<const SplitPiece> pieces) {
    for (const SplitPiece& p : pieces)
        if (!sink.copyRange(source, p.begin, splitPieceBytes(p, sourceSize)))
            return false;
    return true;
}

std::string errorOf(const RewriteSink& sink) {
    return sink.error().empty() ? std::string("Unknown error") : sink.error();
}

// The pieces' bytes in order, a buffer at a time, for outputs written from
// front to back (in place, or appended to).
bool forEachPieceBuffer(const FileStream& source, std::int64_t sourceSize,
                        std::span<const SplitPiece> pieces, std::int64_t total,
                        const Progress& progress,
                        const std::function<bool(std::span<const std::uint8_t>)>& write,
                        std::string& error) {
    std::vector<std::uint8_t> buf;
    std::int64_t done = 0;
    for (const SplitPiece& p : pieces) {
        const std::int64_t n = splitPieceBytes(p, sourceSize);
        for (std::int64_t at = 0; at < n;) {
            const std::int64_t want = std::min<std::int64_t>(n - at, kBuffer);
            buf.resize(static_cast<std::size_t>(want));
            if (!source.readExact(p.begin + at, buf)) {
                error = source.lastError();
                return false;
            }
            if (!write(buf))
                return false;
            at += want;
            done += want;
            if (progress &&
                !progress(total > 0 ? static_cast<double>(done) / static_cast<double>(total)
                                    : 1.0)) {
                error = kStoppedByUser;
                return false;
            }
        }
    }
    return true;
}

FileResult writtenResult(std::int64_t length) {
    FileResult r;
    r.ok = true;
    r.delta = length;
    return r;
}

// Standard output, a FIFO, a device: written where it is.
FileResult writeInPlace(const FileStream& source, std::int64_t sourceSize,
                        const std::string& target, std::span<const SplitPiece> pieces,
                        std::int64_t length, const Progress& progress) {
    OutputFile out;
    if (!out.begin(target))
        return failed("Cannot write " + target + ": " + out.error());
    std::string error;
    const auto write = [&](std::span<const std::uint8_t> b) {
        if (out.write({reinterpret_cast<const char*>(b.data()), b.size()}))
            return true;
        error = out.error();
        return false;
    };
    if (!forEachPieceBuffer(source, sourceSize, pieces, length, progress, write, error) ||
        !out.commit())
        return failed("Cannot write " + target + ": " + (error.empty() ? out.error() : error));
    return writtenResult(length);
}

// Every write goes to the end of the file as it is then (others appending
// meanwhile lose nothing). A failed append takes back only its own last
// bytes, and only while nobody has written after them.
FileResult appendToFile(const FileStream& source, std::int64_t sourceSize,
                        const std::string& target, std::span<const SplitPiece> pieces,
                        std::int64_t length, const Progress& progress) {
    FileStream out;
    if (!out.open(target, FileStream::Mode::Append))
        return failed("Cannot write " + target + ": " + out.lastError());
    std::int64_t firstBegin = -1, runBegin = -1, runEnd = -1;
    const auto write = [&](std::span<const std::uint8_t> b) {
        std::int64_t begin = -1, end = -1;
        const bool ok = out.append(b, &begin, &end);
        if (begin >= 0) {
            if (firstBegin < 0)
                firstBegin = begin;
            if (begin != runEnd)
                runBegin = begin; // someone wrote in between: ours start again here
            runEnd = end;
        }
        return ok;
    };
    std::string error;
    const bool ok =
        forEachPieceBuffer(source, sourceSize, pieces, length, progress, write, error) &&
        out.flush();
    if (ok)
        return writtenResult(length);
    if (error.empty())
        error = out.lastError();
    std::string text = "Cannot write " + target + ": " + error;
    const bool cut = runBegin >= 0 && out.size() == runEnd && out.truncate(runBegin);
    if (firstBegin >= 0 && !(cut && runBegin == firstBegin))
        text += " (some of what was appended stays: another program has written after it)";
    return failed(text);
}

} // namespace

std::string_view splitMemo(const SplitPiece& piece, std::int64_t sourceSize) {
    if (piece.end < piece.begin)
        return kMemoEndBeforeBegin;
    if (piece.end > sourceSize)
        return kMemoEndPastSource;
    return {};
}

std::int64_t splitPieceBytes(const SplitPiece& piece, std::int64_t sourceSize) {
    const std::int64_t end = std::min<std::int64_t>(piece.end, sourceSize);
    return std::max<std::int64_t>(0, end - piece.begin);
}

SplitTargetLayout splitTargetLayout(std::span<const SplitPiece> pieces, std::int64_t sourceSize,
                                    int selected) {
    SplitTargetLayout l;
    for (std::size_t i = 0; i < pieces.size(); ++i) {
        if (static_cast<int>(i) == selected)
            l.selectedBegin = l.length;
        l.length += splitPieceBytes(pieces[i], sourceSize);
        if (static_cast<int>(i) == selected)
            l.selectedEnd = l.length;
    }
    return l;
}

std::optional<std::string> checkSplitPieces(std::span<const SplitPiece> pieces) {
    for (std::size_t i = 0; i < pieces.size(); ++i)
        if (pieces[i].begin < 0)
            return "Piece " + std::to_string(i) + " begins at " + std::to_string(pieces[i].begin) +
                   ", before the start of the file";
    return std::nullopt;
}

bool isSameFile(const std::string& a, const std::string& b) {
#ifdef _WIN32
    return win::sameFile(a, b);
#else
    struct stat x {
    }, y{};
    return ::stat(a.c_str(), &x) == 0 && ::stat(b.c_str(), &y) == 0 && x.st_dev == y.st_dev &&
           x.st_ino == y.st_ino;
#endif
}

std::optional<std::string> checkSplitNames(const std::string& source, const std::string& target) {
    if (source == target || isSameFile(source, target))
        return "The source file and the target file are the same file: " + target;
    return std::nullopt;
}

FileResult splitToFile(const FileStream& source, const std::string& target,
                       std::span<const SplitPiece> pieces, bool append, const Progress& progress) {
    if (auto refusal = checkSplitPieces(pieces))
        return failed(*refusal);
    const std::int64_t sourceSize = source.size();
    const std::int64_t length = splitTargetLayout(pieces, sourceSize).length;
    if (writesInPlace(target))
        return writeInPlace(source, sourceSize, target, pieces, length, progress);
    // One writer at a time: two appends, or an append and a replacement,
    // would otherwise lose each other's bytes.
    FileLock lock;
    if (!lock.acquire(target))
        return failed(lock.busy() ? lock.error() : "Cannot write " + target + ": " + lock.error());
    if (append && fileExists(target))
        return appendToFile(source, sourceSize, target, pieces, length, progress);

    ReplaceFile file;
    if (!file.begin(target))
        return failed("Cannot write " + target + ": " + file.error());
    RewriteSink sink;
    sink.attach(std::move(file.stream()), 0);
    sink.setProgress(progress, length);
    const bool ok = writePieces(sink, source, sourceSize, pieces) && sink.finish();
    file.stream() = sink.takeStream();
    if (!ok) {
        file.discard();
        return failed("Cannot write " + target + ": " + errorOf(sink));
    }
    lock.beforeReplace();
    if (!file.commit())
        return failed("Cannot write " + target + ": " + file.error());
    return writtenResult(length);
}

FileResult splitFiles(const std::string& source, const std::string& target,
                      std::span<const SplitPiece> pieces, bool append, const Progress& progress) {
    if (auto refusal = checkSplitNames(source, target))
        return failed(*refusal);
    FileStream in;
    if (!in.open(source, FileStream::Mode::Read))
        return failed("Cannot read " + source + ": " + in.lastError());
    return splitToFile(in, target, pieces, append, progress);
}

FileResult splitIntoWorkingFile(WorkingFile& wf, const FileStream* source,
                                std::span<const SplitPiece> pieces, bool append,
                                const Progress& progress) {
    if (auto refusal = checkSplitPieces(pieces))
        return failed(*refusal);
    if (!wf.stream.isOpen())
        return failed("No working file is open");
    const FileStream& from = source ? *source : wf.stream;
    const std::int64_t sourceSize = from.size();
    const std::int64_t kept = append ? wf.stream.size() : 0;
    const std::int64_t length = splitTargetLayout(pieces, sourceSize).length;
    if (kept + length > kMaxWorkingSize)
        return failed("The data file would reach 2 GiB, which the structure cannot address");
    FileResult r =
        runRewrite(wf, kept + length, progress, [&](RewriteSink& sink, const FileStream& current) {
            if (append && !sink.copyRange(current, 0, kept))
                return false;
            return writePieces(sink, from, sourceSize, pieces);
        });
    if (r.ok)
        r.delta = length;
    else
        r.error = "Cannot write the working copy " + wf.name + ": " + r.error;
    return r;
}

} // namespace vm
