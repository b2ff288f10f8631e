#include "rewrite.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cerrno>
#include <cstring>
#include <functional>
#include <limits>
#include <utility>

#ifdef _WIN32
#include <io.h>
#include <windows.h>

#include "platformfile.h"
#else
#include <csetjmp>
#include <csignal>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "kinds.h"
#include "model.h"

namespace vm {

namespace {

constexpr std::int64_t kKernelCopyMin = std::int64_t{1}
                                        << 20; // shorter pieces go through the buffer
constexpr std::int64_t kKernelCopyStep = std::int64_t{64}
                                         << 20; // progress is reported between steps
constexpr std::int64_t kReportEvery = std::int64_t{4} << 20;
// The largest single write of the buffer (see flushBuffer).
constexpr std::size_t kWritePiece = std::size_t{1} << 20;
// A file that will be flushed is sent towards the disk in steps of this size.
constexpr std::int64_t kWriteBackStep = std::int64_t{16} << 20;
// A source being replaced lets its cached pages go in steps of this size.
constexpr std::int64_t kReleaseStep = std::int64_t{16} << 20;
// Positions in the structure are 32-bit; a file must stay below 2 GiB.
constexpr std::int64_t kMaxFileSize = std::numeric_limits<std::int32_t>::max();
constexpr const char* kStoppedText = "Stopped by the user";

FileResult refused(std::string text) {
    FileResult r;
    r.error = std::move(text);
    return r;
}

} // namespace

// ---- RewriteSink -------------------------------------------------------------

RewriteSink::RewriteSink() = default;

RewriteSink::~RewriteSink() = default;

bool RewriteSink::create(const std::string& path, bool lock) {
    m_path = path;
    m_writeName.clear();
    m_towardsDisk = false;
    m_adopted = false;
    m_attached = false;
    m_taken = false;
    m_releaseSource = false;
    if (lock) {
        // A working file: made in a shared folder, so never over an existing
        // name or through a link, private and locked before a byte goes in.
        std::string text;
        if (!createLockedFile(m_out, path, &text, &m_taken))
            return fail(text);
    } else if (!m_out.open(path, FileStream::Mode::Create)) {
        return fail(m_out.lastError());
    }
    m_buf.resize(bufferSize() + RewriteSink::kCopySlack);
    m_fill = 0;
    m_pos = 0;
    return true;
}

bool RewriteSink::adopt(const std::string& path) {
    // Only a plain file of our own with no other name is written over: the
    // temporary folder is shared, and a link planted under a working-file name
    // must never lead a rewrite into someone else's file.
#ifdef _WIN32
    // A file some other program only reads is in use too: it is not written
    // under the reader (the open below would allow that).
    if (!win::isPlainFile(path) || isFileInUse(path))
        return false;
    FileStream f;
    if (!f.open(path, FileStream::Mode::ReadWriteNoFollow) || !f.lockExclusive())
        return false; // held by someone, or not ours to write: no error, the caller looks further
    BY_HANDLE_FILE_INFORMATION info{};
    if (!::GetFileInformationByHandle(reinterpret_cast<HANDLE>(::_get_osfhandle(f.fd())), &info) ||
        info.nNumberOfLinks != 1 || (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0)
        return false;
#else
    struct stat named {};
    if (::lstat(path.c_str(), &named) != 0 || !S_ISREG(named.st_mode) || named.st_nlink != 1 ||
        named.st_uid != ::geteuid())
        return false;
    FileStream f;
    if (!f.open(path, FileStream::Mode::ReadWriteNoFollow) || !f.lockExclusive())
        return false; // held by someone, or not ours to write: no error, the caller looks further
    // Checked again once locked: another instance may have removed the name
    // and made a new file under it while this one was being opened.
    struct stat opened {};
    if (::fstat(f.fd(), &opened) != 0 || ::lstat(path.c_str(), &named) != 0 ||
        opened.st_dev != named.st_dev || opened.st_ino != named.st_ino || opened.st_nlink != 1)
        return false;
    if ((opened.st_mode & (S_IRWXG | S_IRWXO)) != 0 && ::fchmod(f.fd(), S_IRUSR | S_IWUSR) != 0)
        return false;
#endif
    m_out = std::move(f);
    m_path = path;
    m_writeName.clear();
    m_towardsDisk = false;
    m_releaseSource = false;
    m_adopted = true;
    m_attached = false;
    m_buf.resize(bufferSize() + RewriteSink::kCopySlack);
    m_fill = 0;
    m_pos = 0;
    return true;
}

void RewriteSink::attach(FileStream&& out, std::int64_t at, std::string name, bool towardsDisk) {
    m_out = std::move(out);
    m_path = m_out.path();
    m_writeName = std::move(name);
    m_towardsDisk = towardsDisk;
    m_sentTo = at;
    m_releaseSource = false;
    m_adopted = false;
    m_attached = true;
    m_buf.resize(bufferSize() + RewriteSink::kCopySlack);
    m_fill = 0;
    m_pos = at;
}

void RewriteSink::setProgress(const Progress& progress, std::int64_t total) {
    m_progress = progress;
    m_total = total;
    m_lastReport = 0;
}

bool RewriteSink::fail(const std::string& text) {
    if (m_error.empty())
        m_error = text.empty() ? std::string("Unknown error") : text;
    return false;
}

bool RewriteSink::writeFailed(const std::string& text) {
    if (m_writeName.empty())
        return fail(text);
    return fail("Cannot write " + m_writeName + ": " + (text.empty() ? "Unknown error" : text));
}

void RewriteSink::startWriteBack(std::int64_t to) {
#ifdef __linux__
    // Left to the system, the whole file would wait in memory for the flush
    // at the end, and the disk would idle while it is made.
    if (m_towardsDisk && to - m_sentTo >= kWriteBackStep) {
        ::sync_file_range(m_out.fd(), m_sentTo, to - m_sentTo, SYNC_FILE_RANGE_WRITE);
        m_sentTo = to;
    }
#else
    (void)to; // Windows writes back on its own schedule
#endif
}

void RewriteSink::sourceRead(const FileStream& src, std::int64_t off, std::int64_t len,
                             const std::uint8_t* mapped) {
#ifdef __linux__
    if (!m_releaseSource || len <= 0)
        return;
    if (off != m_readTo)
        m_readFrom = off; // a new run: what was left of the last one stays cached
    m_readTo = off + len;
    if (m_readTo - m_readFrom >= kReleaseStep) {
        // Pages still mapped are not let go: the mapping of the run goes first.
        if (mapped) {
            const std::int64_t page = ::sysconf(_SC_PAGESIZE);
            const std::int64_t a = (m_readFrom + page - 1) / page * page;
            const std::int64_t b = m_readTo / page * page;
            if (b > a)
                ::madvise(const_cast<std::uint8_t*>(mapped) + a, static_cast<std::size_t>(b - a),
                          MADV_DONTNEED);
        }
        // Only a hint: pages still wanted are simply read again.
        ::posix_fadvise(src.fd(), m_readFrom, m_readTo - m_readFrom, POSIX_FADV_DONTNEED);
        m_readFrom = m_readTo;
    }
#else
    // Windows keeps a file's cache to itself.
    (void)src;
    (void)off;
    (void)len;
    (void)mapped;
#endif
}

bool RewriteSink::report() {
    if (!m_progress)
        return true;
    const std::int64_t w = written();
    if (w - m_lastReport < kReportEvery && w < m_total)
        return true;
    m_lastReport = w;
    const double f =
        m_total > 0 ? std::min(1.0, static_cast<double>(w) / static_cast<double>(m_total)) : 1.0;
    if (!m_progress(f))
        return fail(kStoppedText);
    return true;
}

bool RewriteSink::flushBuffer() {
    if (!m_error.empty())
        return false;
    if (m_fill == 0)
        return true;
    // Written in pieces of kWritePiece: a larger write makes the system cache
    // the new file in larger blocks of memory, which on a virtual machine are
    // often fresh from the host and cost twice the copy to fill.
    for (std::size_t done = 0; done < m_fill;) {
        const std::size_t n = std::min(m_fill - done, kWritePiece);
        if (!m_out.writeAt(m_pos, std::span<const std::uint8_t>(m_buf.data() + done, n)))
            return writeFailed(m_out.lastError());
        m_pos += static_cast<std::int64_t>(n);
        done += n;
    }
    startWriteBack(m_pos);
    m_fill = 0;
    return report();
}

std::uint8_t* RewriteSink::reserve(std::size_t n) {
    if (m_fill + n > bufferSize() && !flushBuffer())
        return nullptr;
    std::uint8_t* p = m_buf.data() + m_fill;
    m_fill += n;
    return p;
}

bool RewriteSink::append(const std::uint8_t* data, std::size_t n) {
    if (!m_error.empty())
        return false;
    while (n > 0) {
        if (m_fill == bufferSize() && !flushBuffer())
            return false;
        const std::size_t c = std::min(n, bufferSize() - m_fill);
        std::memcpy(m_buf.data() + m_fill, data, c);
        m_fill += c;
        data += c;
        n -= c;
    }
    return true;
}

bool RewriteSink::appendZeros(std::int64_t n) {
    if (!m_error.empty())
        return false;
    while (n > 0) {
        if (m_fill == bufferSize() && !flushBuffer())
            return false;
        const std::size_t c = static_cast<std::size_t>(
            std::min<std::int64_t>(n, static_cast<std::int64_t>(bufferSize() - m_fill)));
        std::memset(m_buf.data() + m_fill, 0, c);
        m_fill += c;
        n -= static_cast<std::int64_t>(c);
    }
    return true;
}

bool RewriteSink::copyRange(const FileStream& src, std::int64_t off, std::int64_t len) {
    if (!m_error.empty())
        return false;
    if (len <= 0)
        return true;
    if (off < 0) {
        // Nothing lies before the start of a file.
        const std::int64_t z = std::min(len, -off);
        if (!appendZeros(z))
            return false;
        off += z;
        len -= z;
    }
#ifndef _WIN32
    if (len >= kKernelCopyMin) {
        if (!flushBuffer())
            return false;
        loff_t in = off;
        loff_t out = m_pos;
        bool kernel = true;
        while (len > 0 && kernel) {
            const ssize_t n =
                ::copy_file_range(src.fd(), &in, m_out.fd(), &out,
                                  static_cast<std::size_t>(std::min(len, kKernelCopyStep)), 0);
            if (n < 0) {
                const int err = errno;
                if (err == EINTR)
                    continue;
                if (err == EXDEV || err == ENOSYS || err == EOPNOTSUPP || err == EINVAL ||
                    err == EBADF || err == ETXTBSY) {
                    kernel = false; // this pair of files cannot be copied by the kernel
                    break;
                }
                // The kernel's copy fails alike for the two files: only a
                // full disk or a file size limit is the target's for sure.
                const bool target = err == ENOSPC || err == EFBIG || err == EDQUOT;
                return target ? writeFailed(systemErrorText(err)) : fail(systemErrorText(err));
            }
            if (n == 0)
                break; // end of the source: the rest is zeros
            sourceRead(src, in - n, n);
            startWriteBack(m_pos + n);
            m_pos += n;
            len -= n;
            if (!report())
                return false;
        }
        off = in;
        if (kernel)
            return appendZeros(len);
    }
#endif
    while (len > 0) {
        if (m_fill == bufferSize() && !flushBuffer())
            return false;
        const std::size_t want = static_cast<std::size_t>(
            std::min<std::int64_t>(len, static_cast<std::int64_t>(bufferSize() - m_fill)));
        const std::size_t got =
            src.readAt(off, std::span<std::uint8_t>(m_buf.data() + m_fill, want));
        if (got < want) {
            if (!src.lastError().empty() && off + static_cast<std::int64_t>(got) < src.size())
                return fail(src.lastError());
            std::memset(m_buf.data() + m_fill + got, 0, want - got);
        }
        sourceRead(src, off, static_cast<std::int64_t>(got));
        m_fill += want;
        off += static_cast<std::int64_t>(want);
        len -= static_cast<std::int64_t>(want);
    }
    return true;
}

bool RewriteSink::copyRest(const FileStream& src, std::int64_t off) {
    const std::int64_t size = src.size();
    off = std::max<std::int64_t>(off, 0);
    if (off >= size)
        return m_error.empty();
    return copyRange(src, off, size - off);
}

bool RewriteSink::finish() {
    if (!flushBuffer())
        return false;
    // An adopted file may have been longer than what was written over it.
    if (m_adopted && m_out.size() != m_pos && !m_out.truncate(m_pos))
        return fail(m_out.lastError());
    if (m_progress && !m_progress(1.0))
        return fail(kStoppedText);
    return true;
}

void RewriteSink::abandon() {
    if (m_attached) {
        m_out.close();
        return;
    }
    if (m_out.isOpen()) {
        m_out.close();
#ifdef _WIN32
        win::removeFile(m_path);
#else
        ::unlink(m_path.c_str());
#endif
    }
}

FileStream RewriteSink::takeStream() {
    return std::move(m_out);
}

// ---- records -----------------------------------------------------------------

namespace {

// Kinds whose value is a plain integer of n bytes (n 0 for any other kind).
int plainIntegerBytes(int kind, bool& isSigned) {
    switch (kind) {
    case 0:
        isSigned = true;
        return 1;
    case 1:
    case 2:
    case 4:
        isSigned = false;
        return 1;
    case 5:
        isSigned = true;
        return 2;
    case 6:
        isSigned = false;
        return 2;
    case 7:
        isSigned = true;
        return 4;
    case 8:
        isSigned = false;
        return 4;
    case 10:
        isSigned = true;
        return 8;
    default:
        return 0;
    }
}

// Bytes an integer is stored in by a conversion to a kind, 0 when the kind
// does not take an integer this way.
int integerTargetBytes(int kind) {
    if (kind >= 0 && kind <= 8)
        return kind <= 4 ? 1 : kind <= 6 ? 2 : 4;
    return kind == 10 ? 8 : 0;
}

std::uint64_t lowBytesMask(int n) {
    return n >= 8 ? ~std::uint64_t{0} : (std::uint64_t{1} << (8 * n)) - 1;
}

// A conversion between integer kinds of fields of at most 8 bytes, done on a
// 64-bit word instead of the general value path: the same bytes as
// convertValue gives in the value buffer (a value outside 32 bits does not go
// into a kind of 4 bytes or less; bytes past the new kind's size keep what
// was read there), cheap enough to run once per record.
struct IntegerConversion {
    bool usable = false;
    int fromBytes = 0;
    bool fromSigned = false;
    int toBytes = 0;
    std::size_t readBytes = 0;
    std::size_t writeBytes = 0;

    explicit IntegerConversion(const RecordPiece& p) {
        if (p.kind != RecordPiece::Kind::Convert || p.readLength > 8 || p.length > 8 ||
            p.readLength < 0)
            return;
        fromBytes = plainIntegerBytes(p.fromKind, fromSigned);
        toBytes = integerTargetBytes(p.toKind);
        readBytes = static_cast<std::size_t>(p.readLength);
        writeBytes = static_cast<std::size_t>(p.length);
        usable = fromBytes > 0 && toBytes > 0;
    }

    // false when the value does not fit (the caller writes zeros). in and out
    // may be read and written 8 bytes wide (the record buffers have slack).
    bool run(const std::uint8_t* in, std::uint8_t* out) const {
        std::uint64_t raw = 0;
        if constexpr (std::endian::native == std::endian::little) {
            std::memcpy(&raw, in, 8);
            raw &= lowBytesMask(static_cast<int>(readBytes));
        } else {
            for (std::size_t i = readBytes; i-- > 0;)
                raw = (raw << 8) | in[i];
        }
        const std::uint64_t u = raw & lowBytesMask(fromBytes);
        std::int64_t v = static_cast<std::int64_t>(u);
        if (fromSigned && fromBytes < 8) {
            const int shift = 64 - 8 * fromBytes;
            v = static_cast<std::int64_t>(u << shift) >> shift;
        }
        if (toBytes < 8 &&
            (v < std::numeric_limits<std::int32_t>::min() ||
             v > static_cast<std::int64_t>(std::numeric_limits<std::uint32_t>::max())))
            return false;
        const std::uint64_t m = lowBytesMask(toBytes);
        const std::uint64_t result = (raw & ~m) | (static_cast<std::uint64_t>(v) & m);
        if constexpr (std::endian::native == std::endian::little) {
            std::memcpy(out, &result, 8);
        } else {
            for (std::size_t i = 0; i < writeBytes; ++i)
                out[i] = static_cast<std::uint8_t>(result >> (8 * i));
        }
        return true;
    }
};

struct Converter {
    const Locale& loc;
    std::array<std::uint8_t, kMaxValueBytes + 9> buf{};

    // Converts the value read into buf; false when it cannot be and the piece
    // asks for failure, else a failed value becomes zeros.
    bool run(const RecordPiece& p, const std::uint8_t* in, std::size_t avail) {
        // Only the bytes the conversion can see are cleared: this runs once per record.
        const std::size_t used = std::max<std::size_t>(
            {static_cast<std::size_t>(std::max(p.readLength, 0)),
             static_cast<std::size_t>(std::max(p.toLength, 0)),
             static_cast<std::size_t>(std::max(p.fromLength, 0)), std::size_t{8}});
        const std::size_t span = std::min(used, buf.size());
        std::memset(buf.data(), 0, span);
        const std::size_t n = std::min<std::size_t>(static_cast<std::size_t>(p.readLength), avail);
        std::memcpy(buf.data(), in, std::min(n, span));
        if (!convertValue(std::span<std::uint8_t>(buf.data(), span), p.fromKind, p.fromLength,
                          p.toKind, p.toLength, loc)) {
            if (p.failOnError)
                return false;
            std::memset(buf.data(), 0, span);
        }
        return true;
    }
};

std::string conversionError(const RecordPiece& p) {
    return "A value of the " + std::string(kindName(p.fromKind)) +
           " field cannot be converted to " + std::string(kindName(p.toKind));
}

// The bytes of one record that a plan reads (it may reach past the record).
std::int64_t planWindow(const std::vector<RecordPiece>& plan, std::int64_t recordLength) {
    std::int64_t w = std::max<std::int64_t>(recordLength, 0);
    for (const RecordPiece& p : plan) {
        if (p.kind == RecordPiece::Kind::Copy)
            w = std::max(w, p.from + p.length);
        else if (p.kind == RecordPiece::Kind::Convert)
            w = std::max(w, p.from + p.readLength);
    }
    return w;
}

#ifdef __linux__
// Where a read of a mapped source that the file no longer holds returns to.
thread_local sigjmp_buf* t_mapRecovery = nullptr;

void onBusError(int sig) {
    if (t_mapRecovery)
        ::siglongjmp(*t_mapRecovery, 1);
    ::signal(sig, SIG_DFL); // not ours: the error it is
    ::raise(sig);
}
#endif

// Runs work, which reads a SourceMap; false when a read reached a part of the
// file that another program cut off meanwhile (work is left where it was).
// Kept apart so that nothing of the caller's lives in the frame the jump
// returns to; work must make no object that needs its destructor run.
[[gnu::noinline]] bool survivesBusErrors(const std::function<void()>& work) {
#ifdef __linux__
    sigjmp_buf recovery;
    if (sigsetjmp(recovery, 1) != 0) {
        t_mapRecovery = nullptr;
        return false;
    }
    t_mapRecovery = &recovery;
    work();
    t_mapRecovery = nullptr;
#else
    work();
#endif
    return true;
}

// The source of a rewrite mapped into memory, read in place instead of being
// copied into a buffer first: only for a file that the rewrite replaces (a
// command-line edit, under the writer lock), whose pages it lets go as it
// passes them. Another program may still cut the file short while it is
// mapped; the bus error of reading past its new end is caught and the
// rewrite fails as a short read would make it fail.
class SourceMap {
public:
    SourceMap(const FileStream& src, bool wanted) {
#ifdef __linux__
        const std::int64_t size = src.size();
        if (!wanted || size <= 0)
            return;
        struct sigaction action {};
        action.sa_handler = onBusError;
        sigemptyset(&action.sa_mask);
        if (::sigaction(SIGBUS, &action, &m_previous) != 0)
            return;
        void* p =
            ::mmap(nullptr, static_cast<std::size_t>(size), PROT_READ, MAP_SHARED, src.fd(), 0);
        if (p == MAP_FAILED) {
            ::sigaction(SIGBUS, &m_previous, nullptr);
            return; // read through the buffer instead
        }
        ::madvise(p, static_cast<std::size_t>(size), MADV_SEQUENTIAL);
        m_data = static_cast<const std::uint8_t*>(p);
        m_size = size;
#else
        (void)src;
        (void)wanted;
#endif
    }
    ~SourceMap() {
#ifdef __linux__
        if (m_data) {
            ::munmap(const_cast<std::uint8_t*>(m_data), static_cast<std::size_t>(m_size));
            ::sigaction(SIGBUS, &m_previous, nullptr);
        }
#endif
    }
    SourceMap(const SourceMap&) = delete;
    SourceMap& operator=(const SourceMap&) = delete;
    // The bytes [pos, pos + n) in place, or nullptr when they are not all mapped.
    const std::uint8_t* at(std::int64_t pos, std::int64_t n) const {
        return m_data && pos >= 0 && n <= m_size - pos ? m_data + pos : nullptr;
    }
    const std::uint8_t* data() const {
        return m_data;
    }

private:
    const std::uint8_t* m_data = nullptr;
    std::int64_t m_size = 0;
#ifdef __linux__
    struct sigaction m_previous {};
#endif
};

// Records too large for the buffer: each piece is streamed on its own.
bool writeLargeRecords(RewriteSink& sink, const FileStream& src, std::int64_t begin,
                       std::int64_t count, std::int64_t recordLength,
                       const std::vector<RecordPiece>& plan, const Locale& loc) {
    Converter conv{loc};
    std::array<std::uint8_t, kMaxValueBytes> in{};
    for (std::int64_t r = 0; r < count; ++r) {
        const std::int64_t base = begin + r * recordLength;
        for (const RecordPiece& p : plan) {
            bool ok = true;
            switch (p.kind) {
            case RecordPiece::Kind::Copy:
                ok = sink.copyRange(src, base + p.from, p.length);
                break;
            case RecordPiece::Kind::Zero:
                ok = sink.appendZeros(p.length);
                break;
            case RecordPiece::Kind::Bytes:
                ok = sink.append(p.bytes.data(), static_cast<std::size_t>(p.length));
                break;
            case RecordPiece::Kind::Convert: {
                in.fill(0);
                const std::size_t n =
                    std::min<std::size_t>(static_cast<std::size_t>(p.readLength), in.size());
                const std::size_t got =
                    src.readAt(base + p.from, std::span<std::uint8_t>(in.data(), n));
                if (got < n && base + p.from + static_cast<std::int64_t>(got) < src.size())
                    return sink.fail(src.lastError());
                if (!conv.run(p, in.data(), n))
                    return false;
                ok = sink.append(conv.buf.data(), static_cast<std::size_t>(p.length));
                break;
            }
            }
            if (!ok)
                return false;
        }
    }
    return true;
}

} // namespace

bool writeRecords(RewriteSink& sink, const FileStream& src, std::int64_t begin, std::int64_t count,
                  std::int64_t recordLength, const std::vector<RecordPiece>& plan,
                  const Locale& loc) {
    if (count <= 0)
        return true;
    std::int64_t outLength = 0;
    for (const RecordPiece& p : plan)
        outLength += p.length;
    const std::int64_t window = planWindow(plan, recordLength);
    const std::int64_t block = static_cast<std::int64_t>(RewriteSink::bufferSize());
    if (window > block / 2 || outLength > block / 2 || recordLength <= 0)
        return writeLargeRecords(sink, src, begin, count, recordLength, plan, loc);

    Converter conv{loc};
    std::vector<IntegerConversion> fast;
    for (const RecordPiece& p : plan)
        fast.emplace_back(p);
    // Whole blocks of records are read with one call and their output is
    // reserved in the sink at once.
    const std::int64_t perBlock = std::min(
        count, std::max<std::int64_t>(1, block / std::max({recordLength, window, outLength})));
    std::vector<std::uint8_t> in(static_cast<std::size_t>((perBlock - 1) * recordLength + window) +
                                 RewriteSink::kCopySlack);
    const std::int64_t srcSize = src.size();
    const SourceMap map(src, sink.releasesSource());
    const std::size_t outLen = static_cast<std::size_t>(outLength);
    auto blocks = [&]() -> bool {
        for (std::int64_t r0 = 0; r0 < count; r0 += perBlock) {
            const std::int64_t k = std::min(perBlock, count - r0);
            const std::int64_t pos = begin + r0 * recordLength;
            const std::size_t want = static_cast<std::size_t>((k - 1) * recordLength + window);
            // In place where the block and the slack of its last moves are in
            // the file; through the buffer anywhere else.
            const std::uint8_t* block =
                map.at(pos, static_cast<std::int64_t>(want + RewriteSink::kCopySlack));
            if (!block) {
                std::size_t got = 0;
                if (pos < srcSize) {
                    got = src.readAt(pos, std::span<std::uint8_t>(in.data(), want));
                    if (got < want && pos + static_cast<std::int64_t>(got) < srcSize)
                        return sink.fail(src.lastError());
                }
                if (got < want)
                    std::memset(in.data() + got, 0, want - got);
                block = in.data();
            }
            sink.sourceRead(src, pos, k * recordLength, map.data());
            std::uint8_t* out = sink.reserve(outLen * static_cast<std::size_t>(k));
            if (!out)
                return false;
            for (std::int64_t r = 0; r < k; ++r) {
                const std::uint8_t* rec = block + r * recordLength;
                for (std::size_t pi = 0; pi < plan.size(); ++pi) {
                    const RecordPiece& p = plan[pi];
                    const std::size_t n = static_cast<std::size_t>(p.length);
                    switch (p.kind) {
                    case RecordPiece::Kind::Copy:
                        // Short pieces are copied as one fixed-size move; what it
                        // writes past the piece is overwritten by the next one or
                        // lands in the buffers' slack.
                        if (n <= RewriteSink::kCopySlack)
                            std::memcpy(out, rec + p.from, RewriteSink::kCopySlack);
                        else
                            std::memcpy(out, rec + p.from, n);
                        break;
                    case RecordPiece::Kind::Zero:
                        std::memset(out, 0, n);
                        break;
                    case RecordPiece::Kind::Bytes:
                        std::memcpy(out, p.bytes.data(), n);
                        break;
                    case RecordPiece::Kind::Convert:
                        if (fast[pi].usable) {
                            if (!fast[pi].run(rec + p.from, out)) {
                                if (p.failOnError)
                                    return false;
                                std::memset(out, 0, n);
                            }
                            break;
                        }
                        if (!conv.run(p, rec + p.from, static_cast<std::size_t>(window - p.from)))
                            return false;
                        std::memcpy(out, conv.buf.data(), n);
                        break;
                    }
                    out += n;
                }
            }
        }
        return true;
    };
    if (!map.data())
        return blocks();
    bool ok = false;
    if (!survivesBusErrors([&] { ok = blocks(); }))
        return sink.fail(src.path() + " was cut short by another program while it was read");
    return ok;
}

RecordShape recordShape(Segment& seg, std::int64_t fileSize) {
    if (seg.anomaly)
        return {1, seg.length};
    const std::int64_t r = computeRecordCount(&seg, fileSize);
    return {std::max<std::int64_t>(r, 0), seg.recordLength};
}

// ---- skeleton ----------------------------------------------------------------

bool startRewrite(WorkingFile& wf, RewriteSink& sink, FileResult& result) {
    if (!wf.stream.isOpen()) {
        result.error = "No working file is open";
        return false;
    }
    if (wf.rewriteTarget) {
        const auto target = std::exchange(wf.rewriteTarget, nullptr);
        FileStream out;
        std::string name;
        if (!target(out, name, result.error)) {
            if (result.error.empty())
                result.error = "Unknown error";
            return false;
        }
        sink.attach(std::move(out), 0, std::move(name), true);
        sink.releaseSourceAsRead(std::exchange(wf.rewriteReplacesSource, false));
        return true;
    }
    // The name search with reuse: the first name that is free, or whose file
    // is a leftover nobody holds. A leftover is taken over and written over in
    // place rather than deleted and made anew, which spares freeing and
    // allocating all its blocks again; what lies past the new end is cut off
    // when the file is finished.
    std::string dir = wf.tempDir;
#ifdef _WIN32
    if (!dir.empty() && dir.back() != '/' && dir.back() != '\\')
        dir += '/';
#else
    if (!dir.empty() && dir.back() != '/')
        dir += '/';
#endif
    for (long n = 0; n < 1000000; ++n) {
        const std::string name = dir + "~qzt" + std::to_string(n) + ".tmp";
#ifdef _WIN32
        if (win::nameTaken(name)) { // a dangling link exists too
#else
        struct stat st {};
        if (::lstat(name.c_str(), &st) == 0) { // a dangling link exists too
#endif
            if (sink.adopt(name))
                return true;
            continue;
        }
        if (sink.create(name, true))
            return true;
        if (sink.nameWasTaken()) {
            sink.clearError(); // another instance was quicker: the next name
            continue;
        }
        result.error = sink.error();
        sink.abandon();
        return false;
    }
    result.error = "No free working file name in " + wf.tempDir;
    return false;
}

FileResult finishRewrite(WorkingFile& wf, RewriteSink& sink, bool built,
                         const RewriteFinish& finish) {
    FileResult r;
    const std::int64_t oldSize = wf.stream.size();
    if (!built || !sink.finish()) {
        r.error = sink.error().empty() ? std::string("Unknown error") : sink.error();
        sink.abandon();
        return r;
    }
    if (finish && !finish(sink.stream(), r.error)) {
        if (r.error.empty())
            r.error = "Unknown error";
        sink.abandon();
        return r;
    }
    r.delta = sink.written() - oldSize;
    // The old file stays on disk, open and locked, until its holder lets it
    // go (removeSupersededCopies) or keeps it for an undo.
    if (!wf.name.empty())
        wf.superseded.push_back({wf.name, std::move(wf.stream)});
    wf.stream.close();
    // A file handed over by wf.rewriteTarget belongs to whoever gave it.
    const bool handedOver = sink.attached();
    wf.stream = sink.takeStream();
    wf.name = handedOver ? std::string() : sink.path();
    r.ok = true;
    return r;
}

// ---- the rewrites ------------------------------------------------------------

namespace {

bool fitsFile(std::int64_t size) {
    return size >= 0 && size <= kMaxFileSize;
}

const char* kTooBigText = "The data file would reach 2 GiB, which the structure cannot address";

// Adds a copy of [from, from + len) of a record of recordLength bytes; what
// lies outside the record is written as zeros. Adjacent copies are merged.
void addCopy(std::vector<RecordPiece>& plan, std::int64_t from, std::int64_t len,
             std::int64_t recordLength) {
    if (len <= 0)
        return;
    std::int64_t inside = 0;
    if (from >= 0 && from < recordLength)
        inside = std::min(len, recordLength - from);
    if (inside > 0) {
        if (!plan.empty() && plan.back().kind == RecordPiece::Kind::Copy &&
            plan.back().from + plan.back().length == from) {
            plan.back().length += inside;
        } else {
            RecordPiece p;
            p.kind = RecordPiece::Kind::Copy;
            p.from = from;
            p.length = inside;
            plan.push_back(std::move(p));
        }
    }
    if (len > inside) {
        RecordPiece z;
        z.kind = RecordPiece::Kind::Zero;
        z.length = len - inside;
        plan.push_back(std::move(z));
    }
}

void copyShape(const Segment& from, Segment& to) {
    to.anomaly = from.anomaly;
    to.toFilesEnd = from.toFilesEnd;
    to.begin = from.begin;
    to.length = from.length;
    to.recordLength = from.recordLength;
    to.recordCount = from.recordCount;
}

bool startFits(std::int64_t start) {
    return start >= 0 && start <= std::numeric_limits<std::uint16_t>::max();
}

// A segment read from a damaged type file may have negative numbers; its
// records cannot be laid out, so no rewrite touches it.
std::optional<std::string> shapeProblem(const Segment& seg) {
    if (seg.begin < 0)
        return "The segment begins before the start of the file";
    if (seg.length < 0 || seg.recordLength < 0)
        return "The segment's length or record length is negative";
    return std::nullopt;
}

// The records of a segment as a field rewrite sees them, worked out on a copy
// of its shape so that the segment itself changes only after the new working
// file is complete.
struct FieldRewrite {
    Segment probe;
    std::int64_t oldSize = 0;
    std::int64_t R = 0; // records
    std::int64_t S = 0; // bytes per record
};

std::optional<std::string> prepareFieldRewrite(const WorkingFile& wf, const Segment& seg,
                                               FieldRewrite& fr) {
    if (auto problem = shapeProblem(seg))
        return problem;
    fr.oldSize = wf.stream.size();
    copyShape(seg, fr.probe);
    const RecordShape shape = recordShape(fr.probe, fr.oldSize);
    fr.R = shape.count;
    fr.S = shape.length;
    return std::nullopt;
}

// Copies what precedes the segment, its records through the plan, and the
// rest; on success the segment takes the counted length and record count.
// planFailed (when given) tells apart a record plan that failed on its own (a
// conversion) from a failure of the file.
FileResult rewriteFieldRecords(WorkingFile& wf, Segment& seg, const FieldRewrite& fr,
                               std::int64_t newSize, const std::vector<RecordPiece>& plan,
                               const Locale& loc, const Progress& progress,
                               bool* planFailed = nullptr) {
    FileResult r = runRewrite(wf, newSize, progress, [&](RewriteSink& sink, const FileStream& src) {
        if (!sink.copyRange(src, 0, seg.begin))
            return false;
        if (!writeRecords(sink, src, seg.begin, fr.R, fr.S, plan, loc)) {
            if (planFailed)
                *planFailed = sink.error().empty();
            return false;
        }
        return sink.copyRest(src, seg.begin + fr.R * fr.S);
    });
    if (r.ok) {
        seg.length = fr.probe.length;
        seg.recordCount = fr.probe.recordCount;
    }
    return r;
}

} // namespace

FileResult insertRecords(WorkingFile& wf, Segment& seg, std::int64_t index, std::int64_t count,
                         bool atEnd, bool blank, const Progress& progress,
                         const RewriteFinish& finish) {
    if (auto problem = shapeProblem(seg))
        return refused(*problem);
    const std::int64_t S = seg.recordLength;
    const std::int64_t rc = seg.recordCount;
    if (S <= 0)
        return refused("The segment's record length is 0");
    if (count < 0)
        return refused("The number of records is negative");
    if (count > kMaxFileSize)
        return refused(kTooBigText);
    if (atEnd)
        index = rc;
    if (index < 0 || index > rc)
        return refused("Record " + std::to_string(index) + " is not in the segment");
    const std::int64_t oldSize = wf.stream.size();
    const std::int64_t added = count * S;
    if (!fitsFile(oldSize + added) || std::int64_t{seg.length} + added > kMaxFileSize)
        return refused(kTooBigText);

    // The record the new ones copy (none: zeros). A record's length comes
    // from the type file and may be anything up to 2 GiB, so only a short one
    // is held in memory; a long one is copied from the file for every copy.
    const std::int64_t from = blank ? -1 : (atEnd ? rc - 1 : index);
    const std::int64_t at = seg.begin + from * S;
    std::vector<std::uint8_t> record;
    if (from >= 0 && S <= kKernelCopyMin) {
        record.assign(static_cast<std::size_t>(S), 0);
        // Bytes past the end of the file stay zero; a failed read is an error.
        const std::size_t got = wf.stream.readAt(at, record);
        if (got < record.size() && at + static_cast<std::int64_t>(got) < oldSize)
            return refused(wf.stream.lastError().empty() ? std::string("Read error")
                                                         : wf.stream.lastError());
    }
    const std::int64_t p = seg.begin + index * S;
    FileResult r = runRewrite(
        wf, oldSize + added, progress,
        [&](RewriteSink& sink, const FileStream& src) {
            if (!sink.copyRange(src, 0, p))
                return false;
            for (std::int64_t i = 0; i < count; ++i) {
                const bool ok = from < 0         ? sink.appendZeros(S)
                                : record.empty() ? sink.copyRange(src, at, S)
                                                 : sink.append(record.data(), record.size());
                if (!ok)
                    return false;
            }
            return sink.copyRest(src, p);
        },
        finish);
    if (!r.ok)
        return r;
    seg.recordCount = static_cast<std::int32_t>(rc + count);
    seg.length = static_cast<std::int32_t>(seg.length + added);
    r.delta = added;
    return r;
}

FileResult rewriteWorkingFile(WorkingFile& wf, const RewriteFinish& finish,
                              const Progress& progress) {
    return runRewrite(
        wf, wf.stream.size(), progress,
        [](RewriteSink& sink, const FileStream& src) { return sink.copyRest(src, 0); }, finish);
}

FileResult deleteRecords(WorkingFile& wf, Segment& seg, std::int64_t first, std::int64_t last,
                         const Progress& progress) {
    if (auto problem = shapeProblem(seg))
        return refused(*problem);
    const std::int64_t S = seg.recordLength;
    if (S <= 0)
        return refused("The segment's record length is 0");
    if (first < 0 || last < first || last >= seg.recordCount)
        return refused("Records " + std::to_string(first) + " to " + std::to_string(last) +
                       " are not in the segment");
    const std::int64_t n = last - first + 1;
    const std::int64_t oldSize = wf.stream.size();
    const std::int64_t cutFrom = seg.begin + first * S;
    const std::int64_t cutTo = seg.begin + (last + 1) * S;
    FileResult r =
        runRewrite(wf, oldSize - n * S, progress, [&](RewriteSink& sink, const FileStream& src) {
            return sink.copyRange(src, 0, cutFrom) && sink.copyRest(src, cutTo);
        });
    if (!r.ok)
        return r;
    seg.recordCount = static_cast<std::int32_t>(seg.recordCount - n);
    seg.length = static_cast<std::int32_t>(seg.length - n * S);
    r.delta = -n * S;
    return r;
}

FileResult insertEntryBytes(WorkingFile& wf, Segment& seg, const std::vector<TypeEntry>& entries,
                            std::int64_t offset, int position, const Progress& progress) {
    FieldRewrite fr;
    if (auto problem = prepareFieldRewrite(wf, seg, fr))
        return refused(*problem);
    const std::int64_t oldSize = fr.oldSize, R = fr.R, S = fr.S;
    if (offset < 0 || offset > S)
        return refused("Offset " + std::to_string(offset) + " is not inside the record");
    std::int64_t T = 0;
    for (const TypeEntry& e : entries)
        T += e.length;
    const std::size_t pos = position < 0 || static_cast<std::size_t>(position) > seg.entries.size()
                                ? seg.entries.size()
                                : static_cast<std::size_t>(position);
    for (std::size_t i = pos; i < seg.entries.size(); ++i)
        if (!startFits(seg.entries[i].start + T))
            return refused("A field would start past 65535 bytes into the record");
    if (!startFits(offset + T))
        return refused("A field would start past 65535 bytes into the record");
    if (!fitsFile(oldSize + T * R) || S + T > kMaxFileSize ||
        fr.probe.length + T * R > kMaxFileSize)
        return refused(kTooBigText);

    std::vector<RecordPiece> plan;
    addCopy(plan, 0, offset, S);
    // A pasted field may come from a longer record: its bytes are taken at its
    // offset from this record's start even when that lies past the record.
    for (const TypeEntry& e : entries)
        addCopy(plan, e.start, e.length, std::numeric_limits<std::int64_t>::max());
    addCopy(plan, offset, S - offset, S);
    FileResult r =
        rewriteFieldRecords(wf, seg, fr, oldSize + T * R, plan, defaultLocale(), progress);
    if (!r.ok)
        return r;
    for (std::size_t i = pos; i < seg.entries.size(); ++i)
        seg.entries[i].start = static_cast<std::uint16_t>(seg.entries[i].start + T);
    std::vector<TypeEntry> copies = entries;
    std::int64_t at = offset;
    for (TypeEntry& c : copies) {
        c.start = static_cast<std::uint16_t>(at);
        at += c.length;
    }
    seg.entries.insert(seg.entries.begin() + static_cast<std::ptrdiff_t>(pos), copies.begin(),
                       copies.end());
    seg.recordLength = static_cast<std::int32_t>(seg.recordLength + T);
    seg.length = static_cast<std::int32_t>(seg.length + T * R);
    r.delta = T * R;
    return r;
}

FileResult deleteEntryBytes(WorkingFile& wf, Segment& seg, const std::vector<std::size_t>& indices,
                            const Progress& progress) {
    std::vector<std::size_t> idx = indices;
    std::sort(idx.begin(), idx.end());
    idx.erase(std::unique(idx.begin(), idx.end()), idx.end());
    if (!idx.empty() && idx.back() >= seg.entries.size())
        return refused("Field " + std::to_string(idx.back()) + " is not in the segment");
    FieldRewrite fr;
    if (auto problem = prepareFieldRewrite(wf, seg, fr))
        return refused(*problem);
    const std::int64_t oldSize = fr.oldSize, R = fr.R, S = fr.S;

    // The removed bytes of a record: the union of the deleted fields inside
    // it, so that fields which overlap are not counted (or copied) twice.
    std::vector<std::pair<std::int64_t, std::int64_t>> cut;
    for (std::size_t i : idx) {
        const std::int64_t a = std::clamp<std::int64_t>(seg.entries[i].start, 0, S);
        const std::int64_t b = std::clamp<std::int64_t>(seg.entries[i].end(), 0, S);
        if (b > a)
            cut.emplace_back(a, b);
    }
    std::sort(cut.begin(), cut.end());
    std::vector<std::pair<std::int64_t, std::int64_t>> merged;
    for (const auto& c : cut) {
        if (!merged.empty() && c.first <= merged.back().second)
            merged.back().second = std::max(merged.back().second, c.second);
        else
            merged.push_back(c);
    }
    std::int64_t T = 0;
    std::vector<RecordPiece> plan;
    std::int64_t cursor = 0;
    for (const auto& m : merged) {
        addCopy(plan, cursor, m.first - cursor, S);
        cursor = m.second;
        T += m.second - m.first;
    }
    addCopy(plan, cursor, S - cursor, S);
    auto removedBefore = [&](std::int64_t start) {
        std::int64_t n = 0;
        for (const auto& m : merged)
            n += std::clamp<std::int64_t>(start, m.first, m.second) - m.first;
        return n;
    };

    FileResult r =
        rewriteFieldRecords(wf, seg, fr, oldSize - T * R, plan, defaultLocale(), progress);
    if (!r.ok)
        return r;
    if (seg.anomaly)
        seg.recordLength = seg.length;
    for (TypeEntry& e : seg.entries)
        e.start = static_cast<std::uint16_t>(e.start - removedBefore(e.start));
    for (auto it = idx.rbegin(); it != idx.rend(); ++it)
        seg.entries.erase(seg.entries.begin() + static_cast<std::ptrdiff_t>(*it));
    seg.recordLength = static_cast<std::int32_t>(seg.recordLength - T);
    seg.length = static_cast<std::int32_t>(seg.length - T * R);
    r.delta = -T * R;
    return r;
}

bool conversionKeepsBytes(const TypeEntry& from, const TypeEntry& to) {
    // The integer conversion keeps the low bytes of a value that fits in 32
    // bits, which every integer of 4 bytes or less does: between kinds of one
    // size, the bytes come back as they were read.
    bool fromSigned = false;
    const int n = plainIntegerBytes(from.kind, fromSigned);
    return n > 0 && n <= 4 && integerTargetBytes(to.kind) == n && from.length == n &&
           to.length == n;
}

FileResult changeEntryKind(WorkingFile& wf, Segment& seg, std::size_t index,
                           const TypeEntry& replacement, const Locale& loc,
                           const Progress& progress) {
    if (index >= seg.entries.size())
        return refused("Field " + std::to_string(index) + " is not in the segment");
    const TypeEntry old = seg.entries[index];
    if (old.length > kMaxValueBytes || replacement.length > kMaxValueBytes)
        return refused("Fields longer than 255 bytes cannot be converted");
    FieldRewrite fr;
    if (auto problem = prepareFieldRewrite(wf, seg, fr))
        return refused(*problem);
    const std::int64_t oldSize = fr.oldSize, R = fr.R, S = fr.S;
    if (old.end() > S)
        return refused("The field runs past the end of its record");
    const std::int64_t diff = std::int64_t{replacement.length} - old.length;
    for (const TypeEntry& e : seg.entries)
        if (e.start > old.start && !startFits(e.start + diff))
            return refused("A field would start past 65535 bytes into the record");
    if (!fitsFile(oldSize + diff * R) || fr.probe.length + diff * R > kMaxFileSize)
        return refused(kTooBigText);

    FileResult r;
    if (conversionKeepsBytes(old, replacement) && seg.begin + R * S <= oldSize) {
        // The rewrite would copy the file as it is.
        seg.length = fr.probe.length;
        seg.recordCount = fr.probe.recordCount;
        r.ok = true;
    } else {
        std::vector<RecordPiece> plan;
        addCopy(plan, 0, old.start, S);
        RecordPiece c;
        c.kind = RecordPiece::Kind::Convert;
        c.from = old.start;
        c.readLength = old.length;
        c.length = replacement.length;
        c.fromKind = old.kind;
        c.fromLength = old.length;
        c.toKind = replacement.kind;
        c.toLength = replacement.length;
        plan.push_back(c);
        addCopy(plan, old.end(), S - old.end(), S);
        r = rewriteFieldRecords(wf, seg, fr, oldSize + diff * R, plan, loc, progress);
        if (!r.ok)
            return r;
    }
    for (TypeEntry& e : seg.entries)
        if (e.start > old.start)
            e.start = static_cast<std::uint16_t>(e.start + diff);
    seg.entries[index] = replacement;
    seg.entries[index].start = old.start;
    seg.recordLength = static_cast<std::int32_t>(S + diff);
    seg.length = static_cast<std::int32_t>(seg.length + R * diff);
    r.delta = R * diff;
    return r;
}

FileResult insertNewEntry(WorkingFile& wf, Segment& seg, const TypeEntry& entry,
                          std::span<const std::uint8_t> defaultValue, const TypeEntry* source,
                          const Locale& loc, const Progress& progress) {
    if (entry.length > kMaxValueBytes)
        return refused("Fields longer than 255 bytes cannot be inserted");
    if (source && source->length > kMaxValueBytes)
        return refused("Fields longer than 255 bytes cannot be converted");
    FieldRewrite fr;
    if (auto problem = prepareFieldRewrite(wf, seg, fr))
        return refused(*problem);
    const std::int64_t oldSize = fr.oldSize, R = fr.R, S = fr.S;
    const std::int64_t L = entry.length;
    if (entry.start > S)
        return refused("The field would start past the end of its record");
    for (const TypeEntry& e : seg.entries)
        if (e.start >= entry.start && !startFits(e.start + L))
            return refused("A field would start past 65535 bytes into the record");
    if (!fitsFile(oldSize + L * R) || S + L > kMaxFileSize ||
        fr.probe.length + L * R > kMaxFileSize)
        return refused(kTooBigText);

    std::vector<RecordPiece> plan;
    addCopy(plan, 0, entry.start, S);
    RecordPiece v;
    v.length = L;
    if (source) {
        v.kind = RecordPiece::Kind::Convert;
        v.from = source->start;
        // The source's own bytes: reading the new field's length instead would
        // cut a wider value (a float, a long string) before converting it.
        v.readLength = source->length;
        v.fromKind = source->kind;
        v.fromLength = source->length;
        v.toKind = entry.kind;
        v.toLength = entry.length;
        v.failOnError = true;
    } else {
        v.kind = RecordPiece::Kind::Bytes;
        v.bytes.assign(static_cast<std::size_t>(L), 0);
        std::copy_n(defaultValue.begin(), std::min(defaultValue.size(), v.bytes.size()),
                    v.bytes.begin());
    }
    plan.push_back(v);
    addCopy(plan, entry.start, S - entry.start, S);
    bool convertFailed = false;
    FileResult r =
        rewriteFieldRecords(wf, seg, fr, oldSize + L * R, plan, loc, progress, &convertFailed);
    if (!r.ok) {
        if (convertFailed)
            r.error = conversionError(v);
        return r;
    }
    // Every field at or after the new one moves with its bytes, whether or not
    // one starts exactly where the new field goes.
    auto at = std::find_if(seg.entries.begin(), seg.entries.end(),
                           [&](const TypeEntry& e) { return e.start == entry.start; });
    const std::ptrdiff_t pos = at - seg.entries.begin();
    for (TypeEntry& e : seg.entries)
        if (e.start >= entry.start)
            e.start = static_cast<std::uint16_t>(e.start + L);
    seg.entries.insert(seg.entries.begin() + pos, entry);
    seg.recordLength = static_cast<std::int32_t>(S + L);
    seg.length = static_cast<std::int32_t>(seg.length + L * R);
    r.delta = L * R;
    return r;
}

FileResult deleteSegmentBytes(WorkingFile& wf, const Segment& seg, const Progress& progress) {
    if (seg.begin < 0 || seg.length < 0)
        return refused("The segment lies outside the file");
    const std::int64_t oldSize = wf.stream.size();
    const std::int64_t from = std::min<std::int64_t>(seg.begin, oldSize);
    const std::int64_t to = std::min<std::int64_t>(seg.end(), oldSize);
    return runRewrite(wf, oldSize - (to - from), progress,
                      [&](RewriteSink& sink, const FileStream& src) {
                          return sink.copyRange(src, 0, from) && sink.copyRest(src, to);
                      });
}

FileResult insertSegmentBytes(WorkingFile& wf, SegmentList& list, Segment& seg,
                              std::optional<std::int32_t> offset, const Progress& progress) {
    const std::int64_t oldSize = wf.stream.size();
    const std::int64_t len = seg.length;
    if (len < 0)
        return refused("The segment's length is negative");
    if (offset && (*offset < 0 || *offset > oldSize))
        return refused("Offset " + std::to_string(*offset) + " is not inside the file");
    if (!fitsFile(oldSize + len))
        return refused(kTooBigText);
    for (const auto& s : list)
        if (offset && s->begin >= *offset && s->begin + len > kMaxFileSize)
            return refused(kTooBigText);
    const std::int64_t from = seg.begin;
    FileResult r =
        runRewrite(wf, oldSize + len, progress, [&](RewriteSink& sink, const FileStream& src) {
            if (offset)
                return sink.copyRange(src, 0, *offset) && sink.copyRange(src, from, len) &&
                       sink.copyRest(src, *offset);
            return sink.copyRest(src, 0) && sink.copyRange(src, from, len);
        });
    if (!r.ok)
        return r;
    if (offset) {
        for (auto& s : list)
            if (s->begin >= *offset)
                s->begin = static_cast<std::int32_t>(s->begin + len);
        seg.begin = *offset;
    } else {
        seg.begin = static_cast<std::int32_t>(oldSize);
    }
    r.delta = len;
    return r;
}

} // namespace vm
