// Arbitrary bytes as a table in each format: the reader must get through any
// of them without reading or writing out of bounds, every value it gives must
// go through the cell rule without writing past the field, and the exact
// text of any field's bytes must read back to those bytes.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "cellformat.h"
#include "kinds.h"
#include "recordtable.h"
#include "tablereader.h"

namespace {

constexpr std::uint8_t kGuard = 0xA5;

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 3)
        return 0;
    const auto format = static_cast<vm::TableFormat>(data[0] % 3);
    const int kind = data[1] % vm::kKindCount;
    const int length = data[2] % 80;
    data += 3;
    size -= 3;

    // The field's bytes, read back through their exact text.
    std::vector<std::uint8_t> field(static_cast<std::size_t>(length));
    std::copy_n(data, std::min(size, field.size()), field.begin());
    const vm::Locale& loc = vm::defaultLocale();
    const vm::DateLayout dates(loc);
    std::string exact;
    std::vector<std::uint8_t> back(field.size() + 8 + 16, kGuard);
    const std::size_t room = std::max<std::size_t>(field.size(), 8);
    if (vm::exactValueText(field, kind, length, dates, loc, exact)) {
        const vm::CellBytes c =
            vm::tableCellBytes(exact, false, kind, length, std::span(back.data(), room), loc);
        if (c.action != vm::CellAction::Write || c.report.fit != vm::EncodeFit::Exact ||
            !std::equal(field.begin(), field.end(), back.begin()))
            std::abort();
    }

    // The table itself.
    const vm::MemorySource src(std::vector<std::uint8_t>(data, data + size));
    vm::TableReader reader(src, format);
    while (reader.next()) {
        for (const vm::TableCell& cell : reader.cells()) {
            std::fill(back.begin(), back.end(), kGuard);
            vm::tableCellBytes(cell.text, cell.hexObject, kind, length,
                               std::span(back.data(), room), loc);
            if (std::any_of(back.begin() + static_cast<std::ptrdiff_t>(room), back.end(),
                            [](std::uint8_t b) { return b != kGuard; }))
                std::abort();
        }
        if (reader.keys().size() > reader.cells().size())
            std::abort();
    }
    return 0;
}
