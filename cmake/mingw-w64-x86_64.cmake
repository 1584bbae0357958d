# Cross build for Windows x64 with Debian's mingw-w64, POSIX threads flavour (std::thread and
# std::mutex need it). Programs are linked statically, so Wine runs them without DLLs on a path.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(QUILLMAP_MINGW_TRIPLET x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${QUILLMAP_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${QUILLMAP_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${QUILLMAP_MINGW_TRIPLET}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${QUILLMAP_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# binmode.o opens every file in binary mode: no CR LF translation behind the writers' backs.
set(CMAKE_EXE_LINKER_FLAGS_INIT
    "-static -static-libgcc -static-libstdc++ /usr/${QUILLMAP_MINGW_TRIPLET}/lib/binmode.o")
# Build steps and tests run the Windows programs through Wine (scripts/wine-run: see there why).
find_program(QUILLMAP_WINE NAMES wine wine64)
if(QUILLMAP_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run)
endif()
