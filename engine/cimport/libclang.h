#pragma once

#include <string>

#include <clang-c/Index.h>

// libclang is loaded when a header is first imported, not when a program
// starts: it and LLVM weigh more than a hundred megabytes that every other
// command and the program's start-up would otherwise map and relocate, and a
// machine without it still runs everything else.
namespace vm::libclang {

#define VM_LIBCLANG_FUNCTIONS(X)                                                                   \
    X(clang_Cursor_getOffsetOfField)                                                               \
    X(clang_Cursor_isAnonymousRecordDecl)                                                          \
    X(clang_Cursor_isBitField)                                                                     \
    X(clang_Cursor_isNull)                                                                         \
    X(clang_Location_isInSystemHeader)                                                             \
    X(clang_Type_getSizeOf)                                                                        \
    X(clang_Type_getValueType)                                                                     \
    X(clang_Type_visitFields)                                                                      \
    X(clang_createIndex)                                                                           \
    X(clang_disposeDiagnostic)                                                                     \
    X(clang_disposeIndex)                                                                          \
    X(clang_disposeString)                                                                         \
    X(clang_disposeTranslationUnit)                                                                \
    X(clang_equalCursors)                                                                          \
    X(clang_formatDiagnostic)                                                                      \
    X(clang_getArrayElementType)                                                                   \
    X(clang_getArraySize)                                                                          \
    X(clang_getCString)                                                                            \
    X(clang_getCanonicalType)                                                                      \
    X(clang_getCursorDefinition)                                                                   \
    X(clang_getCursorKind)                                                                         \
    X(clang_getCursorLocation)                                                                     \
    X(clang_getCursorSpelling)                                                                     \
    X(clang_getCursorType)                                                                         \
    X(clang_getDiagnostic)                                                                         \
    X(clang_getDiagnosticSeverity)                                                                 \
    X(clang_getEnumConstantDeclValue)                                                              \
    X(clang_getEnumDeclIntegerType)                                                                \
    X(clang_getFieldDeclBitWidth)                                                                  \
    X(clang_getNumDiagnostics)                                                                     \
    X(clang_getTranslationUnitCursor)                                                              \
    X(clang_getTypeDeclaration)                                                                    \
    X(clang_getTypeSpelling)                                                                       \
    X(clang_getTypedefDeclUnderlyingType)                                                          \
    X(clang_isCursorDefinition)                                                                    \
    X(clang_parseTranslationUnit2)                                                                 \
    X(clang_visitChildren)

struct Api {
#define VM_LIBCLANG_MEMBER(name) decltype(&::name) name = nullptr;
    VM_LIBCLANG_FUNCTIONS(VM_LIBCLANG_MEMBER)
#undef VM_LIBCLANG_MEMBER
};

// The functions, loaded on the first call and kept; nullptr with the reason
// when the library or one of its functions is not there.
const Api* api(std::string* error);

} // namespace vm::libclang
