#include "cimport.h"

#include <algorithm>
#include <filesystem>
#include <optional>

#include <clang-c/Index.h>

#include "filestream.h"
#include "libclang.h"

namespace vm {

namespace {

// libclang's functions: set by the first parse, before any other call can
// reach libclang (every other entry needs a parsed header).
const libclang::Api* lc = nullptr;

// libclang finds its own headers (stddef.h, stdint.h, ...) only when told
// where they are; the build knows.
#ifndef VM_CLANG_RESOURCE_DIR
#error "VM_CLANG_RESOURCE_DIR must name clang's resource folder"
#endif

// Stands in for the file clang compiles; the header comes in through -include,
// so that no path has to be quoted in C.
constexpr const char* kMainName = "vellomarque-c-import.c";
constexpr const char* kMainText = "#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__\n"
                                  "enum { vellomarque_big_endian_ = 1 };\n"
                                  "#else\n"
                                  "enum { vellomarque_big_endian_ = 0 };\n"
                                  "#endif\n";

std::string text(CXString s) {
    const char* c = lc->clang_getCString(s);
    std::string r = c ? c : "";
    lc->clang_disposeString(s);
    return r;
}

std::string spelling(CXCursor c) {
    return text(lc->clang_getCursorSpelling(c));
}

// Windows' own compiler: its C library headers are not on this machine, and
// clang's freestanding headers give the types (stdint.h) laid out for it.
bool msvcTarget(const std::string& triple) {
    return triple.find("windows") != std::string::npos &&
           triple.find("gnu") == std::string::npos && triple.find("cygnus") == std::string::npos;
}

// A tag without a name of its own: anonymous members, typedef'd unnamed structs.
bool unnamedTag(CXCursor c) {
    const std::string s = spelling(c);
    return s.empty() || s.find('(') != std::string::npos;
}

CType convert(CXType t);

// Whether the target stores numbers big-endian: asked of the preprocessor on
// its own, before the header, whose system includes may not exist for it.
std::optional<bool> bigEndianTarget(CXIndex index, const std::vector<std::string>& targetArgs) {
    std::vector<const char*> argv;
    for (const std::string& a : targetArgs)
        argv.push_back(a.c_str());
    CXUnsavedFile main{kMainName, kMainText,
                       static_cast<unsigned long>(std::char_traits<char>::length(kMainText))};
    CXTranslationUnit tu = nullptr;
    if (lc->clang_parseTranslationUnit2(index, kMainName, argv.data(), static_cast<int>(argv.size()),
                                    &main, 1, 0, &tu) != CXError_Success ||
        !tu)
        return std::nullopt;
    bool big = false;
    lc->clang_visitChildren(
        lc->clang_getTranslationUnitCursor(tu),
        [](CXCursor c, CXCursor, CXClientData data) {
            if (lc->clang_getCursorKind(c) == CXCursor_EnumConstantDecl &&
                spelling(c) == "vellomarque_big_endian_")
                *static_cast<bool*>(data) = lc->clang_getEnumConstantDeclValue(c) != 0;
            return CXChildVisit_Recurse;
        },
        &big);
    lc->clang_disposeTranslationUnit(tu);
    return big;
}

void convertRecord(CXType t, CType& out) {
    struct Visit {
        CType* record;
    } visit{&out};
    lc->clang_Type_visitFields(
        t,
        [](CXCursor field, CXClientData data) {
            CType& record = *static_cast<Visit*>(data)->record;
            CMember m;
            m.name = spelling(field);
            if (lc->clang_Cursor_isAnonymousRecordDecl(lc->clang_getTypeDeclaration(lc->clang_getCursorType(field))))
                m.name.clear();
            // Negative when libclang cannot lay the struct out (it holds a
            // flexible array member); the import refuses such a struct.
            m.bitOffset = lc->clang_Cursor_getOffsetOfField(field);
            if (lc->clang_Cursor_isBitField(field))
                m.bitWidth = lc->clang_getFieldDeclBitWidth(field);
            m.type = convert(lc->clang_getCursorType(field));
            record.members.push_back(std::move(m));
            return CXVisit_Continue;
        },
        &visit);
}

CType convert(CXType type) {
    const CXType t = lc->clang_getCanonicalType(type);
    CType out;
    out.spelling = text(lc->clang_getTypeSpelling(type));
    const long long size = lc->clang_Type_getSizeOf(t);
    out.size = size < 0 ? 0 : size;
    switch (t.kind) {
    case CXType_SChar:
    case CXType_Short:
    case CXType_Int:
    case CXType_Long:
    case CXType_LongLong:
    case CXType_Int128: out.cls = CType::Class::Signed; break;
    case CXType_Bool:
    case CXType_Char16:
    case CXType_Char32:
    case CXType_UShort:
    case CXType_UInt:
    case CXType_ULong:
    case CXType_ULongLong:
    case CXType_UInt128: out.cls = CType::Class::Unsigned; break;
    case CXType_WChar: out.cls = out.size == 4 ? CType::Class::Signed : CType::Class::Unsigned; break;
    case CXType_UChar: out.cls = CType::Class::UnsignedChar; break;
    case CXType_Char_S:
    case CXType_Char_U: out.cls = CType::Class::Char; break;
    case CXType_Float:
    case CXType_Double:
    case CXType_LongDouble:
    case CXType_Half:
    case CXType_Float16:
    case CXType_Float128: out.cls = CType::Class::Float; break;
    case CXType_Pointer:
    case CXType_BlockPointer:
    case CXType_MemberPointer:
    case CXType_ObjCObjectPointer: out.cls = CType::Class::Pointer; break;
    case CXType_Enum: {
        CType base = convert(lc->clang_getEnumDeclIntegerType(lc->clang_getTypeDeclaration(t)));
        base.spelling = out.spelling;
        return base;
    }
    case CXType_Atomic: {
        CType value = convert(lc->clang_Type_getValueType(t));
        if (value.size == out.size)
            return value;
        break; // padded: only its bytes can be shown
    }
    case CXType_Record: {
        const CXCursor decl = lc->clang_getTypeDeclaration(t);
        out.cls = lc->clang_getCursorKind(decl) == CXCursor_UnionDecl ? CType::Class::Union
                                                                  : CType::Class::Struct;
        convertRecord(t, out);
        break;
    }
    case CXType_ConstantArray:
    case CXType_IncompleteArray:
    case CXType_VariableArray: {
        out.cls = CType::Class::Array;
        out.element = std::make_shared<CType>(convert(lc->clang_getArrayElementType(t)));
        out.count = t.kind == CXType_ConstantArray ? lc->clang_getArraySize(t) : -1;
        break;
    }
    default: out.cls = CType::Class::Opaque; break;
    }
    return out;
}

} // namespace

struct CDeclarations::Parsed {
    CXIndex index = nullptr;
    CXTranslationUnit tu = nullptr;
    struct Decl {
        std::string name;
        CXCursor cursor;
        bool system;
    };
    std::vector<Decl> typedefs;
    std::vector<Decl> tags; // structs, unions and enums
    ~Parsed() {
        if (tu)
            lc->clang_disposeTranslationUnit(tu);
        if (index)
            lc->clang_disposeIndex(index);
    }
};

bool cImportBuiltIn() {
    return true;
}

CDeclarations::CDeclarations() = default;
CDeclarations::~CDeclarations() = default;

bool CDeclarations::parse(const CHeader& header, const CImportOptions& options) {
    m_parsed.reset();
    m_error.clear();
    // Pasted text with no file of its own stands in the current folder.
    const std::string named = header.path.empty() && header.text ? "pasted.h" : header.path;
    std::error_code ec;
    const std::string path = std::filesystem::absolute(named, ec).string();
    if (named.empty() || ec) {
        m_error = "No header named";
        return false;
    }
    if (!header.text) {
        if (const std::string problem = fileTypeProblem(path); !problem.empty()) {
            m_error = "Cannot read " + header.path + ": " + problem;
            return false;
        }
        if (!fileExists(path)) {
            m_error = "Cannot read " + header.path + ": there is no such file";
            return false;
        }
    }
    if (!lc && !(lc = libclang::api(&m_error)))
        return false;
    auto parsed = std::make_unique<Parsed>();
    parsed->index = lc->clang_createIndex(0, 0);

    std::vector<std::string> args = {"-xc", "-std=gnu11", "-w", "--target=" + options.target,
                                     "-resource-dir", VM_CLANG_RESOURCE_DIR};
    if (msvcTarget(options.target))
        args.push_back("-ffreestanding");
    const std::optional<bool> big = bigEndianTarget(parsed->index, args);
    if (!big) {
        m_error = "libclang knows no target " + options.target;
        return false;
    }
    if (*big) {
        m_error = "The target " + options.target +
                  " stores numbers big-endian; the fields of a record are read little-endian";
        return false;
    }
    for (const std::string& dir : options.includeDirs)
        args.push_back("-I" + dir);
    for (const std::string& d : options.defines)
        if (!d.empty())
            args.push_back("-D" + d);
    args.push_back("-include");
    args.push_back(path);
    std::vector<const char*> argv;
    for (const std::string& a : args)
        argv.push_back(a.c_str());

    std::vector<CXUnsavedFile> unsaved = {
        {kMainName, kMainText, static_cast<unsigned long>(std::char_traits<char>::length(kMainText))}};
    if (header.text)
        unsaved.push_back({path.c_str(), header.text->data(),
                           static_cast<unsigned long>(header.text->size())});
    const CXErrorCode rc = lc->clang_parseTranslationUnit2(
        parsed->index, kMainName, argv.data(), static_cast<int>(argv.size()), unsaved.data(),
        static_cast<unsigned>(unsaved.size()), CXTranslationUnit_SkipFunctionBodies, &parsed->tu);
    if (rc != CXError_Success || !parsed->tu) {
        m_error = "libclang could not parse " + named + " for the target " + options.target;
        return false;
    }

    // Any error makes the layout unsure: refuse rather than guess.
    const unsigned count = lc->clang_getNumDiagnostics(parsed->tu);
    unsigned errors = 0;
    std::string first;
    for (unsigned i = 0; i < count; ++i) {
        CXDiagnostic d = lc->clang_getDiagnostic(parsed->tu, i);
        if (lc->clang_getDiagnosticSeverity(d) >= CXDiagnostic_Error) {
            if (errors++ == 0)
                first = text(lc->clang_formatDiagnostic(
                    d, CXDiagnostic_DisplaySourceLocation | CXDiagnostic_DisplayColumn));
        }
        lc->clang_disposeDiagnostic(d);
    }
    if (errors > 0) {
        m_error = "The header does not compile for " + options.target + ": " + first;
        if (errors > 1)
            m_error += " (and " + std::to_string(errors - 1) + " more errors)";
        return false;
    }

    struct Collect {
        Parsed* p;
    } collect{parsed.get()};
    lc->clang_visitChildren(
        lc->clang_getTranslationUnitCursor(parsed->tu),
        [](CXCursor c, CXCursor, CXClientData data) {
            auto& col = *static_cast<Collect*>(data);
            const bool system = lc->clang_Location_isInSystemHeader(lc->clang_getCursorLocation(c)) != 0;
            switch (lc->clang_getCursorKind(c)) {
            case CXCursor_TypedefDecl:
                col.p->typedefs.push_back({spelling(c), c, system});
                return CXChildVisit_Continue;
            case CXCursor_StructDecl:
            case CXCursor_UnionDecl:
            case CXCursor_EnumDecl:
                col.p->tags.push_back({spelling(c), c, system});
                // In C a struct declared inside another is a file-scope type.
                return CXChildVisit_Recurse;
            default: return CXChildVisit_Continue;
            }
        },
        &collect);
    m_parsed = std::move(parsed);
    return true;
}

std::vector<std::string> CDeclarations::structNames() const {
    std::vector<std::string> names;
    if (!m_parsed)
        return names;
    auto definitionOf = [](CXType t) {
        return lc->clang_getCursorDefinition(lc->clang_getTypeDeclaration(lc->clang_getCanonicalType(t)));
    };
    auto listed = [&](const std::string& n) {
        return std::find(names.begin(), names.end(), n) != names.end();
    };
    for (const Parsed::Decl& tag : m_parsed->tags) {
        if (tag.system || lc->clang_getCursorKind(tag.cursor) != CXCursor_StructDecl ||
            !lc->clang_isCursorDefinition(tag.cursor))
            continue;
        bool named = false;
        for (const Parsed::Decl& td : m_parsed->typedefs) {
            if (td.system)
                continue;
            const CXCursor def = definitionOf(lc->clang_getTypedefDeclUnderlyingType(td.cursor));
            if (!lc->clang_Cursor_isNull(def) && lc->clang_equalCursors(def, tag.cursor)) {
                if (!listed(td.name))
                    names.push_back(td.name);
                named = true;
            }
        }
        if (!named && !unnamedTag(tag.cursor) && !listed("struct " + tag.name))
            names.push_back("struct " + tag.name);
    }
    return names;
}

CStructImport CDeclarations::import(std::string_view typeName) const {
    CStructImport r;
    if (!m_parsed) {
        r.error = m_error.empty() ? "No header has been read" : m_error;
        return r;
    }
    std::string name(typeName);
    std::string wantedTag; // "struct", "union", "enum" when the name says
    for (const char* kw : {"struct", "union", "enum"}) {
        const std::string prefix = std::string(kw) + " ";
        if (name.rfind(prefix, 0) == 0) {
            wantedTag = kw;
            name = name.substr(prefix.size());
            name.erase(0, name.find_first_not_of(' '));
        }
    }
    auto tagKind = [](CXCursor c) {
        switch (lc->clang_getCursorKind(c)) {
        case CXCursor_StructDecl: return std::string("struct");
        case CXCursor_UnionDecl: return std::string("union");
        default: return std::string("enum");
        }
    };
    std::optional<CXType> type;
    if (wantedTag.empty()) {
        for (const Parsed::Decl& td : m_parsed->typedefs)
            if (td.name == name) {
                type = lc->clang_getCursorType(td.cursor);
                break;
            }
    }
    if (!type) {
        // The definition when there is one, else the first declaration.
        const Parsed::Decl* found = nullptr;
        for (const Parsed::Decl& tag : m_parsed->tags)
            if (tag.name == name && (wantedTag.empty() || tagKind(tag.cursor) == wantedTag) &&
                (!found || lc->clang_isCursorDefinition(tag.cursor))) {
                found = &tag;
                if (lc->clang_isCursorDefinition(tag.cursor))
                    break;
            }
        if (found)
            type = lc->clang_getCursorType(found->cursor);
    }
    if (!type) {
        r.error = "The header declares no type named " + std::string(typeName);
        return r;
    }
    const CXType canonical = lc->clang_getCanonicalType(*type);
    if (canonical.kind == CXType_Record && lc->clang_Type_getSizeOf(canonical) == CXTypeLayoutError_Incomplete) {
        r.error = std::string(typeName) + " is declared but not defined in the header";
        return r;
    }
    CType record = convert(*type);
    if (canonical.kind == CXType_Enum)
        record.spelling = "an enum";
    else if (canonical.kind == CXType_Record)
        record.spelling = record.cls == CType::Class::Union ? "a union" : "a struct";
    else
        record.spelling = text(lc->clang_getTypeSpelling(canonical));
    return mapCStruct(record, typeName);
}

CStructImport importCStruct(const CHeader& header, std::string_view typeName,
                            const CImportOptions& options) {
    CDeclarations decls;
    if (!decls.parse(header, options)) {
        CStructImport r;
        r.error = decls.error();
        return r;
    }
    return decls.import(typeName);
}

} // namespace vm
