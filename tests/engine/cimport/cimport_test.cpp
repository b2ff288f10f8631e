// The C import against the compilers themselves: random structs are laid out
// by our import (libclang) and by gcc or mingw-w64's gcc, whose offsetof and
// sizeof values, and the bytes each bit-field sets, are read back from the
// object file it compiles. No program needs to run, so the Windows targets
// need no Wine (which could not run 32-bit programs here anyway).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <random>
#include <set>

#include "cimport.h"
#include "kinds.h"
#include "runcli.h"
#include "tempdir.h"

namespace {

using vm::TypeKind;

// What a member becomes; the compiler's size then picks the kind.
enum class Cat { Signed, Unsigned, Char, Float, Pointer, Text, Bytes, Union, Bits };

struct Leaf {
    Cat cat;
    std::string access; // member designator from the struct: "m3.m7[1]"
    std::string memo;   // the memo the import is to give (before cutting)
    std::string prefix; // bit-fields: the path of their struct
    std::string name;   // bit-fields: their own name
};

struct GenType {
    std::string name; // as the import is asked for it: "T3" or "struct t3"
    std::string cName; // as C names it
    std::vector<Leaf> leaves;
};

struct Scalar {
    const char* spelling;
    Cat cat;
    bool bitField; // usable as a bit-field's type
    int bits;
};
const Scalar kScalars[] = {
    {"char", Cat::Char, false, 8},          {"signed char", Cat::Signed, true, 8},
    {"unsigned char", Cat::Unsigned, true, 8}, {"short", Cat::Signed, true, 16},
    {"unsigned short", Cat::Unsigned, true, 16}, {"int", Cat::Signed, true, 32},
    {"unsigned", Cat::Unsigned, true, 32},  {"long", Cat::Signed, false, 32},
    {"unsigned long", Cat::Unsigned, false, 32}, {"long long", Cat::Signed, true, 64},
    {"unsigned long long", Cat::Unsigned, true, 64}, {"int16_t", Cat::Signed, true, 16},
    {"uint32_t", Cat::Unsigned, true, 32},  {"int64_t", Cat::Signed, false, 64},
    {"uint8_t", Cat::Unsigned, true, 8},    {"_Bool", Cat::Unsigned, true, 1},
    {"float", Cat::Float, false, 0},        {"double", Cat::Float, false, 0},
    {"void*", Cat::Pointer, false, 0},      {"int (*", Cat::Pointer, false, 0},
    {"color_t", Cat::Signed, false, 0},     {"count_t", Cat::Unsigned, false, 0},
};

// Random struct definitions in a header, with what each member must become.
class Generator {
public:
    Generator(unsigned seed, bool windows) : m_rng(seed), m_windows(windows) {
        m_text = "#include <stdint.h>\n#include <stddef.h>\n"
                 "typedef enum { COLOR_DOWN = -1, COLOR_UP = 70000 } color_t;\n"
                 "typedef unsigned short count_t;\n";
    }

    void addTypes(int helpers, int records) {
        for (int i = 0; i < helpers; ++i) {
            GenType t;
            t.name = t.cName = "struct s" + std::to_string(i);
            defineStruct(t, "struct s" + std::to_string(i) + " ");
            m_helpers.push_back(t);
            m_listed.push_back(t.name);
        }
        for (int i = 0; i < records; ++i) {
            GenType t;
            const std::string tag = "t" + std::to_string(i);
            if (pick(2) == 0) {
                t.name = t.cName = "struct " + tag;
                defineStruct(t, "struct " + tag + " ");
            } else {
                t.name = t.cName = "T" + std::to_string(i);
                defineStruct(t, "typedef struct " + tag + " ", " T" + std::to_string(i));
            }
            m_listed.push_back(t.name);
            m_records.push_back(t);
        }
    }

