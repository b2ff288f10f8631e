# The shell extension's toolchain, plus the C compiler that GoogleTest's own
# project enables.
include(${CMAKE_CURRENT_LIST_DIR}/../../shellext/mingw-w64-x86_64.cmake)
find_program(CMAKE_C_COMPILER NAMES ${QZT_MINGW_TRIPLE}-gcc-posix ${QZT_MINGW_TRIPLE}-gcc REQUIRED)
