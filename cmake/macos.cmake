# Cross build for macOS from Linux with Zig's C++ compiler (Clang 16, with macOS's C
# library headers and libc++), version 0.11 (`scripts/bootstrap zig` installs it from the
# npm registry), through the scripts in cmake/zig/. For a Mac on arm64 or x86-64:
#   cmake -S . -B build-macos-arm64 -DCMAKE_TOOLCHAIN_FILE=cmake/aarch64-macos.cmake
# Nothing here runs what it builds: the tests are compiled and linked, not run.
set(CMAKE_SYSTEM_NAME Darwin)
set(CMAKE_SYSTEM_PROCESSOR ${REVADD_MACOS_ARCH})
set(zig_dir ${CMAKE_CURRENT_LIST_DIR}/zig)
set(CMAKE_C_COMPILER ${zig_dir}/${REVADD_MACOS_ARCH}-macos-cc)
set(CMAKE_CXX_COMPILER ${zig_dir}/${REVADD_MACOS_ARCH}-macos-c++)
set(CMAKE_AR ${zig_dir}/ar CACHE FILEPATH "")
set(CMAKE_RANLIB ${zig_dir}/ranlib CACHE FILEPATH "")
# Only shared libraries would need it, and none is built.
set(CMAKE_INSTALL_NAME_TOOL true CACHE FILEPATH "")
# No SDK to look for: Zig brings the headers and links against its own stubs.
set(CMAKE_OSX_SYSROOT "" CACHE PATH "")
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