    const std::string& text() const { return m_text; }
    const std::vector<GenType>& records() const { return m_records; }
    const std::vector<std::string>& listed() const { return m_listed; }

private:
    int pick(int n) { return static_cast<int>(m_rng() % static_cast<unsigned>(n)); }
    std::string fresh() { return "m" + std::to_string(m_names++); }

    void defineStruct(GenType& t, const std::string& head, const std::string& tail = "") {
        const int packing = pick(m_windows ? 3 : 4); // 0 none, 1-2 pragma pack, 3 packed
        // mingw-w64's gcc is no oracle for alignment attributes under
        // #pragma pack as Windows' compiler lays them out.
        std::string body = members(t.leaves, "", 0, packing == 0 && !m_windows);
        if (packing == 1 || packing == 2)
            m_text += "#pragma pack(push, " + std::to_string(packing == 1 ? 1 : 2 + 2 * pick(2)) + ")\n";
        m_text += head + "{\n" + body + "}" + (packing == 3 ? " __attribute__((packed))" : "") +
                  tail + ";\n";
        if (packing == 1 || packing == 2)
            m_text += "#pragma pack(pop)\n";
    }

    std::string scalarMember(const Scalar& s, const std::string& name, const std::string& dims) {
        if (std::string(s.spelling) == "int (*")
            return std::string("int (*") + name + dims + ")(int);\n";
        return std::string(s.spelling) + " " + name + dims + ";\n";
    }

    static std::string join(const std::string& prefix, const std::string& name) {
        return prefix.empty() ? name : name.empty() ? prefix : prefix + "." + name;
    }

