# Cross-compiles for Windows x64 with Debian's MinGW-w64 GCC, posix thread model.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(KVT_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${KVT_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KVT_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${KVT_TRIPLE}-windres)
set(KVT_WIDL ${KVT_TRIPLE}-widl CACHE FILEPATH "IDL compiler")
set(KVT_IDL_INCLUDE /usr/include/wine/wine/windows CACHE PATH "Directory of the standard IDL files")

set(CMAKE_FIND_ROOT_PATH /usr/${KVT_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

# libgcc, libstdc++ and winpthread are linked statically: every .exe and .dll runs alone.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
