#include "cstruct.h"

#include <algorithm>
#include <limits>
#include <map>

#include "cp1252.h"
#include "kinds.h"
#include "segmentedits.h"

namespace vm {

namespace {

constexpr std::int64_t kMaxFieldNumber = std::numeric_limits<std::uint16_t>::max();

std::string joined(const std::vector<std::string>& parts, std::string_view separator) {
    std::string s;
    for (const std::string& p : parts) {
        if (!s.empty() && !p.empty())
            s += separator;
        s += p;
    }
    return s;
}

// Fields an array would expand into: a char or unsigned char array is one.
std::int64_t expandedCount(const CType& t) {
    if (t.cls != CType::Class::Array || !t.element)
        return 1;
    const CType& e = *t.element;
    if (e.cls == CType::Class::Char || e.cls == CType::Class::UnsignedChar)
        return t.count;
    return t.count * expandedCount(e);
}

int scalarKind(const CType& t) {
    auto code = [](TypeKind k) { return static_cast<int>(k); };
    switch (t.cls) {
    case CType::Class::Signed:
        switch (t.size) {
        case 1: return code(TypeKind::Signed1);
        case 2: return code(TypeKind::Signed2);
        case 4: return code(TypeKind::Signed4);
        case 8: return code(TypeKind::Signed8);
        default: break;
        }
        break;
    case CType::Class::Unsigned:
    case CType::Class::Pointer:
        // There is no unsigned kind of 8 bytes: the signed one shows the same
        // bytes, and every value below 2^63 the same way.
        switch (t.size) {
        case 1: return code(TypeKind::Unsigned1);
        case 2: return code(TypeKind::Unsigned2);
        case 4: return code(TypeKind::Unsigned4);
        case 8: return code(TypeKind::Signed8);
        default: break;
        }
        break;
    case CType::Class::UnsignedChar: return code(TypeKind::Unsigned1);
    case CType::Class::Char: return code(TypeKind::Char1);
    case CType::Class::Float:
        if (t.size == 4)
            return code(TypeKind::Float4);
        if (t.size == 8)
            return code(TypeKind::Double8);
        break;
    default: break;
    }
    return code(TypeKind::Unknown); // raw bytes of the type's size
}

// Names the members of a union list in its memo; an anonymous struct inside
// it shows its own members.
void unionNames(const CType& u, std::vector<std::string>& out) {
    for (const CMember& m : u.members) {
        if (!m.name.empty())
            out.push_back(m.name);
        else if (m.bitWidth < 0)
            unionNames(m.type, out);
    }
}

std::string unionList(const CType& u) {
    std::vector<std::string> names;
    unionNames(u, names);
    return joined(names, "|");
}

class Mapper {
public:
    explicit Mapper(std::string_view typeName) : m_typeName(typeName) {}

    struct Field {
        int kind;
        std::int64_t start;
        std::int64_t length;
        std::vector<std::string> path;
    };

    // Refuses a member that gives the record no fixed length. Checked before
    // the walk: libclang gives no offsets at all in a struct holding one.
    bool checkFixed(const CType& t, std::vector<std::string>& path);
    bool walk(const CType& t, std::int64_t offset, std::vector<std::string>& path);
    // The bit-field bytes as fields of their own.
    bool addBitFields();
    std::vector<Field>& fields() { return m_fields; }
    const std::string& error() const { return m_error; }

private:
    bool fail(const std::vector<std::string>& path, const std::string& why) {
        m_error = "Member " + joined(path, ".") + " of " + std::string(m_typeName) + " " + why;
        return false;
    }
    bool add(int kind, std::int64_t start, std::int64_t length, const std::vector<std::string>& path);
    bool walkStruct(const CType& t, std::int64_t offset, std::vector<std::string>& path);
    bool walkArray(const CType& t, std::int64_t offset, std::vector<std::string>& path);

