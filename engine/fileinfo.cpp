#include "fileinfo.h"

#include <cerrno>
#include <cstdio>
#include <ctime>

#ifdef _WIN32
#include <windows.h>

#include "platformfile.h"
#else
#include <fcntl.h>
#include <sys/stat.h>
#endif

#include "filestream.h"

namespace vm {

namespace {

bool localTime(std::int64_t seconds, std::tm& out) {
#ifdef _WIN32
    const __time64_t t = seconds;
    return ::_localtime64_s(&out, &t) == 0;
#else
    const std::time_t t = static_cast<std::time_t>(seconds);
    return ::localtime_r(&t, &out) != nullptr;
#endif
}

std::string datePart(const std::tm& t, const Locale& loc) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%04d%c%02d%c%02d", t.tm_year + 1900, loc.dateSeparator,
                  t.tm_mon + 1, loc.dateSeparator, t.tm_mday);
    return buf;
}

// A time the system cannot convert shows as the zero date-time of the program.
std::tm zeroDateTime() {
    std::tm t{};
    t.tm_year = 1899 - 1900;
    t.tm_mon = 11;
    t.tm_mday = 30;
    return t;
}

#ifdef _WIN32
std::int64_t unixSeconds(const FILETIME& ft) {
    // 100-nanosecond ticks since 1601-01-01.
    const std::int64_t ticks = static_cast<std::int64_t>(
        (static_cast<std::uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime);
    constexpr std::int64_t kEpochDiff = 116444736000000000LL;
    const std::int64_t since = ticks - kEpochDiff;
    return since >= 0 ? since / 10000000 : -((-since + 9999999) / 10000000);
}
#else
std::string nameOf(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}
#endif

} // namespace

FileFactsResult readFileFacts(const std::string& path) {
    FileFactsResult r;
    FileStream f;
    if (!f.open(path, FileStream::Mode::Read)) {
        r.error = "Cannot open " + path + ": " + f.lastError();
        return r;
    }
    FileFacts& facts = r.facts;
    facts.size = f.size();
    f.close();
#ifdef _WIN32
    WIN32_FILE_ATTRIBUTE_DATA d{};
    if (!::GetFileAttributesExW(win::widePath(path).c_str(), GetFileExInfoStandard, &d)) {
        r.error = "Cannot open " + path + ": " + win::lastErrorText();
        return r;
    }
    facts.created = unixSeconds(d.ftCreationTime);
    facts.modified = unixSeconds(d.ftLastWriteTime);
    facts.accessed = unixSeconds(d.ftLastAccessTime);
    facts.readOnly = (d.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0;
    facts.hidden = (d.dwFileAttributes & FILE_ATTRIBUTE_HIDDEN) != 0;
    facts.system = (d.dwFileAttributes & FILE_ATTRIBUTE_SYSTEM) != 0;
    facts.archive = (d.dwFileAttributes & FILE_ATTRIBUTE_ARCHIVE) != 0;
#else
    struct statx sx {};
    if (::statx(AT_FDCWD, path.c_str(), 0, STATX_BASIC_STATS | STATX_BTIME, &sx) != 0) {
        r.error = "Cannot open " + path + ": " + systemErrorText(errno);
        return r;
    }
    if ((sx.stx_mask & STATX_BTIME) != 0) {
        facts.created = sx.stx_btime.tv_sec;
    } else {
        facts.created = sx.stx_ctime.tv_sec;
        facts.createdIsStatusChange = true;
    }
    facts.modified = sx.stx_mtime.tv_sec;
    facts.accessed = sx.stx_atime.tv_sec;
    facts.readOnly = (sx.stx_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0;
    facts.hidden = nameOf(path).starts_with('.');
#endif
    r.ok = true;
    return r;
}

std::string formatFileTime(std::int64_t seconds, const Locale& loc) {
    std::tm t{};
    if (!localTime(seconds, t))
        t = zeroDateTime();
    char time[32];
    std::snprintf(time, sizeof time, "%02d%c%02d%c%02d", t.tm_hour, loc.timeSeparator, t.tm_min,
                  loc.timeSeparator, t.tm_sec);
    return datePart(t, loc) + "  " + time;
}

std::string formatFileDate(std::int64_t seconds, const Locale& loc) {
    std::tm t{};
    if (!localTime(seconds, t))
        t = zeroDateTime();
    return datePart(t, loc) + " ";
}

FileInfoTexts fileInfoTexts(const std::string& path, const FileFacts& facts, const Locale& loc) {
    return {path, std::to_string(facts.size), formatFileTime(facts.created, loc),
            formatFileTime(facts.modified, loc), formatFileDate(facts.accessed, loc)};
}

} // namespace vm
