// Feeds arbitrary bytes to the type file reader as a file on disk, then writes
// what it read and reads that back: a hostile file must neither crash the
// reader nor make it allocate more than the file holds, and whatever it accepts
// must survive a write and a read unchanged.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include <unistd.h>

#include "typefile.h"

namespace {

std::string scratchPath(const char* tag) {
    return std::string("/tmp/vm-fuzz-") + tag + "-" + std::to_string(::getpid()) + ".type";
}

bool writeAll(const std::string& path, const std::uint8_t* data, std::size_t size) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f)
        return false;
    const bool ok = std::fwrite(data, 1, size, f) == size;
    return std::fclose(f) == 0 && ok;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::string in = scratchPath("in");
    static const std::string out = scratchPath("out");
    static const bool cleanup = [] {
        std::atexit([] {
            std::remove(in.c_str());
            std::remove(out.c_str());
        });
        return true;
    }();
    (void)cleanup;
    if (!writeAll(in, data, size))
        return 0;
    const std::int64_t dataSize = size > 0 ? data[0] * 977 : 0;
    const vm::TypeReadResult r = vm::readTypeFile(in, dataSize);
    if (!r.ok)
        return 0;
    std::size_t entries = 0;
    for (const auto& s : r.content.segments)
        entries += s->entries.size();
    // Every segment or entry read must come from bytes of the file.
    if (!r.content.legacy && (r.content.segments.size() + entries) * 50 > size + 50)
        std::abort();
    const vm::TypeWriteResult w =
        vm::writeTypeFile(r.content.segments, r.content.settings, r.content.dataHint, out);
    if (!w.ok)
        std::abort();
    const vm::TypeReadResult back = vm::readTypeFile(out, dataSize);
    if (!back.ok || back.content.segments.size() != r.content.segments.size())
        std::abort();
    const std::string a = vm::typeFileImage(r.content.segments, r.content.settings, r.content.dataHint);
    const std::string b =
        vm::typeFileImage(back.content.segments, back.content.settings, back.content.dataHint);
    if (a != b)
        std::abort();
    return 0;
}
