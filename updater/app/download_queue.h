// The downloads of an update run, several at once over one HTTP session,
// while the run goes on scanning and then takes their results in order.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "app/http_download.h"
#include "base/memory/alloc.h"
#include "base/text/wide_string.h"

// Transfers running at the same time, each on a thread and a connection of
// its own.
constexpr uint32_t kParallelDownloads = 4;

// Downloads files in the order they are added, kParallelDownloads at a time,
// each with HttpSession::DownloadWithRetry. A failed transfer stops every
// transfer of a file added after it at once (those before it go on, so that
// the first failure in order is known); nothing is started for them any more.
// Add, Wait, StopAfter and the destructor are for one thread, the owner's.
class DownloadQueue {
public:
  explicit DownloadQueue(HttpSession& session) : m_session(session) {}
  // Stops every transfer and waits for the threads.
  ~DownloadQueue();
  DownloadQueue(const DownloadQueue&) = delete;
  DownloadQueue& operator=(const DownloadQueue&) = delete;

  // Queues the download of `url` into the file `destination`, at most
  // `maxBytes` bytes; its number is the count of files added before it.
  void Add(const String& url, const String& destination, uint64_t maxBytes);
  // Waits until the download `index` has ended. True when it stored its file
  // with status 200, or answered 304 (IsAcceptedStatus).
  bool Wait(size_t index);
  // Stops the transfers of every file after `index` (SIZE_MAX: none stops).
  void StopAfter(size_t index);

private:
  enum class State { kQueued, kDone, kFailed, kStopped };
  struct Download : LibraryObject {
    String url;
    String destination;
    uint64_t maxBytes = 0;
    State state = State::kQueued;
  };
  // Asks whether the transfer of file `index` is to stop.
  class Stop final : public TransferStop {
  public:
    Stop(const DownloadQueue& queue, size_t index) : m_queue(queue), m_index(index) {}
    bool Requested() const override { return m_queue.m_stopAll.load() || m_queue.m_stopAfter.load() < m_index; }

  private:
    const DownloadQueue& m_queue;
    size_t m_index;
  };

  static unsigned long __stdcall ThreadProc(void* queue);
  void Transfer();

  HttpSession& m_session;
  // Below: m_downloads, m_next, m_closed and each state, under m_lock.
  void* m_lock = nullptr;     // SRWLOCK
  void* m_changed = nullptr;  // CONDITION_VARIABLE: a file added, a download ended, or closing
  std::vector<Download*, LibraryAllocator<Download*>> m_downloads;
  size_t m_next = 0;  // the first file no thread has taken
  bool m_closed = false;
  std::atomic<size_t> m_stopAfter{SIZE_MAX};
  std::atomic<bool> m_stopAll{false};  // closing: every transfer stops
  std::vector<void*, LibraryAllocator<void*>> m_threads;
};
