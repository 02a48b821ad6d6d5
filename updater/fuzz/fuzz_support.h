// What the updater's fuzz targets share.
#pragma once

#include <cstdio>
#include <cstdlib>

#include "base/memory/alloc.h"
#include "base/memory/default_alloc.h"

// Aborts when `condition` fails, which the fuzzer reports as a crash with the
// input that broke `what`.
inline void Check(bool condition, const char* what) {
  if (!condition) {
    std::fprintf(stderr, "broken invariant: %s\n", what);
    std::abort();
  }
}

// Installs the allocator that library objects come from, for the whole run.
inline void UseDefaultAlloc() {
  static DefaultAlloc alloc;
  SetCurrentAlloc(&alloc);
}
