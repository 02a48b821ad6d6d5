// Ending and starting the client process.
#pragma once

// Ends the first running process, in the order of a process snapshot, whose
// executable file name (without folder) equals `exeName` ignoring letter case,
// with exit code 0, and waits up to 5 s for it to be gone, so that its files
// are free when this returns. Further processes of that name keep running.
// True when such a process was found (whether or not it could be ended).
bool TerminateProcessByName(const wchar_t* exeName);

// Starts the client at `clientPath` through the shell with the parameter
// "-withoutupdater", in the current folder. Whether it starts is not reported.
void LaunchClient(const wchar_t* clientPath);