    // A body of 1 to 6 members; prefix is the access path of the struct.
    std::string members(std::vector<Leaf>& leaves, const std::string& prefix, int depth,
                        bool alignable) {
        std::string out;
        const std::size_t before = leaves.size();
        const int count = 1 + pick(6);
        for (int k = 0; k < count; ++k) {
            const std::string n = fresh();
            const std::string p = join(prefix, n);
            const int what = pick(depth < 2 ? 12 : 7);
            const Scalar& s = kScalars[pick(static_cast<int>(std::size(kScalars)))];
            switch (what) {
            case 0:
            case 1: // a scalar, now and then aligned beyond its type
                if (alignable && pick(6) == 0)
                    out += "_Alignas(8) ";
                out += scalarMember(s, n, "");
                leaves.push_back({s.cat, p, p, "", ""});
                break;
            case 2: { // a short array, of one or two dimensions: one field per element
                const int rows = pick(2) == 0 ? 0 : 2;
                const int cols = 1 + pick(4);
                out += scalarMember(s, n, (rows ? "[2]" : "") + ("[" + std::to_string(cols) + "]"));
                const Cat c = s.cat == Cat::Char ? Cat::Text
                              : std::string(s.spelling) == "unsigned char" ||
                                        std::string(s.spelling) == "uint8_t"
                                  ? Cat::Bytes
                                  : s.cat;
                if (c == Cat::Text || c == Cat::Bytes) {
                    if (!rows) {
                        leaves.push_back({c, p, p, "", ""});
                        break;
                    }
                    for (int r = 0; r < 2; ++r) {
                        const std::string e = p + "[" + std::to_string(r) + "]";
                        leaves.push_back({c, e, e, "", ""});
                    }
                    break;
                }
                for (int r = 0; r < std::max(rows, 1); ++r)
                    for (int i = 0; i < cols; ++i) {
                        const std::string e = p + (rows ? "[" + std::to_string(r) + "]" : "") +
                                              "[" + std::to_string(i) + "]";
                        leaves.push_back({c, e, e, "", ""});
                    }
                break;
            }
            case 3: // too long to expand: raw bytes
                out += scalarMember(s, n, "[" + std::to_string(65 + pick(20)) + "]");
                leaves.push_back({s.cat == Cat::Char ? Cat::Text : Cat::Bytes, p, p, "", ""});
                break;
            case 4: { // a run of bit-fields, some unnamed
                const int run = 1 + pick(4);
                for (int b = 0; b < run; ++b) {
                    const Scalar* bs = &s;
                    while (!bs->bitField)
                        bs = &kScalars[pick(static_cast<int>(std::size(kScalars)))];
                    const int width = bs->bits == 1 ? 1 : 1 + pick(bs->bits);
                    if (pick(6) == 0) {
                        out += std::string(bs->spelling) + " : " + (pick(3) ? std::to_string(width) : "0") + ";\n";
                        continue;
                    }
                    const std::string bn = b == 0 ? n : fresh();
                    out += std::string(bs->spelling) + " " + bn + " : " + std::to_string(width) + ";\n";
                    leaves.push_back({Cat::Bits, join(prefix, bn), "", prefix, bn});
                }
                break;
            }
            case 5: { // a union, named or anonymous
                const std::string a = fresh(), b = fresh();
                if (pick(2) == 0) {
                    out += "union { int32_t " + a + "; float " + b + "; uint8_t x[" +
                           std::to_string(1 + pick(9)) + "]; } " + n + ";\n";
                    leaves.push_back({Cat::Union, p, p + ":" + a + "|" + b + "|x", "", ""});
                } else {
                    // Members of one size: the first one's size is the union's.
                    out += "union { int32_t " + a + "; float " + b + "; };\n";
                    leaves.push_back({Cat::Union, join(prefix, a), join(prefix, a + "|" + b), "", ""});
                }
                break;
            }
            case 6: // a pointer to a struct
                out += "struct s0* " + n + ";\n";
                leaves.push_back({Cat::Pointer, p, p, "", ""});
                break;
            case 7:
            case 8: { // an unnamed struct type, as a member or anonymous
                std::vector<Leaf> inner;
                const bool anonymous = pick(3) == 0;
                out += "struct {\n" + members(inner, anonymous ? prefix : p, depth + 1, false) +
                       "}" + (anonymous ? "" : " " + n) + ";\n";
                leaves.insert(leaves.end(), inner.begin(), inner.end());
                break;
            }
            default: { // a helper struct, alone or in an array of two
                if (m_helpers.empty()) {
                    out += scalarMember(s, n, "");
                    leaves.push_back({s.cat, p, p, "", ""});
                    break;
                }
                const GenType& h = m_helpers[static_cast<std::size_t>(pick(static_cast<int>(m_helpers.size())))];
                const bool array = pick(2) == 0;
                out += h.cName + " " + n + (array ? "[2]" : "") + ";\n";
                for (int i = 0; i < (array ? 2 : 1); ++i) {
                    const std::string e = array ? p + "[" + std::to_string(i) + "]" : p;
                    for (Leaf l : h.leaves) {
                        l.access = join(e, l.access);
                        l.memo = l.memo.empty() ? "" : join(e, l.memo);
                        l.prefix = join(e, l.prefix);
                        leaves.push_back(l);
                    }
                }
                break;
            }
            }
        }
        if (leaves.size() == before) { // no struct without a named member
            const std::string n = fresh();
            out += "int " + n + ";\n";
            leaves.push_back({Cat::Signed, join(prefix, n), join(prefix, n), "", ""});
        }
        return out;
    }

