// The receiver of an update run's reports: a window, a test, a benchmark.
#pragma once

#include <cstdint>

// The receiver of one run's reports. Every report is made on the run's thread
// and returns once it has been handled, in this order: Progress after each
// verified file, then InstallStarting and InstallEnded around the install
// pass (when files are to be installed), then Finished.
class UpdateReport {
public:
  virtual ~UpdateReport() = default;

  // After each file has been downloaded and verified: done and total bytes,
  // both scaled down together to fit in 31 bits.
  virtual void Progress(uint32_t done, uint32_t total) = 0;
  // Before the first installed file is touched. True lets the install pass
  // start; false (the receiver is closing) ends the run at once, without any
  // further report. Until InstallEnded the receiver must keep the process
  // alive: the pass is the only part of a run that must not be cut off.
  virtual bool InstallStarting() = 0;
  // Once every file is in place or every changed file restored. The final
  // report follows.
  virtual void InstallEnded() = 0;
  // The end of the run: `error` is its error text, none when it succeeded.
  // Made exactly once, unless the install pass was refused. Nothing of the
  // library's memory is in use any more (the text lies elsewhere and lives
  // for the call only), so the receiver may stop the library once it has it.
  virtual void Finished(const wchar_t* error) = 0;
};
