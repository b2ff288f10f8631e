#include "kinds.h"

namespace vm {

const std::array<KindInfo, kKindCount>& kindTable() {
    static const std::array<KindInfo, kKindCount> table{{
        {"1Bsigned", 1, false, 4},
        {"1Bunsigned", 1, false, 3},
        {"1BHex", 1, false, 2},
        {"1BChar", 1, false, 1},
        {"1BBit", 1, false, 8},
        {"2Bsigned", 2, false, 6},
        {"2Bunsigned", 2, false, 5},
        {"4Bsigned", 4, false, 11},
        {"4Bunsigned", 4, false, 10},
        {"4BFloat", 4, false, 21},
        {"8Bsigned", 8, false, 20},
        {"8BDouble", 8, false, 22},
        {"8BDateTime", 8, false, 19},
        {"8BCurrency", 8, false, 16},
        {"string", 10, true, 0},
        {"unKnow", 10, true, 0},
    }};
    return table;
}

const KindInfo* kindInfo(int code) {
    if (code < 0 || code >= kKindCount)
        return nullptr;
    return &kindTable()[static_cast<std::size_t>(code)];
}

std::string_view kindName(int code) {
    const KindInfo* k = kindInfo(code);
    return k ? k->name : std::string_view("******");
}

std::optional<int> kindFromName(std::string_view name) {
    for (int i = 0; i < kKindCount; ++i)
        if (kindTable()[static_cast<std::size_t>(i)].name == name)
            return i;
    return std::nullopt;
}

int kindByteSize(int code, int fieldLength) {
    const KindInfo* k = kindInfo(code);
    if (!k)
        return 0;
    return k->variableLength ? fieldLength : k->defaultLength;
}

int entryDisplayWidth(int code, int fieldLength) {
    const KindInfo* k = kindInfo(code);
    if (!k)
        return 0;
    if (k->displayWidth != 0)
        return k->displayWidth;
    if (code == static_cast<int>(TypeKind::String))
        return fieldLength;
    if (code == static_cast<int>(TypeKind::Unknown))
        return 3 * fieldLength;
    return 0;
}

bool isSignedKind(int code) {
    return code == 0 || code == 5 || code == 7 || code == 10;
}

bool isWholeNumberKind(int code) {
    return isSignedKind(code) || code == 1 || code == 6 || code == 8;
}

bool isFloatingKind(int code) {
    return code == 9 || code == 11 || code == 13;
}

} // namespace vm
