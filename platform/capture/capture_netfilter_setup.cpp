// The netfilter backend's dealings with the rest of the system: the
// iptables tools that install and remove a handle's chains, the kernel's
// list of bound queues, and the checks made before anything is touched.

#include "platform/capture/capture_netfilter_setup.h"

#include "platform/capture/capture.h"
#include "platform/capture/capture_netfilter.h"

#include <errno.h>
#include <fcntl.h>
#include <linux/capability.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <mutex>
#include <string>
#include <vector>

namespace {

// Serialises this process's changes of the kernel rules.
std::mutex g_rules_lock;

// ---- running the iptables tools ----------------------------------------------

const char *find_tool(const char *name, char *out, size_t cap)
{
    // Fixed places only: the binary may run with file capabilities, and the
    // tools it starts get them too, so PATH must not choose them.
    static const char *const dirs[] = {"/usr/sbin", "/sbin", "/usr/bin", "/bin"};
    for (const char *d : dirs) {
        snprintf(out, cap, "%s/%s", d, name);
        if (access(out, X_OK) == 0)
            return out;
    }
    return nullptr;
}

// Lets the capabilities this process holds reach the program it is about to
// exec. Runs in the forked child: raw system calls only.
void pass_capabilities_on()
{
    __user_cap_header_struct hdr{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[2]{};
    if (syscall(SYS_capget, &hdr, data) != 0)
        return;
    const uint32_t want = (1u << CAP_NET_ADMIN) | (1u << CAP_NET_RAW);
    data[0].inheritable |= data[0].permitted & want;
    if (syscall(SYS_capset, &hdr, data) != 0)
        return;
    if (data[0].permitted & (1u << CAP_NET_ADMIN))
        prctl(PR_CAP_AMBIENT, PR_CAP_AMBIENT_RAISE, CAP_NET_ADMIN, 0, 0);
    if (data[0].permitted & (1u << CAP_NET_RAW))
        prctl(PR_CAP_AMBIENT, PR_CAP_AMBIENT_RAISE, CAP_NET_RAW, 0, 0);
}

// Runs an iptables tool with `input` on its standard input. Returns its exit
// status, or -1 when it could not run (err then says why). What it wrote to
// standard error lands in err; its standard output in *out when asked for.
int run_tool(const char *name, const char *const *args, const char *input, char *err, size_t err_cap,
             std::string *out = nullptr)
{
    err[0] = 0;
    char path[64];
    if (!find_tool(name, path, sizeof path)) {
        snprintf(err, err_cap, "%s was not found (the iptables package)", name);
        return -1;
    }
    const char *argv[16];
    size_t argc = 0;
    argv[argc++] = path;
    for (size_t i = 0; args[i] && argc < 15; ++i)
        argv[argc++] = args[i];
    argv[argc] = nullptr;
    static const char *const envp[] = {"PATH=/usr/sbin:/usr/bin:/sbin:/bin", "LC_ALL=C", nullptr};

    // Files in memory for both ends: no pipe to fill up, no SIGPIPE.
    const int in_fd = syscall(SYS_memfd_create, "quorlix-rules", MFD_CLOEXEC);
    const int err_fd = syscall(SYS_memfd_create, "quorlix-rules-err", MFD_CLOEXEC);
    const int out_fd = out ? int(syscall(SYS_memfd_create, "quorlix-rules-out", MFD_CLOEXEC)) : -1;
    if (in_fd < 0 || err_fd < 0 || (out && out_fd < 0)) {
        snprintf(err, err_cap, "memfd_create: %s", strerror(errno));
        for (int fd : {in_fd, err_fd, out_fd}) {
            if (fd >= 0)
                close(fd);
        }
        return -1;
    }
    size_t left = input ? strlen(input) : 0;
    const char *p = input;
    while (left > 0) {
        const ssize_t n = write(in_fd, p, left);
        if (n <= 0)
            break;
        p += n;
        left -= size_t(n);
    }
    lseek(in_fd, 0, SEEK_SET);

    const pid_t pid = fork();
    if (pid == 0) {
        dup2(in_fd, 0);
        dup2(err_fd, 2);
        const int devnull = out_fd >= 0 ? out_fd : open("/dev/null", O_WRONLY);
        if (devnull >= 0)
            dup2(devnull, 1);
        pass_capabilities_on();
        execve(path, const_cast<char *const *>(argv), const_cast<char *const *>(envp));
        _exit(127);
    }
    int status = -1;
    if (pid < 0) {
        snprintf(err, err_cap, "fork: %s", strerror(errno));
    } else {
        int ws = 0;
        while (waitpid(pid, &ws, 0) < 0 && errno == EINTR) {
        }
        status = WIFEXITED(ws) ? WEXITSTATUS(ws) : 128;
        const ssize_t n = pread(err_fd, err, err_cap - 1, 0);
        err[n > 0 ? n : 0] = 0;
        // One line is enough for a log.
        for (char *c = err; *c; ++c) {
            if (*c == '\n') {
                *c = *(c + 1) ? ' ' : 0;
            }
        }
        if (out) {
            out->clear();
            char buf[4096];
            off_t at = 0;
            ssize_t got;
            while ((got = pread(out_fd, buf, sizeof buf, at)) > 0) {
                out->append(buf, size_t(got));
                at += got;
            }
        }
    }
    close(in_fd);
    close(err_fd);
    if (out_fd >= 0)
        close(out_fd);
    return status;
}

// The filter table as iptables -S lists it; empty when it cannot be read.
std::string list_rules()
{
    char err[256];
    std::string listing;
    const char *args[] = {"-w", "-S", nullptr};
    if (run_tool("iptables", args, nullptr, err, sizeof err, &listing) != 0)
        listing.clear();
    return listing;
}

// The queues of this network namespace that someone listens on.
std::vector<uint16_t> listened_queues()
{
    std::vector<uint16_t> queues(4096);
    std::string text;
    const int fd = open("/proc/net/netfilter/nfnetlink_queue", O_RDONLY | O_CLOEXEC);
    if (fd >= 0) {
        char buf[4096];
        ssize_t n;
        while ((n = read(fd, buf, sizeof buf)) > 0)
            text.append(buf, size_t(n));
        close(fd);
    }
    queues.resize(quorlix_capture_nf_listened(text.c_str(), queues.data(), queues.size()));
    return queues;
}

// Removes the chains (and every jump to them). The one-step way fails as a
// whole when something changed since the listing; then one command at a
// time, whatever is still there.
void remove_chains(const std::string &listing, const char (*chains)[QUORLIX_CAPTURE_NF_CHAIN_LEN],
                   size_t count)
{
    if (count == 0)
        return;
    static char script[16384];
    char err[512];
    const char *args[] = {"--noflush", "-w", nullptr};
    if (quorlix_capture_nf_removal(listing.c_str(), chains, count, script, sizeof script) > 0 &&
        run_tool("iptables-restore", args, script, err, sizeof err) == 0)
        return;
    for (size_t k = 0; k < count; ++k) {
        for (const char *hook : {"OUTPUT", "INPUT"}) {
            const char *del[] = {"-w", "-D", hook, "-j", chains[k], nullptr};
            for (int i = 0; i < 16 && run_tool("iptables", del, nullptr, err, sizeof err) == 0; ++i) {
            }
        }
        const char *flush[] = {"-w", "-F", chains[k], nullptr};
        run_tool("iptables", flush, nullptr, err, sizeof err);
        const char *drop[] = {"-w", "-X", chains[k], nullptr};
        run_tool("iptables", drop, nullptr, err, sizeof err);
    }
}

} // namespace

namespace nfsetup {

int install_rules(const quorlix_filter_scope &scope, uint16_t queue, const std::vector<uint16_t> &own_others,
                  int *next_queue)
{
    std::lock_guard<std::mutex> rules(g_rules_lock);
    const std::string listing = list_rules();
    const std::vector<uint16_t> listened = listened_queues();
    static char stale[64][QUORLIX_CAPTURE_NF_CHAIN_LEN];
    const size_t nstale =
        quorlix_capture_nf_stale(listing.c_str(), listened.data(), listened.size(), queue, stale, 64);
    remove_chains(listing, stale, nstale);
    // This process's own older handles are about to be closed (a new filter
    // replaces them): nothing goes on to them.
    std::vector<uint16_t> skip = own_others;
    skip.push_back(queue);
    *next_queue = quorlix_capture_nf_first_live(listing.c_str(), listened.data(), listened.size(),
                                                skip.data(), skip.size());

    static char script[16384];
    if (quorlix_capture_nf_rules(&scope, queue, script, sizeof script) == 0) {
        fprintf(stderr, "[CAPTURE] The capture rules do not fit in %zu bytes\n", sizeof script);
        return QUORLIX_CAPTURE_ERR_NO_MEMORY;
    }
    char err[512];
    const char *args[] = {"--noflush", "-w", nullptr};
    const int status = run_tool("iptables-restore", args, script, err, sizeof err);
    if (status != 0) {
        fprintf(stderr, "[CAPTURE] Could not install the capture rules: %s\n",
                err[0] ? err : "iptables-restore failed");
        return status < 0 ? QUORLIX_CAPTURE_ERR_UNAVAILABLE : quorlix_capture_nf_tool_error(status, err);
    }
    return QUORLIX_CAPTURE_OK;
}

// Removes the chains of a handle that is gone (its queue already unbound).
void remove_rules(uint16_t queue)
{
    std::lock_guard<std::mutex> rules(g_rules_lock);
    char chains[2][QUORLIX_CAPTURE_NF_CHAIN_LEN];
    quorlix_capture_nf_chain_names(queue, chains[0], chains[1]);
    remove_chains(list_rules(), chains, 2);
}

// ---- checks before anything is touched -----------------------------------------

bool has_capabilities()
{
    __user_cap_header_struct hdr{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[2]{};
    if (syscall(SYS_capget, &hdr, data) != 0)
        return false;
    const uint32_t want = (1u << CAP_NET_ADMIN) | (1u << CAP_NET_RAW);
    return (data[0].effective & want) == want;
}

// Under the test runner the real backend may only run in a network namespace
// the runner or a test made for itself: diverting the machine's own traffic
// from a test would take every program's network hostage. The runner names
// the namespace it made in QUORLIX_PRIVATE_NETNS ("net:[inode]", as the
// namespace's link reads).
bool allowed_here()
{
    const char *t = getenv("QUORLIX_TEST");
    if (!t || !*t)
        return true;
    const char *made = getenv("QUORLIX_PRIVATE_NETNS");
    char own[64] = {};
    if (!made || readlink("/proc/self/ns/net", own, sizeof own - 1) <= 0)
        return false;
    return strcmp(own, made) == 0;
}

// The last packet number the kernel gave out on the queue (the id_sequence
// of /proc/net/netfilter/nfnetlink_queue), or -1.
int64_t kernel_last_id(uint16_t queue)
{
    char text[8192];
    const int fd = open("/proc/net/netfilter/nfnetlink_queue", O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return -1;
    const ssize_t n = read(fd, text, sizeof text - 1);
    close(fd);
    if (n <= 0)
        return -1;
    text[n] = 0;
    for (char *line = text; line && *line;) {
        char *end = strchr(line, '\n');
        if (end)
            *end = 0;
        unsigned num, portid, total, mode, range, dropped, user_dropped, seq;
        if (sscanf(line, "%u %u %u %u %u %u %u %u", &num, &portid, &total, &mode, &range, &dropped,
                   &user_dropped, &seq) == 8 &&
            num == queue)
            return seq;
        line = end ? end + 1 : nullptr;
    }
    return -1;
}

} // namespace nfsetup
