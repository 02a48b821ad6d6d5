#include "app/retry.h"

#include <windows.h>

void PauseBeforeRetry() { Sleep(kRetryPauseMs); }
