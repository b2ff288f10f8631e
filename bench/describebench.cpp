// describebench: scores describeRecords on a corpus of known layouts and times
// it on a 1 GiB file.
//
//   python3 bench/describe_corpus.py FOLDER      (makes the corpus and its manifest)
//   describebench FOLDER [--verbose] [--no-gib]
//
// For every file of FOLDER/manifest.json: is the record length exact, is the
// header length exact, and how many of the true fields have a proposed field
// of the same start and length whose kind reads every record as the same
// value (integers of any width and display as the same number, floating
// numbers, dates, currency, text up to its first zero, raw bytes). Fields count
// only when record and header length are right. Then a 1 GiB file of records
// is written to FOLDER, dropped from the page cache, and described cold and
// warm; it is deleted afterwards.
#include <algorithm>
#include <bit>
#include <chrono>
#include <ctime>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <string>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

#include <nlohmann/json.hpp>

#include "cachedsource.h"
#include "describe.h"
#include "filestream.h"
#include "kinds.h"

using namespace vm;
using json = nlohmann::json;

namespace {

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point t0) {
    return std::chrono::duration<double>(Clock::now() - t0).count();
}

std::uint64_t readLE(const std::uint8_t* p, int n) {
    std::uint64_t v = 0;
    for (int i = 0; i < n; ++i)
        v |= static_cast<std::uint64_t>(p[i]) << (8 * i);
    return v;
}

// The value a kind reads from bytes, in a form that compares across kinds.
std::string canonical(int kind, const std::uint8_t* b, int length) {
    char buf[64];
    const auto k = static_cast<TypeKind>(kind);
    switch (k) {
    case TypeKind::Signed1:
        return "I" + std::to_string(static_cast<std::int8_t>(b[0]));
    case TypeKind::Unsigned1:
    case TypeKind::Hex1:
    case TypeKind::Char1:
    case TypeKind::Bit1:
        return "I" + std::to_string(b[0]);
    case TypeKind::Signed2:
        return "I" + std::to_string(static_cast<std::int16_t>(readLE(b, 2)));
    case TypeKind::Unsigned2:
        return "I" + std::to_string(readLE(b, 2));
    case TypeKind::Signed4:
        return "I" + std::to_string(static_cast<std::int32_t>(readLE(b, 4)));
    case TypeKind::Unsigned4:
        return "I" + std::to_string(readLE(b, 4));
    case TypeKind::Signed8:
        return "I" + std::to_string(static_cast<std::int64_t>(readLE(b, 8)));
    case TypeKind::Float4:
        std::snprintf(buf, sizeof buf, "R%.17g",
                      static_cast<double>(std::bit_cast<float>(static_cast<std::uint32_t>(readLE(b, 4)))));
        return buf;
    case TypeKind::Double8:
        std::snprintf(buf, sizeof buf, "R%.17g", std::bit_cast<double>(readLE(b, 8)));
        return buf;
    case TypeKind::DateTime8:
        std::snprintf(buf, sizeof buf, "D%.17g", std::bit_cast<double>(readLE(b, 8)));
        return buf;
    case TypeKind::Currency8:
        return "C" + std::to_string(static_cast<std::int64_t>(readLE(b, 8)));
    case TypeKind::String: {
        const auto* z = static_cast<const std::uint8_t*>(std::memchr(b, 0, static_cast<std::size_t>(length)));
        return "T" + std::string(reinterpret_cast<const char*>(b), z ? static_cast<std::size_t>(z - b)
                                                                     : static_cast<std::size_t>(length));
    }
    default:
        return "X" + std::string(reinterpret_cast<const char*>(b), static_cast<std::size_t>(length));
    }
}

struct Tally {
    int files = 0, lengthRight = 0, headerRight = 0, fields = 0, fieldsRight = 0;
    double worst = 0, worstCpu = 0;
    void add(const Tally& t) {
        files += t.files;
        lengthRight += t.lengthRight;
        headerRight += t.headerRight;
        fields += t.fields;
        fieldsRight += t.fieldsRight;
        worst = std::max(worst, t.worst);
        worstCpu = std::max(worstCpu, t.worstCpu);
    }
};

