# Second cross build of quillet.exe on Debian: Clang (Debian's clang, 14) targeting MinGW-w64,
# on the same MinGW-w64 headers, import libraries, libstdc++ and libgcc that the GCC build
# (cmake/mingw-w64.cmake, package g++-mingw-w64-x86-64-posix) uses. The resources still go
# through windres; archives and symbol lists through the MinGW binutils; the link through LLVM's
# lld (see the end of this file).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(QUILLET_MINGW_TRIPLE x86_64-w64-mingw32)
# GCC's libstdc++ for MinGW keeps its thread-local variables (std::__once_callable and
# std::__once_call behind std::call_once, used by std::async among others) in emulated TLS,
# read through libgcc's __emutls_get_address; clang's default on Windows is native TLS, whose
# references to those variables find nothing in libstdc++.a ("undefined symbol:
# std::__once_callable"). -femulated-tls is GCC's ABI here, for C and C++ alike.
set(CMAKE_C_COMPILER clang -femulated-tls)
set(CMAKE_C_COMPILER_TARGET ${QUILLET_MINGW_TRIPLE})
set(CMAKE_CXX_COMPILER_TARGET ${QUILLET_MINGW_TRIPLE})
set(CMAKE_RC_COMPILER ${QUILLET_MINGW_TRIPLE}-windres)
# The MinGW binutils, as in the GCC build (archives, symbol lists); the import libraries of the
# delayed DLLs come from LLVM's dlltool, in the form lld can delay (src/app/CMakeLists.txt).
set(CMAKE_AR ${QUILLET_MINGW_TRIPLE}-ar CACHE FILEPATH "")
set(CMAKE_RANLIB ${QUILLET_MINGW_TRIPLE}-ranlib CACHE FILEPATH "")
set(CMAKE_NM ${QUILLET_MINGW_TRIPLE}-nm CACHE FILEPATH "")
set(CMAKE_DLLTOOL llvm-dlltool CACHE FILEPATH "")
set(CMAKE_LINKER ld.lld CACHE FILEPATH "")

# Where clang 14 looks on its own, and why that is not enough here:
# - Without a sysroot its MinGW driver takes /usr (the parent of the folder holding
#   x86_64-w64-mingw32-gcc) as the base, and so also searches /usr/include and links with
#   -L/usr/lib: the Linux headers and libraries behind the MinGW ones. The sysroot
#   /usr/x86_64-w64-mingw32 keeps both searches inside the MinGW-w64 tree (its include/ and
#   lib/: the C runtime, crt2.o, crtbegin.o, the import libraries, winpthreads).
# - It looks for GCC's own folder as lib/gcc/<triple>/<version> under that base, and Debian's
#   is /usr/lib/gcc/x86_64-w64-mingw32/12-posix, outside the sysroot and named "12-posix",
#   which clang 14 does not take for a version (--gcc-toolchain is not read by its MinGW
#   driver). Without it clang finds neither libstdc++'s headers nor libstdc++.a, libgcc.a and
#   libgcc_eh.a. So the posix g++ is asked where that folder is, and the toolchain names it:
#   -stdlib++-isystem replaces the C++ library folders clang would guess (among them a
#   relative "include/c++") with libstdc++'s three, in GCC's order and at the place the
#   driver gives the C++ library (after -I and -isystem, before clang's own headers and the
#   C headers), as system headers; -L gives the libraries. Unlike -nostdinc++ it draws no
#   "unused argument" warning on the link line, where CMake repeats the compiler's options.
#   -stdlib=libstdc++ and --rtlib=libgcc are clang's defaults for this target already.
set(CMAKE_SYSROOT /usr/${QUILLET_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH /usr/${QUILLET_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

execute_process(COMMAND ${QUILLET_MINGW_TRIPLE}-g++-posix -print-libgcc-file-name
                OUTPUT_VARIABLE QUILLET_MINGW_LIBGCC OUTPUT_STRIP_TRAILING_WHITESPACE
                RESULT_VARIABLE QUILLET_MINGW_GXX_RESULT)
if(NOT QUILLET_MINGW_GXX_RESULT EQUAL 0 OR NOT EXISTS "${QUILLET_MINGW_LIBGCC}")
  message(FATAL_ERROR "clang-mingw-w64: ${QUILLET_MINGW_TRIPLE}-g++-posix (package "
                      "g++-mingw-w64-x86-64-posix) is needed for libstdc++ and libgcc")
endif()
get_filename_component(QUILLET_MINGW_GCC_DIR "${QUILLET_MINGW_LIBGCC}" DIRECTORY)
set(QUILLET_LIBSTDCXX_INCLUDE ${QUILLET_MINGW_GCC_DIR}/include/c++)
# Given with the compiler (CMake's way for options a compiler needs to work at all), so a
# CMAKE_CXX_FLAGS set on the command line (test.sh's -Werror) adds to them, not replaces them;
# -femulated-tls is explained above.
set(CMAKE_CXX_COMPILER clang++ -femulated-tls
    -stdlib++-isystem ${QUILLET_LIBSTDCXX_INCLUDE}
    -stdlib++-isystem ${QUILLET_LIBSTDCXX_INCLUDE}/${QUILLET_MINGW_TRIPLE}
    -stdlib++-isystem ${QUILLET_LIBSTDCXX_INCLUDE}/backward)

# One self-contained file, as in the GCC build: -static links libstdc++, libgcc (with
# libgcc_eh, not the libgcc_s DLL) and winpthreads statically. MinGW's g++ always links
# -lpthread (its libstdc++ is built on winpthreads); clang's driver does so only with -pthread.
#
# The linker is LLVM's lld (Debian package lld), not the MinGW GNU ld. Clang emits, in every
# object that needs it, its own copy of the type information of libstdc++'s classes
# (std::exception, std::runtime_error, std::thread::_State, ...: on MinGW it never relies on
# the library's copy), and its name strings are shorter than the padded "same size" copies in
# GCC's libstdc++.a; GNU ld keeps one and reports each pair ("libstdc++.a(eh_alloc.o):
# duplicate section `.rdata$_ZTSSt9exception[...]' has different size", 55 lines for
# quillet.exe, counted as warnings by --fatal-warnings, with no option to turn them off); lld
# keeps one copy without a word.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -pthread -L${QUILLET_MINGW_GCC_DIR} -fuse-ld=lld")
