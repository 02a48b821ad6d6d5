#include "base/system/critical_section.h"

#include <windows.h>

namespace {
static_assert(sizeof(CRITICAL_SECTION) <= sizeof(CriticalSection), "storage too small");
CRITICAL_SECTION* Native(unsigned char* storage) { return reinterpret_cast<CRITICAL_SECTION*>(storage); }
}  // namespace

CriticalSection::CriticalSection() { InitializeCriticalSection(Native(m_storage)); }
CriticalSection::~CriticalSection() { DeleteCriticalSection(Native(m_storage)); }
void CriticalSection::Enter() { EnterCriticalSection(Native(m_storage)); }
void CriticalSection::Leave() { LeaveCriticalSection(Native(m_storage)); }
