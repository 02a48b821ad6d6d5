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
  // The first file too: nothing waits for any of them any more.
  m_stopAll.store(true);
  {
    Locked lock(&m_lock);
    m_closed = true;
    // Files no thread has taken are not started.
    for (size_t i = m_next; i < m_downloads.size(); ++i) m_downloads[i]->state = State::kStopped;
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
  // leaves the work to the others, and the first one to the caller's Wait.
  if (m_threads.size() < kParallelDownloads && m_threads.size() < m_downloads.size()) {
    HANDLE thread = CreateThread(nullptr, 0, ThreadProc, this, 0, nullptr);
    if (thread) m_threads.push_back(thread);
  }
}

bool DownloadQueue::Wait(size_t index) {
  Locked lock(&m_lock);
  Download* download = m_downloads[index];
  // Without a thread the owner transfers the file itself.
  while (download->state == State::kQueued) {
    if (m_threads.empty() && m_next == index) {
      ++m_next;
      ReleaseSRWLockExclusive(lock.Get());
      Stop stop(*this, index);
      uint32_t status = 0;
      TransferLimits limits;
      limits.maxBytes = download->maxBytes;
      const bool stored = m_session.DownloadWithRetry(download->url, download->destination, &status, limits, &stop) &&
                          IsAcceptedStatus(status);
      AcquireSRWLockExclusive(lock.Get());
      download->state = stored ? State::kDone : State::kFailed;
      break;
    }
    SleepConditionVariableSRW(Condition(&m_changed), lock.Get(), INFINITE, 0);
  }
  return download->state == State::kDone;
}

void DownloadQueue::StopAfter(size_t index) {
  size_t now = m_stopAfter.load();
  while (index < now && !m_stopAfter.compare_exchange_weak(now, index)) {
  }
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
    const size_t index = m_next++;
    Download* download = m_downloads[index];
    Stop stop(*this, index);
    if (stop.Requested()) {
      download->state = State::kStopped;
      WakeAllConditionVariable(Condition(&m_changed));
      continue;
    }
    ReleaseSRWLockExclusive(lock.Get());
    uint32_t status = 0;
    TransferLimits limits;
    limits.maxBytes = download->maxBytes;
    const bool stored = m_session.DownloadWithRetry(download->url, download->destination, &status, limits, &stop) &&
                        IsAcceptedStatus(status);
    // A failure stops the files after it at once, before the owner comes to it.
    if (!stored && !stop.Requested()) StopAfter(index);
    AcquireSRWLockExclusive(lock.Get());
    download->state = stored ? State::kDone : stop.Requested() ? State::kStopped : State::kFailed;
    WakeAllConditionVariable(Condition(&m_changed));
  }
}
