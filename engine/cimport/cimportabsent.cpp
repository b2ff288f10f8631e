// The C import of a build made without libclang: every call says so.
#include "cimport.h"

namespace vm {

struct CDeclarations::Parsed {};

bool cImportBuiltIn() {
    return false;
}

CDeclarations::CDeclarations() = default;
CDeclarations::~CDeclarations() = default;

bool CDeclarations::parse(const CHeader&, const CImportOptions&) {
    m_error = kCImportNotBuiltIn;
    return false;
}

std::vector<std::string> CDeclarations::structNames() const {
    return {};
}

CStructImport CDeclarations::import(std::string_view) const {
    CStructImport r;
    r.error = kCImportNotBuiltIn;
    return r;
}

CStructImport importCStruct(const CHeader&, std::string_view, const CImportOptions&) {
    CStructImport r;
    r.error = kCImportNotBuiltIn;
    return r;
}

} // namespace vm