double pct(int a, int b) {
    return b ? 100.0 * a / b : 0.0;
}

void print(const std::string& name, const Tally& t) {
    std::printf("%-10s files %4d  record length %5.1f %%  header %5.1f %%  fields %5.1f %% of %5d"
                "  slowest %.3f s (processor %.3f s)\n",
                name.c_str(), t.files, pct(t.lengthRight, t.files), pct(t.headerRight, t.files),
                pct(t.fieldsRight, t.fields), t.fields, t.worst, t.worstCpu);
}

// True when a field reads as the same value in every record (at most 200,000,
// spread over the file).
bool sameValues(const ByteSource& f, std::int64_t first, int recordLength, std::int64_t records,
                int start, int length, int trueKind, int kind) {
    const std::int64_t step = std::max<std::int64_t>(1, records / 200000);
    std::vector<std::uint8_t> buf(static_cast<std::size_t>(std::max(length, 8)));
    for (std::int64_t r = 0; r < records; r += step) {
        std::fill(buf.begin(), buf.end(), 0);
        f.readAt(first + r * recordLength + start, std::span<std::uint8_t>(buf.data(), static_cast<std::size_t>(length)));
        if (canonical(trueKind, buf.data(), length) != canonical(kind, buf.data(), length))
            return false;
    }
    return true;
}

