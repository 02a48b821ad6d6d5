// The library log "XT.log" and the two fatal paths.
//
// Formats are wide printf formats of the C run-time (%s wide text, %S narrow
// text). The log is created in the current folder by the first log line or
// error of a process, never by a warning, and at most once per process. Writes
// take no lock: entries from two threads may interleave.
#pragma once

#include <cstdint>

// Exit code of a process ended by FatalError.
constexpr uint32_t kFatalExitCode = 0xFFFFFFFF;
// Code of the non-continuable structured exception that RaiseFatal raises.
constexpr uint32_t kFatalExceptionCode = 0x0DEAD0B5;

// Writes a time-stamped line ("HH:MM:SS: "), repeating the stamp after every
// line feed of the message; opens the log if needed. A missing format does nothing.
void WriteLog(const wchar_t* format, ...);
// Writes "Warning -- " and the message, only into a log that is already open.
void WriteWarning(const wchar_t* format, ...);
// Writes an error entry; when the library is started, also stops it, closes the
// log and ends the process with kFatalExitCode. Otherwise returns.
void FatalError(const wchar_t* format, ...);
// Writes an error entry and raises kFatalExceptionCode, which nothing catches.
// Builds the entry without the allocator, so it also serves out-of-memory ends.
[[noreturn]] void RaiseFatal(const wchar_t* format, ...);

// Makes an unhandled exception on any thread write one error entry, with the
// exception's code and address, and end the process with that code at once:
// no crash dialog, no debugger waited for. A kFatalExceptionCode exception
// (RaiseFatal, which wrote its own entry) ends it without another one.
void EndProcessOnUnhandledException();

// Closes the log file; later writes go nowhere (the log is never reopened).
void CloseLog();
