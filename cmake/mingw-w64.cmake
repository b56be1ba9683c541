# Cross-compile the Windows DLL with mingw-w64.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

# The library uses std::mutex, std::once_flag and std::thread facilities, which
# the win32 thread model of older mingw-w64 compilers lacks: prefer the posix
# thread model variants when they are installed (winpthread is linked into the
# DLL statically, see CMakeLists.txt).
find_program(SWATHLINK_MINGW_CC NAMES x86_64-w64-mingw32-gcc-posix x86_64-w64-mingw32-gcc)
find_program(SWATHLINK_MINGW_CXX NAMES x86_64-w64-mingw32-g++-posix x86_64-w64-mingw32-g++)
set(CMAKE_C_COMPILER ${SWATHLINK_MINGW_CC})
set(CMAKE_CXX_COMPILER ${SWATHLINK_MINGW_CXX})
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)

set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