    std::mt19937 m_rng;
    bool m_windows;
    int m_names = 0;
    std::string m_text;
    std::vector<GenType> m_helpers;
    std::vector<GenType> m_records;
    std::vector<std::string> m_listed;
};

struct Compiler {
    const char* target;
    const char* gcc;
    const char* objcopy;
};

// A field as the compiler lays it out: start, length, kind.
struct Expected {
    std::int64_t start;
    std::int64_t length;
    int kind;
    std::string memo;
};

int kindFor(Cat c, std::int64_t size) {
    auto k = [](TypeKind t) { return static_cast<int>(t); };
    switch (c) {
    case Cat::Signed: return size == 1 ? k(TypeKind::Signed1) : size == 2 ? k(TypeKind::Signed2)
                             : size == 4 ? k(TypeKind::Signed4) : k(TypeKind::Signed8);
    case Cat::Unsigned:
    case Cat::Pointer:
        return size == 1 ? k(TypeKind::Unsigned1) : size == 2 ? k(TypeKind::Unsigned2)
               : size == 4 ? k(TypeKind::Unsigned4) : k(TypeKind::Signed8);
    case Cat::Char: return k(TypeKind::Char1);
    case Cat::Float: return size == 4 ? k(TypeKind::Float4) : k(TypeKind::Double8);
    case Cat::Text: return k(TypeKind::String);
    case Cat::Bits: return k(TypeKind::Bit1);
    default: return k(TypeKind::Unknown);
    }
}

// Compiles a program holding every offsetof and sizeof the records need, and
// one zeroed record per bit-field with that bit-field set to all ones, all in
// one variable of its own section; the section's bytes are read back.
std::vector<std::vector<Expected>> compilerLayout(const Compiler& cc, const Generator& gen,
                                                  const TempDir& dir,
                                                  std::vector<std::int64_t>& sizes) {
    std::string members, layout, bits;
    std::size_t numbers = 0;
    const auto& records = gen.records();
    for (std::size_t r = 0; r < records.size(); ++r) {
        const GenType& t = records[r];
        const std::string probe = "b" + std::to_string(r);
        std::size_t probes = 0;
        for (const Leaf& l : t.leaves) {
            if (l.cat == Cat::Bits) {
                bits += ", ." + probe + "[" + std::to_string(probes++) + "]." + l.access + " = -1";
                continue;
            }
            layout += "offsetof(" + t.cName + ", " + l.access + "), sizeof(((" + t.cName +
                      "*)0)->" + l.access + "),\n";
            numbers += 2;
        }
        layout += "sizeof(" + t.cName + "), offsetof(struct vm_all, " + probe + "),\n";
        numbers += 2;
        members += "  " + t.cName + " " + probe + "[" +
                   std::to_string(std::max<std::size_t>(probes, 1)) + "];\n";
    }
    const std::string src = "#include \"gen.h\"\n#include <stddef.h>\nstruct vm_all {\n"
                            "  unsigned long long layout[" + std::to_string(numbers) + "];\n" +
                            members + "};\n__attribute__((section(\".vmall\"))) const struct vm_all "
                            "vm_all = {\n.layout = {\n" + layout + "}" + bits + "};\n";
    writeText(dir.file("oracle.c"), src);
    const CliRun c = runProgram(cc.gcc, {"-std=gnu11", "-w", "-c", "-I", dir.path(),
                                         dir.file("oracle.c"), "-o", dir.file("oracle.o")});
    EXPECT_EQ(c.code, 0) << cc.gcc << ":\n" << c.err;
    const CliRun o = runProgram(cc.objcopy, {"-O", "binary", "--only-section=.vmall",
                                             dir.file("oracle.o"), dir.file("oracle.bin")});
    EXPECT_EQ(o.code, 0) << o.err;
    const std::vector<std::uint8_t> image = readBytes(dir.file("oracle.bin"));
    auto number = [&](std::size_t i) {
        std::uint64_t v = 0;
        for (int b = 7; b >= 0; --b)
            v = (v << 8) | (i * 8 + static_cast<std::size_t>(b) < image.size() ? image[i * 8 + static_cast<std::size_t>(b)] : 0);
        return static_cast<std::int64_t>(v);
    };

    std::vector<std::vector<Expected>> out;
    std::size_t at = 0;
    for (const GenType& t : records) {
        std::vector<Expected> fields;
        std::vector<const Leaf*> bitLeaves;
        for (const Leaf& l : t.leaves) {
            if (l.cat == Cat::Bits) {
                bitLeaves.push_back(&l);
                continue;
            }
            const std::int64_t off = number(at++), size = number(at++);
            fields.push_back({off, size, kindFor(l.cat, size), l.memo});
        }
        const std::int64_t size = number(at++), probeAt = number(at++);
        sizes.push_back(size);
        // Each byte a bit-field sets is one bits field, listing them.
        std::map<std::int64_t, std::vector<const Leaf*>> bytes;
        for (std::size_t k = 0; k < bitLeaves.size(); ++k)
            for (std::int64_t b = 0; b < size; ++b) {
                const std::size_t pos = static_cast<std::size_t>(probeAt + static_cast<std::int64_t>(k) * size + b);
                if (pos < image.size() && image[pos] != 0)
                    bytes[b].push_back(bitLeaves[k]);
            }
        for (const auto& [b, ls] : bytes) {
            std::string names;
            for (const Leaf* l : ls)
                names += (names.empty() ? "" : ",") + l->name;
            const std::string& prefix = ls.front()->prefix;
            fields.push_back({b, 1, static_cast<int>(TypeKind::Bit1),
                              prefix.empty() ? names : prefix + "." + names});
        }
        std::stable_sort(fields.begin(), fields.end(),
                         [](const Expected& a, const Expected& b) { return a.start < b.start; });
        out.push_back(fields);
    }
    return out;
}

void checkTarget(const Compiler& cc) {
    if (!vm::cImportBuiltIn())
        GTEST_SKIP() << vm::kCImportNotBuiltIn;
    if (runProgram(cc.gcc, {"--version"}).code != 0 || runProgram(cc.objcopy, {"--version"}).code != 0)
        GTEST_SKIP() << cc.gcc << " or " << cc.objcopy << " is missing (scripts/setup installs them)";
    const bool windows = std::string(cc.target).find("windows") != std::string::npos;
    for (unsigned seed = 1; seed <= 3; ++seed) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        TempDir dir;
        Generator gen(seed * 7919 + (windows ? 1 : 0), windows);
        gen.addTypes(3, 10);
        writeText(dir.file("gen.h"), gen.text());
        std::vector<std::int64_t> sizes;
        const auto expected = compilerLayout(cc, gen, dir, sizes);
        if (::testing::Test::HasFailure())
            return;

        vm::CDeclarations decls;
        vm::CImportOptions options;
        options.target = cc.target;
        ASSERT_TRUE(decls.parse({dir.file("gen.h"), std::nullopt}, options)) << decls.error();
        EXPECT_EQ(decls.structNames(), gen.listed());
        for (std::size_t r = 0; r < gen.records().size(); ++r) {
            const GenType& t = gen.records()[r];
            SCOPED_TRACE(t.name + "\n" + gen.text());
            const vm::CStructImport got = decls.import(t.name);
            ASSERT_TRUE(got.ok) << got.error;
            EXPECT_EQ(got.recordLength, sizes[r]);
            ASSERT_EQ(got.fields.size(), expected[r].size());
            std::set<std::string> memos, expectedMemos;
            for (std::size_t i = 0; i < got.fields.size(); ++i) {
                const vm::TypeEntry& e = got.fields[i];
                const Expected& x = expected[r][i];
                EXPECT_EQ(e.start, x.start) << "field " << i << " " << x.memo;
                EXPECT_EQ(e.length, x.length) << "field " << i << " " << x.memo;
                EXPECT_EQ(e.kind, x.kind) << "field " << i << " " << x.memo;
                // A memo an earlier field holds (a bit-field over several
                // bytes) is made unique; the first keeps it whole.
                if (x.memo.size() <= vm::kMemoMax && expectedMemos.insert(x.memo).second) {
                    EXPECT_EQ(e.memo, x.memo);
                }
                EXPECT_LE(e.memo.size(), vm::kMemoMax);
                EXPECT_TRUE(memos.insert(e.memo).second) << "memo twice: " << e.memo;
            }
        }
    }
}

