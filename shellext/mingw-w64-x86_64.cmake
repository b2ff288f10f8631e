# Cross-compiling the shell extension for 64-bit Windows with Debian's mingw-w64.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(QZT_MINGW_TRIPLE x86_64-w64-mingw32)
# The posix thread flavour is the one Debian installs for C++20's <thread> and <atomic>.
find_program(CMAKE_CXX_COMPILER NAMES ${QZT_MINGW_TRIPLE}-g++-posix ${QZT_MINGW_TRIPLE}-g++ REQUIRED)
find_program(CMAKE_RC_COMPILER NAMES ${QZT_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${QZT_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
