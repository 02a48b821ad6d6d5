// The downloads of an update run, several at once over one HTTP session,
// while the run goes on scanning and then takes each as it ends.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "app/http_download.h"
#include "base/memory/alloc.h"
#include "base/text/wide_string.h"

// Downloads files in the order they are added, kParallelDownloads at a time,
// each with HttpSession::DownloadWithRetry, and gives them back as they end.
// The first transfer that fails stops every other one at once (between two
// reads, or in the pause before a retry) and nothing more is started: the run
// fails with it. Add, WaitNext and the destructor are for one thread, the
// owner's.
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
  // Waits until a download that no earlier call gave has stored its file
  // (status 200, or 304: IsAcceptedStatus) and gives its number in `*index`,
  // in the order the downloads end. False once a transfer has failed, with
  // `*index` the number of the first one that did. At most one call per file
  // added.
  bool WaitNext(size_t* index);

private:
  struct Download : LibraryObject {
    String url;
    String destination;
    uint64_t maxBytes = 0;
  };
  // Asks whether the transfers are to stop.
  class Stop final : public TransferStop {
  public:
    explicit Stop(const DownloadQueue& queue) : m_queue(queue) {}
    bool Requested() const override { return m_queue.m_stop.load(); }

  private:
    const DownloadQueue& m_queue;
  };

  static unsigned long __stdcall ThreadProc(void* queue);
  void Transfer();
  // Takes the next file off the queue (the lock held, and released while it
  // runs: the owner may be adding files) and transfers it. A failure stops
  // the others.
  void RunNext(void** lock);

  HttpSession& m_session;
  // Below: m_downloads, m_next, m_ended, m_given and m_closed, under m_lock.
  void* m_lock = nullptr;     // SRWLOCK
  void* m_changed = nullptr;  // CONDITION_VARIABLE: a file added, a download ended, or closing
  std::vector<Download*, LibraryAllocator<Download*>> m_downloads;
  size_t m_next = 0;  // the first file no thread has taken
  std::vector<size_t, LibraryAllocator<size_t>> m_ended;  // the files stored, in the order they ended
  size_t m_given = 0;  // of m_ended, those WaitNext gave
  bool m_closed = false;
  std::atomic<bool> m_stop{false};
  std::atomic<size_t> m_firstFailure{SIZE_MAX};
  std::vector<void*, LibraryAllocator<void*>> m_threads;
};