TEST(CImport, LinuxLayoutIsGccs) {
    checkTarget({"x86_64-linux-gnu", "gcc", "objcopy"});
}

TEST(CImport, Windows32LayoutIsMingwGccs) {
    checkTarget({"i686-windows-msvc", "i686-w64-mingw32-gcc", "i686-w64-mingw32-objcopy"});
}

TEST(CImport, Windows64LayoutIsMingwGccs) {
    checkTarget({"x86_64-windows-msvc", "x86_64-w64-mingw32-gcc", "x86_64-w64-mingw32-objcopy"});
}

} // namespace

namespace {

// What cannot become a record is refused, naming the type or the member; the
// header's includes, definitions and target are honoured.
TEST(CImport, RefusalsNameWhatIsRefused) {
    if (!vm::cImportBuiltIn())
        GTEST_SKIP() << vm::kCImportNotBuiltIn;
    TempDir dir;
    std::filesystem::create_directory(dir.file("inc"));
    writeText(dir.file("inc/sizes.h"), "#define PAD 60000\n");
    const std::string text = "#include \"sizes.h\"\n"
                             "struct flex { int n; struct { int k; char data[]; } tail; };\n"
                             "struct zero { int n; char z[0]; };\n"
                             "union u { int a; };\n"
                             "typedef enum { A } e_t;\n"
                             "typedef unsigned count_t;\n"
                             "struct fwd;\n"
                             "struct toofar { char pad[PAD]; char more[PAD]; int x; };\n"
                             "struct toolong { unsigned char blob[70000]; };\n"
                             "struct empty { };\n"
                             "struct named { char name[NAME_LEN]; long l; };\n";
    // Pasted text standing in for a file that is not there.
    const vm::CHeader pasted{dir.file("pasted.h"), text};
    vm::CImportOptions options;
    options.includeDirs = {dir.file("inc")};
    options.defines = {"NAME_LEN=13"};
    vm::CDeclarations decls;
    ASSERT_TRUE(decls.parse(pasted, options)) << decls.error();
    const std::pair<const char*, const char*> refused[] = {
        {"flex", "Member tail.data of flex is a flexible array member"},
        {"struct zero", "Member z of struct zero is an array of no elements"},
        {"u", "u is not a struct (it is a union)"},
        {"e_t", "e_t is not a struct (it is an enum)"},
        {"count_t", "count_t is not a struct (it is unsigned int)"},
        {"fwd", "fwd is declared but not defined"},
        {"toofar", "Member x of toofar starts at byte 120000"},
        {"toolong", "Member blob of toolong is 70000 bytes long"},
        {"empty", "empty has no bytes"},
        {"nothing", "The header declares no type named nothing"},
    };
    for (const auto& [name, message] : refused) {
        const vm::CStructImport r = decls.import(name);
        EXPECT_FALSE(r.ok) << name;
        EXPECT_NE(r.error.find(message), std::string::npos) << r.error;
    }
    const vm::CStructImport named = decls.import("named");
    ASSERT_TRUE(named.ok) << named.error;
    EXPECT_EQ(named.recordLength, 24);
    ASSERT_EQ(named.fields.size(), 2u);
    EXPECT_EQ(named.fields[0].length, 13);

    // The definition and the include folder are what make the header compile;
    // a 32-bit Windows program's long is 4 bytes.
    options.target = "i686-windows-msvc";
    EXPECT_EQ(vm::importCStruct(pasted, "named", options).recordLength, 20);
    for (auto drop : {&vm::CImportOptions::defines, &vm::CImportOptions::includeDirs}) {
        vm::CImportOptions less = options;
        (less.*drop).clear();
        const vm::CStructImport r = vm::importCStruct(pasted, "named", less);
        EXPECT_FALSE(r.ok);
        EXPECT_NE(r.error.find("The header does not compile for i686-windows-msvc: "),
                  std::string::npos)
            << r.error;
    }
    options.target = "powerpc-linux-gnu";
    EXPECT_NE(vm::importCStruct(pasted, "named", options).error.find("big-endian"),
              std::string::npos);
    EXPECT_NE(vm::importCStruct({dir.file("absent.h"), std::nullopt}, "named", {})
                  .error.find("Cannot read"),
              std::string::npos);
}

} // namespace
