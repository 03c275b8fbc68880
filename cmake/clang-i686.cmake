# Cross build for 32-bit Windows with clang, a second compiler beside
# MinGW-w64's gcc (see the README). clang targets i686-w64-windows-gnu with
# the MinGW-w64 headers and libraries, gcc's libstdc++ (posix thread model,
# as the gcc build) and lld; the resources go through MinGW's windres.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(CMAKE_C_COMPILER clang)
set(CMAKE_CXX_COMPILER clang++)
set(CMAKE_C_COMPILER_TARGET i686-w64-windows-gnu)
set(CMAKE_CXX_COMPILER_TARGET i686-w64-windows-gnu)
set(CMAKE_RC_COMPILER i686-w64-mingw32-windres)
set(CMAKE_SYSROOT /usr/i686-w64-mingw32)

# clang does not find Debian's gcc folder by itself (its version is named
# "12-posix"): ask gcc where its libstdc++ and libgcc are.
execute_process(COMMAND i686-w64-mingw32-g++-posix -print-libgcc-file-name
                OUTPUT_VARIABLE qm_libgcc OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
get_filename_component(qm_gcc_dir ${qm_libgcc} DIRECTORY)
set(CMAKE_CXX_STANDARD_INCLUDE_DIRECTORIES
    ${qm_gcc_dir}/include/c++ ${qm_gcc_dir}/include/c++/i686-w64-mingw32 ${qm_gcc_dir}/include/c++/backward)
# The posix-model libstdc++ needs winpthreads, which gcc's driver adds.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-fuse-ld=lld -L${qm_gcc_dir} -lpthread")

set(CMAKE_FIND_ROOT_PATH /usr/i686-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
