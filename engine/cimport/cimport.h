#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "cstruct.h"

// C declarations in: a header parsed by libclang for a chosen target, and the
// fields of one of its structs as that target's compiler lays them out. A
// library of its own, so that the engine needs no libclang; built without it,
// every call says the feature is not built in.
namespace vm {

// The header: a file, or text (pasted, or edited after loading) that stands
// in for the file at path (with no path, pasted.h in the current folder).
// Includes in quotes are looked up beside it.
struct CHeader {
    std::string path;
    std::optional<std::string> text;
};

inline constexpr const char* kDefaultCTarget = "x86_64-linux-gnu";

struct CImportOptions {
    std::string target = kDefaultCTarget; // a target triple clang knows
    std::vector<std::string> includeDirs;
    std::vector<std::string> defines; // NAME or NAME=VALUE
};

// The targets offered in lists: the default first, then those of Windows
// programs, whose files our users often hold.
inline std::vector<std::string> offeredCTargets() {
    return {kDefaultCTarget, "i686-windows-msvc", "x86_64-windows-msvc"};
}

// False when this build has no libclang.
bool cImportBuiltIn();
inline constexpr const char* kCImportNotBuiltIn =
    "C declarations cannot be imported: this build of Vellomarque was made without libclang";

// One header parsed once; its structs imported as often as wanted.
class CDeclarations {
public:
    CDeclarations();
    ~CDeclarations();
    CDeclarations(const CDeclarations&) = delete;
    CDeclarations& operator=(const CDeclarations&) = delete;

    // False, with error(), when the header cannot be read or parsed, has an
    // error, or the target stores its numbers big-endian.
    bool parse(const CHeader& header, const CImportOptions& options);
    const std::string& error() const { return m_error; }

    // The structs defined outside system headers, in declaration order: a
    // typedef name, or "struct tag" for a tag no typedef names.
    std::vector<std::string> structNames() const;

    // The fields of one type: a typedef name, a tag, or "struct tag".
    CStructImport import(std::string_view typeName) const;

private:
    struct Parsed;
    std::unique_ptr<Parsed> m_parsed;
    std::string m_error;
};

// Parses and imports in one go.
CStructImport importCStruct(const CHeader& header, std::string_view typeName,
                            const CImportOptions& options);

} // namespace vm
