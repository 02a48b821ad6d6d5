# 32-bit Windows build, the product's own target. This machine cannot execute
# 32-bit code, so no emulator is set: the build is compiled and its PE headers
# checked, never run.
set(MINGW_ARCH i686)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
