# 64-bit Windows build: every updater test, benchmark and demo runs it under Wine.
set(MINGW_ARCH x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)

# ctest, gtest discovery and custom commands run the programs through Wine.
# wine64 directly: /usr/bin/wine only forwards to it here and complains about
# the missing 32-bit Wine on every start.
find_program(WINE64 NAMES wine64 PATHS /usr/lib/wine NO_DEFAULT_PATH)
if(NOT WINE64)
  find_program(WINE64 NAMES wine64 wine REQUIRED)
endif()
set(CMAKE_CROSSCOMPILING_EMULATOR ${WINE64})