void timeGiB(const std::string& folder) {
    const std::string path = folder + "/gib.bin";
    {
        // Records of 48 bytes: counter, date, two floats, text, flags, padding.
        std::FILE* out = std::fopen(path.c_str(), "wb");
        if (!out) {
            std::printf("cannot write %s\n", path.c_str());
            return;
        }
        std::mt19937 rng(7);
        std::vector<std::uint8_t> block(48 << 16);
        const std::int64_t total = std::int64_t{1} << 30;
        std::uint32_t counter = 0;
        double when = 45000;
        static const char* names[] = {"PUMP 1", "PUMP 2", "VALVE", "MOTOR A", "SENSOR"};
        for (std::int64_t written = 0; written < total;) {
            for (std::size_t i = 0; i < block.size(); i += 48) {
                std::uint8_t* r = &block[i];
                std::memset(r, 0, 48);
                std::memcpy(r, &counter, 4);
                ++counter;
                when += (rng() % 1000) / 1e6;
                std::memcpy(r + 4, &when, 8);
                const float a = static_cast<float>(rng() % 100000) / 100.0f;
                const float b = static_cast<float>(rng() % 1000) / 1000.0f;
                std::memcpy(r + 12, &a, 4);
                std::memcpy(r + 16, &b, 4);
                const char* n = names[rng() % 5];
                std::memset(r + 20, ' ', 16);
                std::memcpy(r + 20, n, std::strlen(n));
                r[36] = static_cast<std::uint8_t>((rng() % 2) | ((rng() % 2) << 3) | ((rng() % 2) << 6));
            }
            const auto n = static_cast<std::size_t>(std::min<std::int64_t>(static_cast<std::int64_t>(block.size()), total - written));
            std::fwrite(block.data(), 1, n, out);
            written += static_cast<std::int64_t>(n);
        }
        std::fclose(out);
    }
    FileStream f;
    f.open(path, FileStream::Mode::Read);
    ::fdatasync(f.fd());
    ::posix_fadvise(f.fd(), 0, 0, POSIX_FADV_DONTNEED);
    for (const char* when : {"cold", "warm"}) {
        const auto t0 = Clock::now();
        const std::clock_t c0 = std::clock();
        const DescribeResult r = describeRecords(f, 0, -1);
        const double cpu = static_cast<double>(std::clock() - c0) / CLOCKS_PER_SEC;
        const double s = secondsSince(t0);
        std::printf("1 GiB file (%s cache): %.3f s (processor %.3f s), record length %d (true 48), "
                    "%zu fields\n",
                    when, s, cpu, r.ok ? r.proposals.front().recordLength : 0,
                    r.ok ? r.proposals.front().fields.size() : std::size_t{0});
    }
    f.close();
    std::filesystem::remove(path);
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: describebench FOLDER [--verbose] [--no-gib]\n");
        return 2;
    }
    const std::string folder = argv[1];
    bool verbose = false, gib = true;
    for (int i = 2; i < argc; ++i) {
        verbose = verbose || std::strcmp(argv[i], "--verbose") == 0;
        gib = gib && std::strcmp(argv[i], "--no-gib") != 0;
    }
    std::ifstream in(folder + "/manifest.json");
    if (!in) {
        std::fprintf(stderr, "no manifest.json in %s\n", folder.c_str());
        return 2;
    }
    const json manifest = json::parse(in);
    std::map<std::string, Tally> byFamily;
    std::map<std::string, std::pair<int, int>> byWhat; // right, all
    for (const json& m : manifest) {
        const std::string path = folder + "/" + m["file"].get<std::string>();
        FileStream f;
        if (!f.open(path, FileStream::Mode::Read)) {
            std::printf("%s: %s\n", path.c_str(), f.lastError().c_str());
            continue;
        }
        const auto t0 = Clock::now();
        const std::clock_t c0 = std::clock();
        const DescribeResult r = describeRecords(f, 0, -1);
        const double cpu = static_cast<double>(std::clock() - c0) / CLOCKS_PER_SEC;
        const double took = secondsSince(t0);
        if (verbose && cpu > 0.2)
            std::printf("%s: %.3f s processor time, %.3f s\n", m["file"].get<std::string>().c_str(),
                        cpu, took);
        Tally t;
        t.files = 1;
        t.worst = took;
        t.worstCpu = cpu;
        const int trueLength = m["recordLength"];
        const std::int64_t trueHeader = m["header"];
        const std::int64_t records = m["records"];
        const json& fields = m["fields"];
        t.fields = static_cast<int>(fields.size());
        if (r.ok) {
            const RecordProposal& p = r.proposals.front();
            t.lengthRight = p.recordLength == trueLength;
            t.headerRight = p.firstRecord == trueHeader;
            for (const json& tf : fields) {
                const int start = tf["start"], length = tf["length"];
                const int kind = *kindFromName(tf["kind"].get<std::string>());
                bool right = false;
                if (t.lengthRight && t.headerRight)
                    for (const FieldProposal& pf : p.fields)
                        if (pf.start == start && pf.length == length)
                            right = sameValues(CachedSource(f, std::size_t{1} << 20), trueHeader, trueLength, records, start, length,
                                               kind, pf.kind);
                t.fieldsRight += right;
                auto& w = byWhat[tf["what"].get<std::string>()];
                w.first += right;
                ++w.second;
            }
            if (verbose && (!t.lengthRight || !t.headerRight || t.fieldsRight < t.fields)) {
                std::printf("%s %s: length %d/%d header %lld/%lld fields %d/%d\n",
                            m["file"].get<std::string>().c_str(),
                            m["family"].get<std::string>().c_str(), p.recordLength, trueLength,
                            static_cast<long long>(p.firstRecord), static_cast<long long>(trueHeader),
                            t.fieldsRight, t.fields);
                if (t.lengthRight && t.headerRight) {
                    std::printf("   true:");
                    for (const json& tf : fields)
                        std::printf(" %d+%d %s(%s)", tf["start"].get<int>(), tf["length"].get<int>(),
                                    tf["kind"].get<std::string>().c_str(),
                                    tf["what"].get<std::string>().c_str());
                    std::printf("\n   got: ");
                    for (const FieldProposal& pf : p.fields)
                        std::printf(" %d+%d %s", pf.start, pf.length,
                                    std::string(kindName(pf.kind)).c_str());
                    std::printf("\n");
                }
            }
        }
        byFamily[m["family"].get<std::string>()].add(t);
    }
    Tally all;
    for (const auto& [name, t] : byFamily) {
        print(name, t);
        all.add(t);
    }
    print("all", all);
    if (verbose)
        for (const auto& [what, w] : byWhat)
            std::printf("  %-12s %4d of %4d right\n", what.c_str(), w.first, w.second);
    if (gib)
        timeGiB(folder);
    return 0;
}
