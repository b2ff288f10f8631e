#include "structexport.h"

#include <algorithm>
#include <unordered_set>
#include <vector>

#include "cp1252.h"
#include "kinds.h"

namespace vm {

namespace {

bool isAsciiAlnum(unsigned char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

// Text shown inside a C comment or a YAML double-quoted string: control
// characters as '?', and nothing that ends the comment.
std::string commentSafe(std::string utf8) {
    for (char& c : utf8) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7F)
            c = '?';
    }
    for (std::size_t at = utf8.find("*/"); at != std::string::npos; at = utf8.find("*/", at))
        utf8.replace(at, 2, "* /");
    return utf8;
}

// The same for single-byte text of the structure.
std::string shownText(const std::string& singleByte) {
    return commentSafe(cp1252ToUtf8(singleByte));
}

std::string yamlQuoted(const std::string& utf8) {
    std::string s = "\"";
    for (char c : utf8) {
        if (c == '"' || c == '\\')
            s += '\\';
        s += c;
    }
    return s + "\"";
}

// Names given out within one scope. key() says which names clash: Kaitai's
// JavaScript target joins "a_2" and "a2" into one property name.
class NameScope {
public:
    explicit NameScope(bool camelClash) : m_camel(camelClash) {}
    void reserve(const std::string& name) { m_used.insert(key(name)); }
    std::string unique(const std::string& base) {
        std::string name = base;
        for (int n = 2; m_used.count(key(name)); ++n)
            name = base + "_" + std::to_string(n);
        m_used.insert(key(name));
        return name;
    }

private:
    std::string key(const std::string& name) const {
        if (!m_camel)
            return name;
        std::string k;
        for (char c : name)
            if (c != '_')
                k += c;
        return k;
    }
    bool m_camel;
    std::unordered_set<std::string> m_used;
};

// Names a C member may not take: keywords, and the macros and types of the
// headers the export includes.
const std::unordered_set<std::string>& cReserved() {
    static const std::unordered_set<std::string> names = {
        "auto", "break", "case", "char", "const", "continue", "default", "do", "double", "else",
        "enum", "extern", "float", "for", "goto", "if", "inline", "int", "long", "register",
        "restrict", "return", "short", "signed", "sizeof", "static", "struct", "switch",
        "typedef", "union", "unsigned", "void", "volatile", "while", "offsetof",
        "static_assert", "assert", "NULL", "int8_t", "uint8_t", "int16_t", "uint16_t", "int32_t",
        "uint32_t", "int64_t", "uint64_t", "size_t", "ptrdiff_t", "max_align_t", "wchar_t"};
    return names;
}

// stdint.h's limits and constant macros (INT8_MAX, UINT64_C, ...).
bool looksLikeLimitMacro(const std::string& id) {
    if (std::any_of(id.begin(), id.end(), [](char c) { return c >= 'a' && c <= 'z'; }))
        return false;
    auto endsWith = [&](std::string_view tail) {
        return id.size() >= tail.size() && id.compare(id.size() - tail.size(), tail.size(), tail) == 0;
    };
    return endsWith("_MIN") || endsWith("_MAX") || endsWith("_C") || endsWith("_WIDTH");
}

std::string cIdentifier(const std::string& text, const std::string& fallback) {
    std::string id = identifierFrom(text, fallback, false);
    if (cReserved().count(id) || looksLikeLimitMacro(id))
        id += "_v";
    return id;
}

// ---- C ------------------------------------------------------------------------

struct CField {
    const TypeEntry* entry;
    std::string name;
    std::int64_t start;
    std::int64_t size; // the bytes the grid reads for it
};

// The declaration of a field's member, and the kind noted beside it.
std::string cDeclaration(const CField& f) {
    const int kind = f.entry->kind;
    const char* scalar = nullptr;
    switch (kind) {
    case 0: scalar = "int8_t"; break;
    case 1:
    case 2:
    case 4: scalar = "uint8_t"; break;
    case 3: scalar = "char"; break;
    case 5: scalar = "int16_t"; break;
    case 6: scalar = "uint16_t"; break;
    case 7: scalar = "int32_t"; break;
    case 8: scalar = "uint32_t"; break;
    case 9: scalar = "float"; break;
    case 10:
    case 13: scalar = "int64_t"; break;
    case 11:
    case 12: scalar = "double"; break;
    default: break;
    }
    std::string note = std::string(kindName(kind));
    if (kind == 12)
        note += ": days since 1899-12-30";
    else if (kind == 13)
        note += ": ten-thousandths";
    if (f.entry->memo != f.name)
        note += ", memo \"" + shownText(f.entry->memo) + "\"";
    const std::string decl =
        scalar ? std::string(scalar) + " " + f.name
               : std::string(kind == 14 ? "char " : "uint8_t ") + f.name + "[" +
                     std::to_string(f.size) + "]";
    return decl + "; /* " + note + " */";
}

// The bytes a field takes in its struct: what the grid reads.
std::int64_t cSize(const TypeEntry& e) {
    const KindInfo* k = kindInfo(e.kind);
    return k && !k->variableLength ? k->defaultLength : e.length;
}

std::string segmentComment(const Segment& seg) {
    std::string s = "/* Segment \"" + shownText(seg.name) + "\", begin " + std::to_string(seg.begin);
    if (seg.anomaly)
        return s + ": irregular, its fields by position from its begin */\n";
    s += ": " + std::to_string(seg.recordCount) + " records of " +
         std::to_string(seg.recordLength) + " bytes";
    return s + (seg.toFilesEnd ? ", to the end of the file */\n" : " */\n");
}

void writeCStruct(std::string& out, const Segment& seg, NameScope& structNames) {
    out += segmentComment(seg);
    NameScope names(false);
    std::vector<CField> fields;
    std::vector<std::string> left;
    for (const TypeEntry& e : seg.entries) {
        const std::int64_t size = cSize(e);
        const bool inRecord = seg.anomaly || e.start + size <= seg.recordLength;
        if (size <= 0 || !inRecord) {
            left.push_back("/* left out: \"" + shownText(e.memo) + "\" (" +
                           std::string(kindName(e.kind)) + ", " + std::to_string(e.start) + ", " +
                           std::to_string(e.length) + ") " +
                           (size <= 0 ? "has no bytes" : "reaches past the record's end") + " */\n");
            continue;
        }
        fields.push_back({&e, names.unique(cIdentifier(e.memo, "field")), e.start, size});
    }
    std::int64_t total = seg.recordLength;
    if (seg.anomaly) {
        total = 0;
        for (const CField& f : fields)
            total = std::max(total, f.start + f.size);
    }
    if (total <= 0) {
        out += "/* no bytes to describe */\n";
        for (const std::string& l : left)
            out += l;
        out += "\n";
        return;
    }
    const std::string tag = structNames.unique(cIdentifier(seg.name, "segment"));
    std::stable_sort(fields.begin(), fields.end(),
                     [](const CField& a, const CField& b) { return a.start < b.start; });
    int gaps = 0;
    auto gap = [&](std::int64_t bytes, const char* indent) {
        return std::string(indent) + "uint8_t _gap" + std::to_string(gaps++) + "[" +
               std::to_string(bytes) + "];\n";
    };
    out += "struct " + tag + " {\n";
    std::int64_t pos = 0;
    for (std::size_t i = 0; i < fields.size();) {
        // Fields that share bytes, directly or through one another.
        std::size_t j = i + 1;
        std::int64_t end = fields[i].start + fields[i].size;
        while (j < fields.size() && fields[j].start < end) {
            end = std::max(end, fields[j].start + fields[j].size);
            ++j;
        }
        if (fields[i].start > pos)
            out += gap(fields[i].start - pos, "    ");
        if (j == i + 1) {
            out += "    " + cDeclaration(fields[i]) + "\n";
        } else {
            out += "    union {\n";
            for (std::size_t k = i; k < j; ++k) {
                const std::int64_t lead = fields[k].start - fields[i].start;
                if (lead == 0) {
                    out += "        " + cDeclaration(fields[k]) + "\n";
                    continue;
                }
                out += "        struct {\n" + gap(lead, "            ");
                out += "            " + cDeclaration(fields[k]) + "\n        };\n";
            }
            out += "    };\n";
        }
        pos = end;
        i = j;
    }
    if (pos < total)
        out += gap(total - pos, "    ");
    out += "};\n";
    for (const std::string& l : left)
        out += l;
    for (const CField& f : fields)
        out += "static_assert(offsetof(struct " + tag + ", " + f.name + ") == " +
               std::to_string(f.start) + ", \"" + tag + "." + f.name + "\");\n";
    out += "static_assert(sizeof(struct " + tag + ") == " + std::to_string(total) + ", \"" + tag +
           " is " + std::to_string(total) + " bytes\");\n\n";
}

// ---- Kaitai Struct ----------------------------------------------------------------

// The Kaitai Struct type of a field: its type key (empty for raw bytes) and size.
struct KsyType {
    std::string type;
    std::int64_t size = 0; // for text and raw bytes
};

KsyType ksyType(const TypeEntry& e) {
    switch (e.kind) {
    case 0: return {"s1"};
    case 1:
    case 2:
    case 4: return {"u1"};
    case 3: return {"str", 1};
    case 5: return {"s2"};
    case 6: return {"u2"};
    case 7: return {"s4"};
    case 8: return {"u4"};
    case 9: return {"f4"};
    case 10:
    case 13: return {"s8"};
    case 11:
    case 12: return {"f8"};
    case 14: return {"strz", e.length};
    default: return {"", e.length};
    }
}

std::string ksyDoc(const TypeEntry& e) {
    std::string doc = std::string(kindName(e.kind));
    if (e.kind == 12)
        doc += ", days since 1899-12-30";
    else if (e.kind == 13)
        doc += ", ten-thousandths";
    return doc + ", memo \"" + shownText(e.memo) + "\"";
}

constexpr const char* kOffsetParam = "ofs";

std::string plus(const std::string& a, std::int64_t b) {
    return b == 0 ? a : a + " + " + std::to_string(b);
}

} // namespace

