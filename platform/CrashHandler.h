#pragma once

#include <cstddef>
#include <cstdint>

// Fatal-error reports. Linux has no minidump, so a fatal signal (SIGSEGV,
// SIGBUS, SIGFPE, SIGILL, SIGABRT) writes a short text report - signal, code,
// faulting address, backtrace - to "quorlix_crash_YYYYMMDD-HHMMSS.dmp" and the
// process then dies by that same signal, so exit status and core dumps stay
// what the system would have produced without us.

// Installs the handler; reports go beside the executable. Returns false when
// the executable's folder cannot be found (the handler is then not installed).
bool installCrashHandler();

// Same, with the reports going to `folder` (absolute path). Used by the
// default overload and by tests.
bool installCrashHandler(const char *folder);

// Formats the report's file name for a moment given as seconds since the epoch
// in UTC plus the local offset from UTC in seconds. Safe to call from a signal
// handler. Returns the length written (without the terminator), or 0 when the
// buffer is too small.
size_t formatCrashReportName(int64_t utcSeconds, int64_t utcOffsetSeconds, char *out, size_t outSize);