    // The bit-fields with bits in one byte, and the path of their struct.
    struct BitByte {
        std::vector<std::string> prefix;
        std::vector<std::string> names;
    };
    std::string_view m_typeName;
    std::vector<Field> m_fields;
    std::map<std::int64_t, BitByte> m_bits;
    std::string m_error;
};

bool Mapper::add(int kind, std::int64_t start, std::int64_t length,
                 const std::vector<std::string>& path) {
    if (length <= 0)
        return true; // a member of no bytes shows nothing
    if (start > kMaxFieldNumber)
        return fail(path, "starts at byte " + std::to_string(start) +
                              ": a field can start at most at byte 65535");
    if (length > kMaxFieldNumber)
        return fail(path, "is " + std::to_string(length) +
                              " bytes long: a field can be at most 65535 bytes long");
    m_fields.push_back({kind, start, length, path});
    return true;
}

bool Mapper::checkFixed(const CType& t, std::vector<std::string>& path) {
    if (t.cls == CType::Class::Array) {
        if (t.count < 0)
            return fail(path, "is a flexible array member: a record has a fixed length");
        if (t.count == 0 || !t.element)
            return fail(path, "is an array of no elements: a record has a fixed length");
        return checkFixed(*t.element, path);
    }
    if (t.cls != CType::Class::Struct)
        return true;
    for (const CMember& m : t.members) {
        if (m.bitWidth >= 0)
            continue;
        if (!m.name.empty())
            path.push_back(m.name);
        const bool ok = checkFixed(m.type, path);
        if (!m.name.empty())
            path.pop_back();
        if (!ok)
            return false;
    }
    return true;
}

bool Mapper::walk(const CType& t, std::int64_t offset, std::vector<std::string>& path) {
    switch (t.cls) {
    case CType::Class::Struct: return walkStruct(t, offset, path);
    case CType::Class::Array: return walkArray(t, offset, path);
    case CType::Class::Union: {
        // The members share the bytes: one hex field, the memo listing them.
        std::vector<std::string> named = path;
        const std::string list = unionList(t);
        if (named.empty())
            named.push_back(list);
        else
            named.back() += ":" + list;
        return add(static_cast<int>(TypeKind::Unknown), offset, t.size, named);
    }
    default: {
        const int kind = scalarKind(t);
        return add(kind, offset, kindInfo(kind)->variableLength ? t.size : kindByteSize(kind, 0),
                   path);
    }
    }
}

bool Mapper::walkStruct(const CType& t, std::int64_t offset, std::vector<std::string>& path) {
    for (const CMember& m : t.members) {
        if (m.bitOffset < 0) {
            path.push_back(m.name);
            return fail(path, "has no place the compiler can tell");
        }
        if (m.bitWidth >= 0) {
            if (m.bitWidth == 0 || m.name.empty())
                continue; // padding of the layout, nothing to show
            const std::int64_t first = offset * 8 + m.bitOffset;
            const std::int64_t last = first + m.bitWidth - 1;
            for (std::int64_t b = first / 8; b <= last / 8; ++b) {
                BitByte& bb = m_bits[b];
                bb.prefix = path;
                bb.names.push_back(m.name);
            }
            continue;
        }
        const std::int64_t at = offset + m.bitOffset / 8;
        if (m.name.empty()) {
            // Anonymous struct or union: its members belong to this struct.
            if (m.type.cls == CType::Class::Union) {
                path.push_back(unionList(m.type));
                const bool ok = add(static_cast<int>(TypeKind::Unknown), at, m.type.size, path);
                path.pop_back();
                if (!ok)
                    return false;
            } else if (!walk(m.type, at, path)) {
                return false;
            }
            continue;
        }
        path.push_back(m.name);
        const bool ok = walk(m.type, at, path);
        path.pop_back();
        if (!ok)
            return false;
    }
    return true;
}

bool Mapper::walkArray(const CType& t, std::int64_t offset, std::vector<std::string>& path) {
    const CType& e = *t.element;
    if (e.cls == CType::Class::Char)
        return add(static_cast<int>(TypeKind::String), offset, t.size, path);
    if (e.cls == CType::Class::UnsignedChar || expandedCount(t) > kMaxExpandedElements)
        return add(static_cast<int>(TypeKind::Unknown), offset, t.size, path);
    if (path.empty())
        path.emplace_back();
    const std::string name = path.back();
    for (std::int64_t i = 0; i < t.count; ++i) {
        path.back() = name + "[" + std::to_string(i) + "]";
        if (!walk(e, offset + i * e.size, path))
            return false;
    }
    path.back() = name;
    return true;
}

bool Mapper::addBitFields() {
    for (auto& [byte, bb] : m_bits) {
        std::vector<std::string> path = bb.prefix;
        // A bit-field over several bytes is listed in each, once.
        bb.names.erase(std::unique(bb.names.begin(), bb.names.end()), bb.names.end());
        path.push_back(joined(bb.names, ","));
        if (!add(static_cast<int>(TypeKind::Bit1), byte, 1, path))
            return false;
    }
    return true;
}

} // namespace

std::string memoFromPath(const std::vector<std::string>& path,
                         std::unordered_set<std::string>& taken) {
    std::vector<std::string> parts;
    for (const std::string& p : path)
        if (!p.empty())
            parts.push_back(utf8ToCp1252(p));
    std::size_t from = 0;
    auto length = [&] {
        std::size_t n = 0;
        for (std::size_t i = from; i < parts.size(); ++i)
            n += parts[i].size() + (i > from ? 1 : 0);
        return n;
    };
    while (length() > kMemoMax && from + 1 < parts.size())
        ++from;
    std::string memo;
    if (from < parts.size())
        memo = joined(std::vector<std::string>(parts.begin() + static_cast<std::ptrdiff_t>(from),
                                               parts.end()),
                      ".");
    if (memo.size() > kMemoMax) {
        // One component: keep its index, which tells the elements apart.
        std::size_t cut = memo.size();
        while (cut > 0 && memo[cut - 1] == ']') {
            const std::size_t open = memo.rfind('[', cut - 1);
            if (open == std::string::npos)
                break;
            cut = open;
        }
        const std::string index = memo.substr(cut);
        memo = index.size() < kMemoMax ? memo.substr(0, kMemoMax - index.size()) + index
                                       : memo.substr(memo.size() - kMemoMax);
    }
    if (taken.count(memo)) {
        for (int n = 2;; ++n) {
            const std::string suffix = "~" + std::to_string(n);
            std::string candidate = memo.substr(0, kMemoMax - suffix.size()) + suffix;
            if (!taken.count(candidate)) {
                memo = std::move(candidate);
                break;
            }
        }
    }
    taken.insert(memo);
    return memo;
}

CStructImport mapCStruct(const CType& record, std::string_view typeName, int fontHeight) {
    CStructImport r;
    const std::string name(typeName);
    if (record.cls != CType::Class::Struct) {
        r.error = name + " is not a struct" +
                  (record.spelling.empty() ? std::string() : " (it is " + record.spelling + ")");
        return r;
    }
    if (record.size <= 0) {
        r.error = name + " has no bytes: a record needs at least one";
        return r;
    }
    if (record.size > std::numeric_limits<std::int32_t>::max()) {
        r.error = name + " is " + std::to_string(record.size) + " bytes long: too long for a record";
        return r;
    }
    Mapper m(typeName);
    std::vector<std::string> path;
    if (!m.checkFixed(record, path) || !m.walk(record, 0, path) || !m.addBitFields()) {
        r.error = m.error();
        return r;
    }
    auto& fields = m.fields();
    std::stable_sort(fields.begin(), fields.end(),
                     [](const Mapper::Field& a, const Mapper::Field& b) { return a.start < b.start; });
    std::unordered_set<std::string> taken;
    for (const Mapper::Field& f : fields) {
        TypeEntry e = newTypeEntry(f.kind, memoFromPath(f.path, taken), nullptr, fontHeight);
        e.start = static_cast<std::uint16_t>(f.start);
        e.length = static_cast<std::uint16_t>(f.length);
        e.columnWidth = static_cast<std::uint16_t>(
            columnWidthFor(entryDisplayWidth(f.kind, e.length), fontHeight));
        r.fields.push_back(std::move(e));
    }
    r.recordLength = static_cast<std::int32_t>(record.size);
    r.ok = true;
    return r;
}

void applyCStruct(Segment& seg, const std::vector<TypeEntry>& fields, std::int32_t recordLength,
                 std::int64_t fileSize) {
    seg.entries = fields;
    seg.recordCount = editRecordLength(seg, recordLength, fileSize);
}

} // namespace vm
