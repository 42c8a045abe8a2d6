# Cross-compiling for 64-bit Windows with Debian's mingw-w64:
#   cmake -S tests/platform -B build-win -G Ninja \
#         -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
# The POSIX-threads flavour of the compiler: std::mutex and std::thread need it with GCC 12.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(ORDALIX_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${ORDALIX_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ORDALIX_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${ORDALIX_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${ORDALIX_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# One self-contained executable: no compiler run-time DLLs to carry beside it.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
