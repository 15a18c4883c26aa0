#include "platform/CrashHandler.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstring>
#include <ctime>
#include <execinfo.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

// Everything the handler needs is prepared at install time: inside a signal
// handler we may only use async-signal-safe calls (no malloc, no stdio, no
// localtime), so the folder, the UTC offset and libgcc's unwinder are ready
// before the first fault.
namespace {

constexpr int kFatalSignals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT};
constexpr size_t kMaxFrames = 64;

char g_folder[PATH_MAX];
int64_t g_utcOffset = 0;
std::atomic<bool> g_handling{false};
// A stack overflow leaves no room to run the handler on the faulting stack.
alignas(16) char g_altStack[64 * 1024];

size_t copyText(char *out, size_t pos, size_t size, const char *text)
{
    while (*text && pos + 1 < size)
        out[pos++] = *text++;
    out[pos] = '\0';
    return pos;
}

size_t appendUnsigned(char *out, size_t pos, size_t size, uint64_t value, int base, int minDigits)
{
    char digits[32];
    int n = 0;
    do {
        const unsigned d = static_cast<unsigned>(value % static_cast<uint64_t>(base));
        digits[n++] = static_cast<char>(d < 10 ? '0' + d : 'a' + (d - 10));
        value /= static_cast<uint64_t>(base);
    } while (value != 0 && n < 32);
    while (n < minDigits && n < 32)
        digits[n++] = '0';
    while (n > 0 && pos + 1 < size)
        out[pos++] = digits[--n];
    out[pos] = '\0';
    return pos;
}

// Days since 1970-01-01 to a civil date (proleptic Gregorian); pure
// arithmetic, so usable where gmtime is not.
void civilFromDays(int64_t days, int64_t *year, unsigned *month, unsigned *day)
{
    days += 719468;
    const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(days - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    *day = doy - (153 * mp + 2) / 5 + 1;
    *month = mp < 10 ? mp + 3 : mp - 9;
    *year = static_cast<int64_t>(yoe) + era * 400 + (*month <= 2 ? 1 : 0);
}

const char *signalName(int sig)
{
    switch (sig) {
    case SIGSEGV:
        return "SIGSEGV";
    case SIGBUS:
        return "SIGBUS";
    case SIGFPE:
        return "SIGFPE";
    case SIGILL:
        return "SIGILL";
    case SIGABRT:
        return "SIGABRT";
    default:
        return "signal";
    }
}

void writeAll(int fd, const char *text, size_t len)
{
    while (len > 0) {
        const ssize_t n = write(fd, text, len);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return;
        }
        text += n;
        len -= static_cast<size_t>(n);
    }
}

void writeText(int fd, const char *text)
{
    writeAll(fd, text, strlen(text));
}

void writeReport(int sig, siginfo_t *info)
{
    struct timespec now;
    if (clock_gettime(CLOCK_REALTIME, &now) != 0)
        return;
    char name[128];
    if (formatCrashReportName(now.tv_sec, g_utcOffset, name, sizeof name) == 0)
        return;

    char path[PATH_MAX + 128];
    size_t pos = copyText(path, 0, sizeof path, g_folder);
    if (pos == 0)
        return;
    if (path[pos - 1] != '/')
        pos = copyText(path, pos, sizeof path, "/");
    copyText(path, pos, sizeof path, name);

    const int fd = open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        return;

    char line[256];
    writeText(fd, "Quorlix crash report\n");
    pos = copyText(line, 0, sizeof line, "signal: ");
    pos = appendUnsigned(line, pos, sizeof line, static_cast<uint64_t>(sig), 10, 1);
    pos = copyText(line, pos, sizeof line, " (");
    pos = copyText(line, pos, sizeof line, signalName(sig));
    pos = copyText(line, pos, sizeof line, ")\ncode: ");
    // Codes of signals sent by a process (abort(), kill()) are negative or 0.
    const int64_t code = info ? info->si_code : 0;
    if (code < 0)
        pos = copyText(line, pos, sizeof line, "-");
    pos = appendUnsigned(line, pos, sizeof line, static_cast<uint64_t>(code < 0 ? -code : code), 10, 1);
    pos = copyText(line, pos, sizeof line, "\naddress: 0x");
    pos = appendUnsigned(line, pos, sizeof line, reinterpret_cast<uintptr_t>(info ? info->si_addr : nullptr),
                         16, 16);
    pos = copyText(line, pos, sizeof line, "\npid: ");
    pos = appendUnsigned(line, pos, sizeof line, static_cast<uint64_t>(getpid()), 10, 1);
    pos = copyText(line, pos, sizeof line, "\nbacktrace:\n");
    writeAll(fd, line, pos);

    void *frames[kMaxFrames];
    const int count = backtrace(frames, static_cast<int>(kMaxFrames));
    if (count > 0)
        backtrace_symbols_fd(frames, count, fd);
    close(fd);
}

