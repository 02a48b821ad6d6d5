// Ending and starting the client process.
#pragma once

// Ends the first running process, in the order of a process snapshot, whose
// program is the file `clientPath` (both full paths as Windows resolves them,
// compared ignoring letter case), with exit code 0, and waits up to 5 s for
// it to be gone, so that its files are free when this returns. A program of
// the same name in another folder runs on, and so do further processes of
// the client. True when such a process was found (whether or not it could be
// ended).
bool TerminateClientProcess(const wchar_t* clientPath);

// Starts the client at `clientPath` through the shell with the parameter
// "-withoutupdater", in the current folder. Whether it starts is not reported.
void LaunchClient(const wchar_t* clientPath);
