#include "app/download_queue.h"

#include <windows.h>

#include "base/system/scoped_handle.h"

namespace {
// The lock and the condition are one pointer each, as the header keeps them.
static_assert(sizeof(SRWLOCK) == sizeof(void*) && sizeof(CONDITION_VARIABLE) == sizeof(void*), "layout");

class Locked {
public:
  explicit Locked(void** lock) : m_lock(reinterpret_cast<PSRWLOCK>(lock)) { AcquireSRWLockExclusive(m_lock); }
  ~Locked() { ReleaseSRWLockExclusive(m_lock); }
  Locked(const Locked&) = delete;
  Locked& operator=(const Locked&) = delete;
  PSRWLOCK Get() const { return m_lock; }

private:
  PSRWLOCK m_lock;
};

PCONDITION_VARIABLE Condition(void** condition) { return reinterpret_cast<PCONDITION_VARIABLE>(condition); }
}  // namespace

DownloadQueue::~DownloadQueue() {
  // Nothing waits for any of them any more.
  m_stop.store(true);
  {
    Locked lock(&m_lock);
    m_closed = true;
    // Files no thread has taken are not started.
    m_next = m_downloads.size();
    WakeAllConditionVariable(Condition(&m_changed));
  }
  for (void* thread : m_threads) {
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
  }
  for (Download* download : m_downloads) delete download;
}

void DownloadQueue::Add(const String& url, const String& destination, uint64_t maxBytes) {
  Download* download = new Download;
  download->url = url;
  download->destination = destination;
  download->maxBytes = maxBytes;
  {
    Locked lock(&m_lock);
    m_downloads.push_back(download);
    WakeAllConditionVariable(Condition(&m_changed));
  }
  // A thread more while there are files for it; one that cannot be made
  // leaves the work to the others, or to the owner's WaitNext.
  if (m_threads.size() < kParallelDownloads && m_threads.size() < m_downloads.size()) {
    HANDLE thread = CreateThread(nullptr, 0, ThreadProc, this, 0, nullptr);
    if (thread) m_threads.push_back(thread);
  }
}

bool DownloadQueue::WaitNext(size_t* index) {
  Locked lock(&m_lock);
  for (;;) {
    const size_t failed = m_firstFailure.load();
    if (failed != SIZE_MAX) {
      *index = failed;
      return false;
    }
    if (m_given < m_ended.size()) {
      *index = m_ended[m_given++];
      return true;
    }
    // Without a thread the owner transfers the files itself.
    if (m_threads.empty() && m_next < m_downloads.size()) {
      RunNext(&m_lock);
    } else {
      SleepConditionVariableSRW(Condition(&m_changed), lock.Get(), INFINITE, 0);
    }
  }
}

void DownloadQueue::RunNext(void** lock) {
  const size_t index = m_next++;
  const Download& download = *m_downloads[index];
  ReleaseSRWLockExclusive(reinterpret_cast<PSRWLOCK>(lock));
  Stop stop(*this);
  uint32_t status = 0;
  TransferLimits limits;
  limits.maxBytes = download.maxBytes;
  const bool stored = !stop.Requested() &&
                      m_session.DownloadWithRetry(download.url, download.destination, &status, limits, &stop) &&
                      IsAcceptedStatus(status);
  if (!stored && !stop.Requested()) {
    // The first failure stops the rest at once, before the owner comes to it.
    size_t none = SIZE_MAX;
    m_firstFailure.compare_exchange_strong(none, index);
    m_stop.store(true);
  }
  AcquireSRWLockExclusive(reinterpret_cast<PSRWLOCK>(lock));
  if (stored) m_ended.push_back(index);
  WakeAllConditionVariable(Condition(&m_changed));
}

unsigned long __stdcall DownloadQueue::ThreadProc(void* queue) {
  static_cast<DownloadQueue*>(queue)->Transfer();
  return 0;
}

void DownloadQueue::Transfer() {
  Locked lock(&m_lock);
  for (;;) {
    while (m_next == m_downloads.size() && !m_closed) {
      SleepConditionVariableSRW(Condition(&m_changed), lock.Get(), INFINITE, 0);
    }
    if (m_next == m_downloads.size()) return;
    RunNext(&m_lock);
  }
}
