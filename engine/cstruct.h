#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "model.h"
#include "segment.h"

// A C struct as the compiler laid it out, and the fields of one record made
// from it. The layout itself comes from the C import (engine/cimport, which
// asks libclang); the rules that turn it into fields need no compiler and
// live here.
namespace vm {

struct CMember;

// A C type reduced to what the mapping needs. Typedefs are already resolved;
// an enum is its underlying integer type.
struct CType {
    enum class Class {
        Signed,       // signed integers of any width, signed char
        Unsigned,     // unsigned integers of any width, _Bool
        UnsignedChar, // unsigned char (and so uint8_t): arrays of it are raw bytes
        Char,         // plain char: arrays of it are text
        Float,        // float, double, long double, ...
        Pointer,
        Struct,
        Union,
        Array,
        Opaque, // anything else the compiler sizes (vectors, complex numbers)
    };
    Class cls = Class::Opaque;
    std::int64_t size = 0;     // bytes
    std::string spelling;      // as the header writes it, for messages
    // Array: the element type and the count; -1 for a flexible array member.
    std::shared_ptr<const CType> element;
    std::int64_t count = 0;
    // Struct and Union: the members in declaration order.
    std::vector<CMember> members;
};

struct CMember {
    std::string name;          // empty for an anonymous struct or union, or an unnamed bit-field
    std::int64_t bitOffset = 0; // from the start of the enclosing struct or union
    int bitWidth = -1;          // a bit-field's width, -1 for other members
    CType type;
};

// Arrays of more elements than this (all dimensions together) become one
// hex field instead of a field per element.
inline constexpr std::int64_t kMaxExpandedElements = 64;

struct CStructImport {
    bool ok = false;
    std::string error; // why the type was refused (UTF-8, naming the member)
    std::int32_t recordLength = 0;
    std::vector<TypeEntry> fields; // ascending by start
};

// The imported fields and record length put on seg, the description only
// (the bytes stay where they are): its record count and length follow the
// new record length as the record length editor of reset mode makes them.
void applyCStruct(Segment& seg, const std::vector<TypeEntry>& fields, std::int32_t recordLength,
                 std::int64_t fileSize);

// The fields of one record of the struct `record`, named typeName in
// messages. Memos are cut to the memo limit by memoFromPath.
CStructImport mapCStruct(const CType& record, std::string_view typeName,
                         int fontHeight = kDefaultFontHeight);

// A member's memo: its path (components joined by "."), cut to the 20
// characters a memo holds. Leading components are dropped while it is too
// long; a last component still too long keeps its first characters and its
// index ("[3]"). A memo an earlier field already holds gets its end replaced
// by "~2", "~3", ... (the first free one). `taken` holds the memos so far and
// receives the new one.
std::string memoFromPath(const std::vector<std::string>& path,
                         std::unordered_set<std::string>& taken);

} // namespace vm