std::string identifierFrom(const std::string& text, const std::string& fallback, bool lower) {
    std::string id;
    for (char ch : text) {
        auto c = static_cast<unsigned char>(ch);
        if (isAsciiAlnum(c)) {
            if (lower && c >= 'A' && c <= 'Z')
                c = static_cast<unsigned char>(c - 'A' + 'a');
            id += static_cast<char>(c);
        } else if (!id.empty() && id.back() != '_') {
            id += '_';
        }
    }
    while (!id.empty() && id.back() == '_')
        id.pop_back();
    if (id.empty())
        return fallback;
    if (id[0] >= '0' && id[0] <= '9')
        id = fallback.substr(0, 1) + "_" + id;
    return id;
}

std::string exportCHeader(const SegmentList& segments, const std::string& source) {
    std::string out =
        "/* The structure of " + commentSafe(source) +
        ", written by Vellomarque.\n"
        "   One packed struct per segment: a record, or for an irregular segment the bytes\n"
        "   from its begin to the end of its last field. Numbers are little-endian. */\n"
        "#include <assert.h>\n#include <stddef.h>\n#include <stdint.h>\n\n"
        "#pragma pack(push, 1)\n\n";
    NameScope structNames(false);
    for (const auto& seg : segments) {
        if (!seg->anomaly && seg->recordLength <= 0) {
            out += segmentComment(*seg) + "/* no record length: left out */\n\n";
            continue;
        }
        writeCStruct(out, *seg, structNames);
    }
    out += "#pragma pack(pop)\n";
    return out;
}

