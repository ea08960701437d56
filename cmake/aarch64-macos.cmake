# macOS on Apple silicon, cross-built with Zig (see macos.cmake).
set(REVADD_MACOS_ARCH aarch64)
include(${CMAKE_CURRENT_LIST_DIR}/macos.cmake)
