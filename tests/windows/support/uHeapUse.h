// Bytes in use on every heap of the process: what the leak checks and the benchmarks compare.
// Wine reports no private bytes, and the CRT's malloc may keep a heap of its own, so every heap
// is walked.
#pragma once

#include <windows.h>

#include <vector>

inline SIZE_T HeapBytesInUse() {
  std::vector<HANDLE> heaps(::GetProcessHeaps(0, nullptr) + 16);
  heaps.resize(::GetProcessHeaps(static_cast<DWORD>(heaps.size()), heaps.data()));
  SIZE_T total = 0;
  for (HANDLE heap : heaps) {
    if (!::HeapLock(heap)) continue;
    PROCESS_HEAP_ENTRY entry = {};
    while (::HeapWalk(heap, &entry)) {
      if (entry.wFlags & PROCESS_HEAP_ENTRY_BUSY) total += entry.cbData;
    }
    ::HeapUnlock(heap);
  }
  return total;
}
