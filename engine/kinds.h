#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

namespace vm {

enum class TypeKind : std::uint8_t {
    Signed1 = 0,
    Unsigned1 = 1,
    Hex1 = 2,
    Char1 = 3,
    Bit1 = 4,
    Signed2 = 5,
    Unsigned2 = 6,
    Signed4 = 7,
    Unsigned4 = 8,
    Float4 = 9,
    Signed8 = 10,
    Double8 = 11,
    DateTime8 = 12,
    Currency8 = 13,
    String = 14,
    Unknown = 15,
};

inline constexpr int kKindCount = 16;
// The type file carries one data-hint flag per slot; slots 16 to 20 have no kind.
inline constexpr int kDataHintSlots = 21;

struct KindInfo {
    std::string_view name;
    int defaultLength;
    bool variableLength;
    int displayWidth; // 0: depends on the field's length
};

// The 16 kinds in code order; every kind list shows them in this order.
const std::array<KindInfo, kKindCount>& kindTable();
// nullptr for codes above 15.
const KindInfo* kindInfo(int code);
// The kind's name, or "******" for an unknown code.
std::string_view kindName(int code);
// Code of a kind name (exact match), or nothing.
std::optional<int> kindFromName(std::string_view name);
// Bytes that decoding reads for a field: the kind's own size for fixed kinds.
int kindByteSize(int code, int fieldLength);
// Characters a decoded value of a field needs.
int entryDisplayWidth(int code, int fieldLength);

// Kinds whose value is a whole number of 1, 2, 4 or 8 bytes, typed in
// decimal or hex: 1Bsigned, 1Bunsigned, 2Bsigned, 2Bunsigned, 4Bsigned,
// 4Bunsigned, 8Bsigned. isSignedKind: the signed ones of them.
bool isWholeNumberKind(int code);
bool isSignedKind(int code);
// Kinds whose value shows in the general floating format: 4BFloat, 8BDouble,
// 8BCurrency.
bool isFloatingKind(int code);

using DataHintFlags = std::array<bool, kDataHintSlots>;

} // namespace vm
