// XFile: the library's writer over a platform file handle. Wide text is always
// written as UTF-8.
#pragma once

#include <cstdint>

// A record made zero-filled (XFile f{}); it owns its handle from Create until
// Close, and closes it when it ends. Handle 0 means no file was ever opened;
// the invalid-handle value means the open failed or the file was closed. One
// thread at a time.
struct XFile {
  void* handle;         // platform file handle
  uint64_t byteCount;   // bytes handed to Write since Create (requested, not confirmed)
  bool written;         // some Write stored at least one byte

  // Creates or truncates `path` with no sharing, for writing (and reading too if
  // `readWrite`), and zeroes the byte counter. False when the file cannot be
  // created; the handle is then the invalid-handle value.
  bool Create(const wchar_t* path, bool readWrite);

  // Opens the existing file `path` with no sharing for writing at its end,
  // and sets the byte counter to its size. False when it cannot be opened;
  // the handle is then the invalid-handle value.
  bool Append(const wchar_t* path);

  // Writes `count` bytes in one platform write; returns the bytes written, 0
  // when the write fails (also on a closed record), 0xFFFFFFFF with handle 0.
  uint32_t Write(const void* buffer, uint32_t count);

  // Writes `length` characters of `text` (0: all of it) as UTF-8. True exactly
  // when every converted byte was written; true for empty text (nothing
  // written); false for missing text or handle 0. A failed conversion is logged.
  bool WriteAsUTF8(const wchar_t* text, uint32_t length = 0);

  // Writes short wide text as UTF-8 through a fixed 4095-byte buffer, without
  // the allocator (the error path uses it); longer text is cut at a character
  // boundary. Returns the bytes written, 0 with handle 0.
  uint32_t WriteLineEnd(const wchar_t* text);

  // Closes the handle if there is one; harmless when called again.
  void Close();
  ~XFile() { Close(); }
  XFile(const XFile&) = delete;
  XFile& operator=(const XFile&) = delete;

  // True while the record holds an open handle.
  bool IsOpen() const;
};
