// Owner of a Win32 critical section, without <windows.h> in the header.
#pragma once

// A re-entrant lock; created initialised, deleted with the owner.
class CriticalSection {
public:
  CriticalSection();
  ~CriticalSection();
  CriticalSection(const CriticalSection&) = delete;
  CriticalSection& operator=(const CriticalSection&) = delete;

  void Enter();
  void Leave();

private:
  // Storage for the platform's CRITICAL_SECTION (checked in the .cpp).
  alignas(void*) unsigned char m_storage[sizeof(void*) == 8 ? 40 : 24];
};

// Holds a critical section for the scope.
class CriticalSectionLock {
public:
  explicit CriticalSectionLock(CriticalSection& section) : m_section(section) { m_section.Enter(); }
  ~CriticalSectionLock() { m_section.Leave(); }
  CriticalSectionLock(const CriticalSectionLock&) = delete;
  CriticalSectionLock& operator=(const CriticalSectionLock&) = delete;

private:
  CriticalSection& m_section;
};
