// The update engine's retry policy: an operation that fails is tried again
// 500 ms later, 6 attempts in all.
#pragma once

#include <cstdint>

constexpr int kRetryAttempts = 6;
constexpr uint32_t kRetryPauseMs = 500;

// Waits kRetryPauseMs on the calling thread.
void PauseBeforeRetry();

// Waits kRetryPauseMs as PauseBeforeRetry, or less: ends within 20 ms once
// `stopped(context)` is true.
void PauseBeforeRetry(bool (*stopped)(const void* context), const void* context);

// Runs `operation` (returning true on success) until it succeeds,
// kRetryAttempts times at most, pausing between attempts; the last attempt's
// result.
template <typename Operation>
bool WithRetry(Operation operation) {
  for (int attempt = 1;; ++attempt) {
    if (operation()) return true;
    if (attempt == kRetryAttempts) return false;
    PauseBeforeRetry();
  }
}