std::string exportKaitaiStruct(const SegmentList& segments, const std::string& id,
                               const std::string& source) {
    std::string out = "meta:\n  id: " + identifierFrom(id, "structure", true) +
                      "\n  title: " + yamlQuoted("The structure of " + commentSafe(source)) +
                      "\n  endian: le\n  encoding: windows-1252\n"
                      "doc: " +
                      yamlQuoted("Written by Vellomarque. Each segment is an "
                                 "instance at its begin; the fields of a record are instances "
                                 "by position from the record's start (the parameter ofs).") +
                      "\n";
    std::string instances = "instances:\n";
    std::string types = "types:\n";
    NameScope segmentNames(true);
    bool any = false;
    for (const auto& segPtr : segments) {
        const Segment& seg = *segPtr;
        const bool records = !seg.anomaly && seg.recordLength > 0;
        if (!records && !(seg.anomaly && !seg.entries.empty())) {
            instances += "  # segment " + yamlQuoted(shownText(seg.name)) +
                         (seg.anomaly ? " has no fields" : " has no record length") +
                         ": left out\n";
            continue;
        }
        any = true;
        const std::string name = segmentNames.unique(identifierFrom(seg.name, "segment", true));
        const std::string type = name + (records ? "_record" : "_fields");
        std::string doc = "Segment \"" + shownText(seg.name) + "\"";
        instances += "  " + name + ":\n";
        if (records) {
            doc += ", " + std::to_string(seg.recordLength) + " bytes a record";
            instances += "    doc: " + yamlQuoted(doc) + "\n";
            instances += "    pos: " + std::to_string(seg.begin) + "\n";
            instances += "    type: " + type + "(" +
                         plus(std::to_string(seg.recordLength) + " * _index", seg.begin) + ")\n";
            instances += "    repeat: expr\n";
            if (seg.toFilesEnd)
                instances += "    repeat-expr: " +
                             (seg.begin == 0 ? std::string("_io.size")
                                             : "(_io.size - " + std::to_string(seg.begin) + ")") +
                             " / " + std::to_string(seg.recordLength) + "\n";
            else
                instances += "    repeat-expr: " + std::to_string(seg.recordCount) + "\n";
        } else {
            doc += ", irregular";
            instances += "    doc: " + yamlQuoted(doc) + "\n";
            instances += "    pos: " + std::to_string(seg.begin) + "\n";
            instances += "    type: " + type + "(" + std::to_string(seg.begin) + ")\n";
        }
        types += "  " + type + ":\n    params:\n      - id: " + kOffsetParam + "\n        type: u4\n";
        if (seg.entries.empty())
            continue;
        types += "    instances:\n";
        NameScope fieldNames(true);
        fieldNames.reserve(kOffsetParam);
        for (const TypeEntry& e : seg.entries) {
            const KsyType t = ksyType(e);
            types += "      " + fieldNames.unique(identifierFrom(e.memo, "field", true)) + ":\n";
            types += "        doc: " + yamlQuoted(ksyDoc(e)) + "\n";
            types += "        pos: " + plus(kOffsetParam, e.start) + "\n";
            if (!t.type.empty())
                types += "        type: " + t.type + "\n";
            if (t.type.empty() || t.type.rfind("str", 0) == 0)
                types += "        size: " + std::to_string(t.size) + "\n";
        }
    }
    if (!any)
        return out;
    return out + instances + types;
}

std::string kaitaiIdOf(const std::string& fileName) {
    return fileName.substr(0, fileName.find('.'));
}

} // namespace vm
