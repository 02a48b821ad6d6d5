// Allocator benchmark: FastAlloc and DebugAlloc against the C run-time heap
// (malloc/free) and the process heap (HeapAlloc), all in the same run and all
// called through the library's Alloc interface. Prints operations per second
// and the ratios to both baselines.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <random>
#include <vector>

#include "base/memory/alloc.h"
#include "base/memory/fast_alloc.h"
#include "base/memory/library.h"
#include "base/memory/list.h"
#include "base/text/wide_string.h"
#include "bench/bench_timer.h"

namespace {
class MallocAlloc : public Alloc {
public:
  void* Allocate(uint32_t size) override { return std::malloc(size ? size : 1); }
  void* Reallocate(void* block, uint32_t size) override { return std::realloc(block, size); }
  void Free(void* block) override { std::free(block); }
  void ReleaseAll() override {}
};

class ProcessHeapAlloc : public Alloc {
public:
  void* Allocate(uint32_t size) override { return HeapAlloc(m_heap, 0, size ? size : 1); }
  void* Reallocate(void* block, uint32_t size) override {
    if (!block) return Allocate(size);
    if (size == 0) {
      HeapFree(m_heap, 0, block);
      return nullptr;
    }
    return HeapReAlloc(m_heap, 0, block, size);
  }
  void Free(void* block) override {
    if (block) HeapFree(m_heap, 0, block);
  }
  void ReleaseAll() override {}

private:
  HANDLE m_heap = GetProcessHeap();
};

// The amounts of work: the full run's, or with --short the check's (small
// sizes, one run), which proves that every measured operation works.
struct Scale {
  int runs = 3;
  int pairs = 2000000;
  int live = 1024;
  int stringLength = 10000;
  int strings = 40;
  uint32_t listLength = 100000;
  int lists = 5;
};
Scale g_scale;

[[noreturn]] void Fail(const char* what) {
  std::fprintf(stderr, "alloc_bench: %s failed\n", what);
  std::exit(1);
}

// Best operations per second of the runs of `work`, which performs `ops` operations.
template <typename Work>
double Rate(uint64_t ops, Work work) {
  double best = 0;
  for (int run = 0; run < g_scale.runs; ++run) {
    double start = Seconds();
    work();
    double rate = static_cast<double>(ops) / (Seconds() - start);
    if (rate > best) best = rate;
  }
  return best;
}

// Allocate/free pairs of mixed small sizes, with a window of live blocks so
// that frees are not simply the block just allocated.
double SmallPairs(Alloc* alloc, const std::vector<uint32_t>& sizes) {
  const int pairs = g_scale.pairs;
  std::vector<void*> live(g_scale.live, nullptr);
  return Rate(pairs, [&] {
    for (int i = 0; i < pairs; ++i) {
      void*& slot = live[i % live.size()];
      alloc->Free(slot);
      slot = alloc->Allocate(sizes[i % sizes.size()]);
      if (!slot) Fail("an allocation");
      *static_cast<char*>(slot) = 1;
    }
    for (void*& slot : live) {
      alloc->Free(slot);
      slot = nullptr;
    }
  });
}

// String appends of one character, as the current allocator serves them.
double StringGrowth() {
  const int length = g_scale.stringLength;
  return Rate(uint64_t(g_scale.strings) * length, [length] {
    for (int n = 0; n < g_scale.strings; ++n) {
      String s;
      for (int i = 0; i < length; ++i) s += L"x";
      if (s.Length() != static_cast<uint32_t>(length)) Fail("a String append");
    }
  });
}

double ListGrowth() {
  const uint32_t length = g_scale.listLength;
  return Rate(uint64_t(g_scale.lists) * length, [length] {
    for (int n = 0; n < g_scale.lists; ++n) {
      List<uint32_t> list;
      for (uint32_t i = 0; i < length; ++i) list.Add(i);
      if (list.Num() != length || list[length - 1] != length - 1) Fail("a List append");
    }
  });
}

struct Result {
  const char* name;
  double pairs, strings, lists;
};

Result Measure(const char* name, Alloc* alloc, const std::vector<uint32_t>& sizes) {
  Alloc* previous = SetCurrentAlloc(alloc);
  Result result{name, SmallPairs(alloc, sizes), StringGrowth(), ListGrowth()};
  SetCurrentAlloc(previous);
  return result;
}
}  // namespace

int main(int argc, char** argv) {
  if (argc > 1 && std::strcmp(argv[1], "--short") == 0) {
    g_scale = Scale{1, 20000, 64, 1000, 4, 1000, 2};
  } else if (argc > 1) {
    std::fprintf(stderr, "usage: alloc_bench.exe [--short]\n");
    return 2;
  }
  InitSystemInfo();
  std::mt19937 random(42);
  std::vector<uint32_t> sizes(1 << 16);
  for (uint32_t& size : sizes) {
    // Mostly tiny, some up to 2 KiB, as strings, list arrays and tree nodes are.
    size = random() % 4 ? 1 + random() % 128 : 1 + random() % 2048;
  }

  std::vector<Result> results;
  {
    MallocAlloc crt;
    results.push_back(Measure("malloc/free", &crt, sizes));
  }
  {
    ProcessHeapAlloc heap;
    results.push_back(Measure("HeapAlloc", &heap, sizes));
  }
  {
    FastAlloc fast;  // one FastAlloc at a time: its tables are process-wide
    results.push_back(Measure("FastAlloc", &fast, sizes));
  }
  {
    DebugAlloc debug;
    results.push_back(Measure("DebugAlloc", &debug, sizes));
  }

  const Result& crt = results[0];
  const Result& heap = results[1];
  std::printf("Operations per second (best of %d); ratios against malloc/free and HeapAlloc\n", g_scale.runs);
  std::printf("  small pairs: %d allocate+free pairs, sizes 1-2048 bytes, %d blocks live\n", g_scale.pairs,
              g_scale.live);
  std::printf("  String: %d strings grown by one character to %d\n", g_scale.strings, g_scale.stringLength);
  std::printf("  List: %d lists grown by Add to %u entries\n\n", g_scale.lists, g_scale.listLength);
  std::printf("%-12s %14s %7s %7s %14s %7s %7s %14s %7s %7s\n", "allocator", "small pairs/s", "xCRT", "xHeap",
              "String adds/s", "xCRT", "xHeap", "List adds/s", "xCRT", "xHeap");
  for (const Result& r : results) {
    std::printf("%-12s %14.0f %7.2f %7.2f %14.0f %7.2f %7.2f %14.0f %7.2f %7.2f\n", r.name, r.pairs,
                r.pairs / crt.pairs, r.pairs / heap.pairs, r.strings, r.strings / crt.strings,
                r.strings / heap.strings, r.lists, r.lists / crt.lists, r.lists / heap.lists);
  }
  return 0;
}
