# macOS on Intel, cross-built with Zig (see macos.cmake).
set(REVADD_MACOS_ARCH x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/macos.cmake)
