#include "app/retry.h"

#include <windows.h>

void PauseBeforeRetry() { Sleep(kRetryPauseMs); }

void PauseBeforeRetry(bool (*stopped)(const void* context), const void* context) {
  constexpr uint32_t kSliceMs = 20;
  for (uint32_t waited = 0; waited < kRetryPauseMs && !stopped(context); waited += kSliceMs) Sleep(kSliceMs);
}