void onFatalSignal(int sig, siginfo_t *info, void *)
{
    // A second thread faulting while the first writes must not write a
    // second, interleaved report; SA_RESETHAND already restored the default
    // action, so it just dies once we return.
    if (!g_handling.exchange(true))
        writeReport(sig, info);

    // Die by the signal itself. For a fault, returning re-runs the faulting
    // instruction under the default action; for a signal sent with kill() or
    // raise() the re-raised copy is delivered as soon as the handler returns.
    struct sigaction dfl;
    memset(&dfl, 0, sizeof dfl);
    dfl.sa_handler = SIG_DFL;
    sigemptyset(&dfl.sa_mask);
    sigaction(sig, &dfl, nullptr);
    if (info == nullptr || info->si_code <= 0)
        raise(sig);
}

} // namespace

size_t formatCrashReportName(int64_t utcSeconds, int64_t utcOffsetSeconds, char *out, size_t outSize)
{
    const int64_t local = utcSeconds + utcOffsetSeconds;
    int64_t days = local / 86400;
    int64_t rest = local % 86400;
    if (rest < 0) {
        rest += 86400;
        --days;
    }
    int64_t year = 0;
    unsigned month = 0, day = 0;
    civilFromDays(days, &year, &month, &day);
    if (year < 0 || outSize == 0)
        return 0;

    char buf[64];
    size_t pos = copyText(buf, 0, sizeof buf, "quorlix_crash_");
    pos = appendUnsigned(buf, pos, sizeof buf, static_cast<uint64_t>(year), 10, 4);
    pos = appendUnsigned(buf, pos, sizeof buf, month, 10, 2);
    pos = appendUnsigned(buf, pos, sizeof buf, day, 10, 2);
    pos = copyText(buf, pos, sizeof buf, "-");
    pos = appendUnsigned(buf, pos, sizeof buf, static_cast<uint64_t>(rest / 3600), 10, 2);
    pos = appendUnsigned(buf, pos, sizeof buf, static_cast<uint64_t>((rest / 60) % 60), 10, 2);
    pos = appendUnsigned(buf, pos, sizeof buf, static_cast<uint64_t>(rest % 60), 10, 2);
    pos = copyText(buf, pos, sizeof buf, ".dmp");
    if (pos + 1 > outSize)
        return 0;
    memcpy(out, buf, pos + 1);
    return pos;
}

bool installCrashHandler()
{
    char exe[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
    if (n <= 0)
        return false;
    exe[n] = '\0';
    char *slash = strrchr(exe, '/');
    if (slash == nullptr)
        return false;
    if (slash == exe)
        slash[1] = '\0'; // the executable lies in "/"
    else
        *slash = '\0';
    return installCrashHandler(exe);
}

bool installCrashHandler(const char *folder)
{
    if (folder == nullptr || folder[0] == '\0' || strlen(folder) >= sizeof g_folder)
        return false;
    memcpy(g_folder, folder, strlen(folder) + 1);

    const time_t now = time(nullptr);
    struct tm local;
    g_utcOffset = localtime_r(&now, &local) ? local.tm_gmtoff : 0;

    // backtrace() loads libgcc's unwinder on first use, which allocates; do
    // that now rather than inside the handler.
    void *warm[1];
    backtrace(warm, 1);

    stack_t altStack;
    memset(&altStack, 0, sizeof altStack);
    altStack.ss_sp = g_altStack;
    altStack.ss_size = sizeof g_altStack;
    sigaltstack(&altStack, nullptr);

    struct sigaction action;
    memset(&action, 0, sizeof action);
    action.sa_sigaction = onFatalSignal;
    action.sa_flags = SA_SIGINFO | SA_ONSTACK | SA_RESETHAND;
    sigemptyset(&action.sa_mask);
    for (int sig : kFatalSignals)
        sigaction(sig, &action, nullptr);
    g_handling.store(false);
    return true;
}
