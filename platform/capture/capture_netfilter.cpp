// The netfilter queue behind the capture handles (see capture_netfilter.h).
//
// Handle slots live in a static table for the whole process, as in the
// simulator: a handle closed while a receive waits on it is only torn down by
// the last call still using it, so nothing is freed under a blocked receive.
//
// The queue's verdict for a packet the filter admits is kept back until the
// engine has decided: when it sends the same packet back (the usual fate of
// everything that is not the game's), the kernel lets the original go on,
// which costs no second trip through the stack and keeps the socket's own
// offloads; when it sends something else or nothing, the original is dropped
// at the next receive.

#include "platform/capture/capture_netfilter.h"
#include "platform/capture/capture.h"
#include "platform/capture/capture_backend.h"
#include "platform/capture/capture_filter.h"
#include "platform/capture/packet.h"

#include <arpa/inet.h>
#include <errno.h>
#include <fcntl.h>
#include <libnetfilter_queue/libnetfilter_queue.h>
#include <linux/capability.h>
#include <linux/netfilter.h>
#include <netinet/in.h>
#include <poll.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/eventfd.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

#ifndef SOL_NETLINK
#define SOL_NETLINK 270
#endif
#ifndef NETLINK_NO_ENOBUFS
#define NETLINK_NO_ENOBUFS 5
#endif

namespace {

constexpr unsigned kSlots = 16;
constexpr unsigned kIndexBits = 5;
constexpr unsigned kGenerationBits = 31 - kIndexBits;
constexpr size_t kRxSize = QUORLIX_CAPTURE_MAX_PACKET + 4096; // one packet and its netlink framing
// Far more than the socket buffer holds: a process that falls behind fills
// the socket first, and the kernel numbers the packets it then lets past (the
// numbers it skips), where a full queue would let them past unnumbered.
constexpr uint32_t kQueueMaxLen = 1u << 20;
// How long the queue must keep up before an overflow counts as over.
constexpr uint64_t kOverflowQuietMs = 1000;
constexpr int kSocketBuffer = 8 << 20;

struct Held
{
    uint32_t id;
    uint8_t outbound;
    uint32_t if_index;
    bool in_group; // a segment cut from the packet the group stands for
    std::vector<uint8_t> bytes;
};

// A large TCP packet handed to the engine as segments. If every segment
// comes back unchanged, the original goes on as the kernel gave it (with its
// offloads); otherwise what came back is sent segment by segment and the
// original is dropped.
struct Group
{
    bool active = false;
    uint32_t id = 0;
    size_t segments = 0;
    size_t unchanged = 0;
    bool spoiled = false;
    std::vector<std::vector<uint8_t>> returned;
};

struct Slot
{
    // Guarded by g_lock.
    bool in_use = false;
    bool open = false;
    uint32_t generation = 0;
    unsigned users = 0; // receives and sends running on the slot
    quorlix_filter_scope scope{};
    uint16_t queue_num = 0;
    int next_queue = -1; // another client's queue, where what this one lets through goes on

    // Packets the kernel let past the full queue (fail-open), seen as gaps
    // in its packet numbers. Receive side, but readable from any thread.
    uint32_t last_id = 0;
    std::atomic<uint64_t> bypassed{0};
    bool overflowing = false;
    uint64_t overflow_episode = 0;
    uint64_t last_gap_ms = 0;

    // Set up at open, torn down by the last user after close.
    quorlix_filter *filter = nullptr;
    nfq_handle *nfq = nullptr;
    nfq_q_handle *qh = nullptr;
    int fd = -1;
    int wake_fd = -1;
    int raw_fd = -1;
    bool gso = false; // the queue hands over large TCP packets before segmentation
    std::atomic<bool> closing{false};

    // Receive side: one receive at a time.
    std::mutex recv_lock;
    uint8_t *rx = nullptr;
    std::deque<Held> backlog; // admitted packets that came in one read with another
    struct Target
    {
        void *buf;
        size_t cap;
        size_t *len;
        quorlix_capture_addr *addr;
        int result;
        bool delivered;
    } target{};

    // The admitted packet whose verdict is held back, with its bytes as taken.
    std::mutex pending_lock;
    bool pending = false;
    bool pending_in_group = false;
    Group group;
    uint32_t pending_id = 0;
    uint8_t pending_outbound = 0;
    size_t pending_len = 0;
    uint8_t *pending_copy = nullptr;
};

std::mutex g_lock;
Slot g_slots[kSlots];

// Serialises this process's changes of the kernel rules.
std::mutex g_rules_lock;

uint64_t now_ms()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return uint64_t(ts.tv_sec) * 1000u + uint64_t(ts.tv_nsec) / 1000000u;
}

quorlix_capture_handle make_handle(unsigned idx, uint32_t generation)
{
    return quorlix_capture_make_handle(QUORLIX_CAPTURE_NETFILTER_BIT, kIndexBits, idx, generation);
}

// The open slot a handle names, or nullptr. Caller holds g_lock.
Slot *find_open(quorlix_capture_handle h)
{
    const int idx = quorlix_capture_handle_index(h, QUORLIX_CAPTURE_NETFILTER_BIT, kIndexBits, kSlots);
    if (idx < 0)
        return nullptr;
    Slot &s = g_slots[idx];
    if (!s.in_use || !s.open || make_handle(unsigned(idx), s.generation) != h)
        return nullptr;
    return &s;
}

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

// The queue numbers of this process's open handles other than `except`.
std::vector<uint16_t> own_queues(const Slot *except)
{
    std::vector<uint16_t> queues;
    std::lock_guard<std::mutex> guard(g_lock);
    for (const Slot &s : g_slots) {
        if (&s != except && s.open)
            queues.push_back(s.queue_num);
    }
    return queues;
}

// Installs the chains of a handle whose queue is bound: first removes the
// chains nobody owns any more, then notes which handle of another client was
// first until now (what this one lets through goes on to it). Returns a
// capture error code.
int install_rules(Slot &s)
{
    std::lock_guard<std::mutex> rules(g_rules_lock);
    const std::string listing = list_rules();
    const std::vector<uint16_t> listened = listened_queues();
    static char stale[64][QUORLIX_CAPTURE_NF_CHAIN_LEN];
    const size_t nstale =
        quorlix_capture_nf_stale(listing.c_str(), listened.data(), listened.size(), s.queue_num, stale, 64);
    remove_chains(listing, stale, nstale);
    // This process's own older handles are about to be closed (a new filter
    // replaces them): nothing goes on to them.
    const std::vector<uint16_t> mine = own_queues(&s);
    std::vector<uint16_t> skip = mine;
    skip.push_back(s.queue_num);
    s.next_queue = quorlix_capture_nf_first_live(listing.c_str(), listened.data(), listened.size(),
                                                 skip.data(), skip.size());

    static char script[16384];
    if (quorlix_capture_nf_rules(&s.scope, s.queue_num, script, sizeof script) == 0) {
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
void remove_own_rules(uint16_t queue)
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

// ---- the queue ------------------------------------------------------------------

void verdict(Slot *s, uint32_t id, uint32_t v, size_t len = 0, const void *data = nullptr)
{
    nfq_set_verdict(s->qh, id, v, uint32_t(len), static_cast<const unsigned char *>(data));
}

// What becomes of a packet this handle lets through: it goes on to the queue
// of the client that came before this one, or on its way when there is none
// (or that client has gone since: the bypass flag).
uint32_t pass_verdict(const Slot *s)
{
    return s->next_queue >= 0 ? uint32_t(NF_QUEUE_NR(s->next_queue)) | NF_VERDICT_FLAG_QUEUE_BYPASS
                              : NF_ACCEPT;
}

// The kernel numbers every packet it tries to hand to the queue; a number
// skipped is a packet it let past because the socket was full.
void count_bypassed(Slot *s, uint32_t skipped)
{
    if (skipped == 0)
        return;
    s->bypassed.fetch_add(skipped, std::memory_order_relaxed);
    s->last_gap_ms = now_ms();
    if (!s->overflowing) {
        s->overflowing = true;
        s->overflow_episode = 0;
        fprintf(stderr, "[CAPTURE] The capture queue is full: packets pass without the tunnel\n");
    }
    s->overflow_episode += skipped;
}

void note_packet_id(Slot *s, uint32_t id)
{
    const int32_t step = int32_t(id - s->last_id);
    if (step <= 0) // already counted as skipped by the look at the kernel's own count
        return;
    s->last_id = id;
    count_bypassed(s, uint32_t(step - 1));
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

// Ends an overflow once the queue has kept up for a while. Called with the
// socket read empty: packets let past after the last one read show only in
// the kernel's own count, nothing unread stands between.
void check_overflow_end(Slot *s, uint64_t now)
{
    if (!s->overflowing || now - s->last_gap_ms < kOverflowQuietMs)
        return;
    const int64_t last = kernel_last_id(s->queue_num);
    if (last >= 0 && int32_t(uint32_t(last) - s->last_id) > 0) {
        const uint32_t trailing = uint32_t(last) - s->last_id;
        s->last_id = uint32_t(last);
        s->bypassed.fetch_add(trailing, std::memory_order_relaxed);
        s->overflow_episode += trailing;
    }
    s->overflowing = false;
    fprintf(stderr, "[CAPTURE] The capture queue keeps up again: %llu packets passed without the tunnel\n",
            (unsigned long long)s->overflow_episode);
}

// Sends a packet of our own: the kernel routes it by its destination, a
// remote one to the wire, a local one (an inbound packet) back into this
// machine's stack with its source as written. Our mark keeps the rules from
// queueing it again.
bool raw_send(Slot *s, const uint8_t *p, size_t len)
{
    if (len < 20 || (p[0] & 0xF0) != 0x40)
        return false;
    sockaddr_in to{};
    to.sin_family = AF_INET;
    memcpy(&to.sin_addr, p + 16, 4);
    return sendto(s->raw_fd, p, len, 0, reinterpret_cast<sockaddr *>(&to), sizeof to) == ssize_t(len);
}

// The engine went on without sending the packet it was given back: it took
// it. Caller holds pending_lock.
void drop_pending_locked(Slot *s)
{
    if (!s->pending)
        return;
    if (s->pending_in_group)
        s->group.spoiled = true;
    else
        verdict(s, s->pending_id, NF_DROP);
    s->pending = false;
}

// Every segment of a group has been through the engine. Caller holds
// pending_lock.
void finish_group_locked(Slot *s)
{
    Group &g = s->group;
    if (!g.spoiled && g.unchanged == g.segments) {
        verdict(s, g.id, pass_verdict(s));
    } else {
        for (const std::vector<uint8_t> &seg : g.returned)
            raw_send(s, seg.data(), seg.size());
        verdict(s, g.id, NF_DROP);
    }
    g = Group{};
}

void settle_pending(Slot *s)
{
    std::lock_guard<std::mutex> guard(s->pending_lock);
    drop_pending_locked(s);
    if (s->group.active && (s->backlog.empty() || !s->backlog.front().in_group))
        finish_group_locked(s);
}

// Hands an admitted packet (or a segment of a group) to the waiting receive.
void deliver(Slot *s, uint32_t id, uint8_t outbound, uint32_t if_index, const uint8_t *data, size_t len,
             bool in_group = false)
{
    Slot::Target &t = s->target;
    t.delivered = true;
    if (!t.buf || len > t.cap) {
        std::lock_guard<std::mutex> guard(s->pending_lock);
        if (in_group)
            s->group.spoiled = true;
        else
            verdict(s, id, NF_DROP);
        t.result = QUORLIX_CAPTURE_ERR_BUFFER_TOO_SMALL;
        return;
    }
    memcpy(t.buf, data, len);
    if (t.len)
        *t.len = len;
    if (t.addr) {
        memset(t.addr, 0, sizeof *t.addr);
        t.addr->if_index = if_index;
        t.addr->outbound = outbound;
        t.addr->timestamp_ms = now_ms();
    }
    t.result = QUORLIX_CAPTURE_OK;
    std::lock_guard<std::mutex> guard(s->pending_lock);
    memcpy(s->pending_copy, data, len);
    s->pending = true;
    s->pending_in_group = in_group;
    s->pending_id = id;
    s->pending_outbound = outbound;
    s->pending_len = len;
}

int on_packet(nfq_q_handle *, nfgenmsg *, nfq_data *nfa, void *ctx)
{
    Slot *s = static_cast<Slot *>(ctx);
    nfqnl_msg_packet_hdr *ph = nfq_get_msg_packet_hdr(nfa);
    if (!ph)
        return 0;
    const uint32_t id = ntohl(ph->packet_id);
    note_packet_id(s, id);
    unsigned char *data = nullptr;
    const int n = nfq_get_payload(nfa, &data);
    // The rules hook OUTPUT and INPUT only; anything else is let through.
    const bool outbound = ph->hook == NF_INET_LOCAL_OUT || ph->hook == NF_INET_POST_ROUTING;
    if (n <= 0 || !data || !quorlix_filter_match(s->filter, data, size_t(n), outbound ? 1 : 0)) {
        verdict(s, id, pass_verdict(s));
        return 0;
    }
    const uint32_t info = s->gso ? nfq_get_skbinfo(nfa) : 0;
    const uint32_t if_index = outbound ? nfq_get_outdev(nfa) : nfq_get_indev(nfa);
    if ((info & NFQA_SKB_GSO) && outbound) {
        static thread_local std::vector<uint8_t> cut(2 * QUORLIX_CAPTURE_MAX_PACKET);
        size_t lens[QUORLIX_CAPTURE_MAX_PACKET / QUORLIX_CAPTURE_NF_SEGMENT_PAYLOAD + 1];
        const size_t count =
            quorlix_capture_nf_segment_tcp(data, size_t(n), QUORLIX_CAPTURE_NF_SEGMENT_PAYLOAD, cut.data(),
                                           cut.size(), lens, sizeof lens / sizeof *lens);
        // One group at a time (the socket is not read while one is worked
        // through, so a second one is not expected): another large packet is
        // handed over whole.
        bool busy;
        {
            std::lock_guard<std::mutex> guard(s->pending_lock);
            busy = s->group.active;
            if (count > 0 && !busy) {
                s->group.active = true;
                s->group.id = id;
                s->group.segments = count;
            }
        }
        if (count > 0 && !busy) {
            const uint8_t *p = cut.data();
            for (size_t i = 0; i < count; ++i) {
                s->backlog.push_back(
                    Held{id, uint8_t(outbound), if_index, true, std::vector<uint8_t>(p, p + lens[i])});
                p += lens[i];
            }
            if (!s->target.delivered) {
                Held first = std::move(s->backlog.front());
                s->backlog.pop_front();
                deliver(s, first.id, first.outbound, first.if_index, first.bytes.data(), first.bytes.size(),
                        true);
            }
            return 0;
        }
    }
    // The stack would fill the checksums in later (offload); whoever reads
    // the packet now needs them. The bytes are our own receive buffer. (The
    // segments of a group get theirs as they are cut.)
    if (info & NFQA_SKB_CSUMNOTREADY)
        quorlix_packet_calc_checksums(data, size_t(n));
    if (s->target.delivered) {
        s->backlog.push_back(
            Held{id, uint8_t(outbound), if_index, false, std::vector<uint8_t>(data, data + n)});
        return 0;
    }
    deliver(s, id, uint8_t(outbound), if_index, data, size_t(n));
    return 0;
}

// Frees what a slot holds. Caller holds g_lock; the slot has no users.
void teardown(Slot &s)
{
    if (s.overflowing)
        fprintf(stderr,
                "[CAPTURE] The capture closes during an overflow: %llu packets passed without the tunnel\n",
                (unsigned long long)s.overflow_episode);
    if (s.qh)
        nfq_destroy_queue(s.qh); // the kernel drops what is still queued
    if (s.nfq)
        nfq_close(s.nfq);
    if (s.wake_fd >= 0)
        close(s.wake_fd);
    if (s.raw_fd >= 0)
        close(s.raw_fd);
    quorlix_filter_free(s.filter);
    free(s.rx);
    free(s.pending_copy);
    s.qh = nullptr;
    s.nfq = nullptr;
    s.fd = s.wake_fd = s.raw_fd = -1;
    s.filter = nullptr;
    s.rx = s.pending_copy = nullptr;
    s.backlog.clear();
    s.pending = false;
    s.group = Group{};
    s.next_queue = -1;
    s.last_id = 0;
    s.overflowing = false;
    s.in_use = false;
}

// Opens the queue side of a claimed slot. Returns a capture error code.
int open_queue(Slot &s)
{
    s.nfq = nfq_open();
    if (!s.nfq) {
        fprintf(stderr, "[CAPTURE] The kernel has no netfilter queue (%s)\n", strerror(errno));
        return errno == EPERM ? QUORLIX_CAPTURE_ERR_ACCESS_DENIED : QUORLIX_CAPTURE_ERR_UNAVAILABLE;
    }
    // Needed by kernels before 3.8, refused as unsupported by later ones.
    nfq_bind_pf(s.nfq, AF_INET);
    int last_errno = 0;
    for (unsigned i = 0; i < QUORLIX_CAPTURE_NF_QUEUE_TRIES && !s.qh; ++i) {
        const uint16_t num = uint16_t(QUORLIX_CAPTURE_NF_QUEUE_FIRST + i);
        errno = 0;
        s.qh = nfq_create_queue(s.nfq, num, on_packet, &s);
        if (s.qh) {
            s.queue_num = num;
            break;
        }
        // EPERM here means another socket owns the number (the capability
        // was checked before): try the next one.
        last_errno = errno;
    }
    if (!s.qh) {
        fprintf(stderr, "[CAPTURE] No netfilter queue could be bound (%s)\n", strerror(last_errno));
        return QUORLIX_CAPTURE_ERR_UNAVAILABLE;
    }
    if (nfq_set_mode(s.qh, NFQNL_COPY_PACKET, QUORLIX_CAPTURE_MAX_PACKET) < 0) {
        fprintf(stderr, "[CAPTURE] The netfilter queue refused to copy packets (%s)\n", strerror(errno));
        return QUORLIX_CAPTURE_ERR_UNAVAILABLE;
    }
    nfq_set_queue_maxlen(s.qh, kQueueMaxLen);
    // Packets the queue cannot hold (process slow or gone) pass instead of
    // being dropped. Large TCP packets come before the stack cuts them up:
    // one trip through the queue instead of dozens.
    const uint32_t flags = NFQA_CFG_F_FAIL_OPEN | NFQA_CFG_F_GSO;
    s.gso = nfq_set_queue_flags(s.qh, flags, flags) == 0;
    if (!s.gso && nfq_set_queue_flags(s.qh, NFQA_CFG_F_FAIL_OPEN, NFQA_CFG_F_FAIL_OPEN) < 0)
        fprintf(stderr, "[CAPTURE] The kernel does not support fail-open queues; a full queue drops\n");
    s.fd = nfq_fd(s.nfq);
    const int one = 1;
    setsockopt(s.fd, SOL_NETLINK, NETLINK_NO_ENOBUFS, &one, sizeof one);
    if (setsockopt(s.fd, SOL_SOCKET, SO_RCVBUFFORCE, &kSocketBuffer, sizeof kSocketBuffer) != 0)
        setsockopt(s.fd, SOL_SOCKET, SO_RCVBUF, &kSocketBuffer, sizeof kSocketBuffer);
    fcntl(s.fd, F_SETFL, fcntl(s.fd, F_GETFL) | O_NONBLOCK);

    s.raw_fd = socket(AF_INET, SOCK_RAW | SOCK_CLOEXEC, IPPROTO_RAW);
    if (s.raw_fd < 0) {
        fprintf(stderr, "[CAPTURE] No raw socket for sending packets (%s)\n", strerror(errno));
        return errno == EPERM || errno == EACCES ? QUORLIX_CAPTURE_ERR_ACCESS_DENIED
                                                 : QUORLIX_CAPTURE_ERR_UNAVAILABLE;
    }
    const uint32_t mark = QUORLIX_CAPTURE_NF_MARK;
    if (setsockopt(s.raw_fd, SOL_SOCKET, SO_MARK, &mark, sizeof mark) != 0) {
        fprintf(stderr, "[CAPTURE] Cannot mark sent packets (%s)\n", strerror(errno));
        return errno == EPERM ? QUORLIX_CAPTURE_ERR_ACCESS_DENIED : QUORLIX_CAPTURE_ERR_UNAVAILABLE;
    }
    s.wake_fd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    s.rx = static_cast<uint8_t *>(malloc(kRxSize));
    s.pending_copy = static_cast<uint8_t *>(malloc(QUORLIX_CAPTURE_MAX_PACKET));
    if (s.wake_fd < 0 || !s.rx || !s.pending_copy)
        return QUORLIX_CAPTURE_ERR_NO_MEMORY;
    return QUORLIX_CAPTURE_OK;
}

// Ends a call's use of a slot; the last user of a closed slot tears it down
// and removes its chains.
void leave(Slot *s)
{
    int gone = -1;
    {
        std::lock_guard<std::mutex> guard(g_lock);
        --s->users;
        if (!s->open && s->users == 0 && s->in_use) {
            gone = s->queue_num;
            teardown(*s);
        }
    }
    if (gone >= 0)
        remove_own_rules(uint16_t(gone));
}

// Same flow, same datagram: the engine edited the packet it was given (an
// MSS clamp) rather than sending another one.
bool same_packet(const uint8_t *a, const uint8_t *b, size_t len)
{
    if (len < 20 || (a[0] & 0xF0) != 0x40)
        return false;
    const size_t ihl = size_t(a[0] & 0x0F) * 4;
    if (ihl < 20 || ihl + 4 > len)
        return memcmp(a, b, 20) == 0;
    // Addresses, protocol, identification and ports.
    return a[0] == b[0] && memcmp(a + 4, b + 4, 2) == 0 && a[9] == b[9] && memcmp(a + 12, b + 12, 8) == 0 &&
           memcmp(a + ihl, b + ihl, 4) == 0;
}

} // namespace

extern "C" quorlix_capture_handle quorlix_capture_nf_open(const char *filter, int *error)
{
    int dummy;
    int &err = error ? *error : dummy;
    size_t error_pos = 0;
    quorlix_filter *compiled = quorlix_filter_compile(filter, &error_pos);
    if (!compiled) {
        err = error_pos == size_t(-1) ? QUORLIX_CAPTURE_ERR_NO_MEMORY : QUORLIX_CAPTURE_ERR_FILTER_SYNTAX;
        return QUORLIX_CAPTURE_INVALID;
    }
    quorlix_filter_scope scope;
    quorlix_filter_scope_of(compiled, &scope);
    if (scope.outbound && scope.skip_dst_count == 0) {
        // The owner's own datagrams to its relays would come back to it.
        fprintf(stderr, "[CAPTURE] The filter leaves no relay address out of the outbound capture\n");
        quorlix_filter_free(compiled);
        err = QUORLIX_CAPTURE_ERR_FILTER_SYNTAX;
        return QUORLIX_CAPTURE_INVALID;
    }
    if (!allowed_here()) {
        fprintf(stderr, "[CAPTURE] Tests may open the netfilter capture only in a network namespace "
                        "of their own\n");
        quorlix_filter_free(compiled);
        err = QUORLIX_CAPTURE_ERR_UNAVAILABLE;
        return QUORLIX_CAPTURE_INVALID;
    }
    if (!has_capabilities()) {
        fprintf(stderr, "[CAPTURE] Packet capture needs the capabilities cap_net_admin and cap_net_raw "
                        "(tools/run.sh grants them to the client)\n");
        quorlix_filter_free(compiled);
        err = QUORLIX_CAPTURE_ERR_ACCESS_DENIED;
        return QUORLIX_CAPTURE_INVALID;
    }

    unsigned idx = kSlots;
    {
        std::lock_guard<std::mutex> guard(g_lock);
        for (unsigned i = 0; i < kSlots; ++i) {
            if (!g_slots[i].in_use) {
                idx = i;
                g_slots[i].in_use = true;
                break;
            }
        }
    }
    if (idx == kSlots) {
        quorlix_filter_free(compiled);
        err = QUORLIX_CAPTURE_ERR_TOO_MANY;
        return QUORLIX_CAPTURE_INVALID;
    }
    Slot &s = g_slots[idx];
    s.filter = compiled;
    s.scope = scope;
    s.closing.store(false);
    s.bypassed.store(0);
    s.target = Slot::Target{};
    int rc = open_queue(s);
    quorlix_capture_handle h = QUORLIX_CAPTURE_INVALID;
    if (rc == QUORLIX_CAPTURE_OK) {
        std::lock_guard<std::mutex> guard(g_lock);
        s.generation = (s.generation + 1) & ((1u << kGenerationBits) - 1);
        if (s.generation == 0)
            s.generation = 1;
        s.open = true;
        s.users = 0;
        h = make_handle(idx, s.generation);
    }
    if (rc == QUORLIX_CAPTURE_OK) {
        rc = install_rules(s); // all or nothing
        if (rc != QUORLIX_CAPTURE_OK) {
            std::lock_guard<std::mutex> guard(g_lock);
            s.open = false;
        }
    }
    if (rc != QUORLIX_CAPTURE_OK) {
        std::lock_guard<std::mutex> guard(g_lock);
        teardown(s);
        err = rc;
        return QUORLIX_CAPTURE_INVALID;
    }
    err = QUORLIX_CAPTURE_OK;
    return h;
}

extern "C" int quorlix_capture_nf_recv(quorlix_capture_handle h, void *buf, size_t cap, size_t *len,
                                       quorlix_capture_addr *addr)
{
    Slot *s;
    {
        std::lock_guard<std::mutex> guard(g_lock);
        s = find_open(h);
        if (!s)
            return QUORLIX_CAPTURE_ERR_INVALID_HANDLE;
        ++s->users;
    }
    int rc = QUORLIX_CAPTURE_ERR_CLOSED;
    {
        std::lock_guard<std::mutex> one(s->recv_lock);
        settle_pending(s);
        s->target = Slot::Target{buf, cap, len, addr, QUORLIX_CAPTURE_OK, false};
        if (!s->backlog.empty()) {
            Held held = std::move(s->backlog.front());
            s->backlog.pop_front();
            deliver(s, held.id, held.outbound, held.if_index, held.bytes.data(), held.bytes.size(),
                    held.in_group);
        }
        while (!s->target.delivered && !s->closing.load()) {
            // Under load the next message is already there: read first, and
            // wait only when there is nothing.
            const ssize_t n = recv(s->fd, s->rx, kRxSize, MSG_DONTWAIT);
            if (n > 0) {
                nfq_handle_packet(s->nfq, reinterpret_cast<char *>(s->rx), int(n));
                continue;
            }
            if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR && errno != ENOBUFS)
                break;
            // An overflow's end is written on time even when the traffic
            // stops with it.
            int wait = -1;
            if (s->overflowing) {
                check_overflow_end(s, now_ms());
                const uint64_t quiet = now_ms() - s->last_gap_ms;
                wait = !s->overflowing ? -1 : quiet >= kOverflowQuietMs ? 0 : int(kOverflowQuietMs - quiet);
            }
            pollfd fds[2] = {{s->fd, POLLIN, 0}, {s->wake_fd, POLLIN, 0}};
            if (poll(fds, 2, wait) < 0 && errno != EINTR)
                break;
            if (fds[1].revents & POLLIN)
                break;
        }
        if (s->target.delivered)
            rc = s->target.result;
        s->target = Slot::Target{};
    }
    leave(s);
    return rc;
}

extern "C" int quorlix_capture_nf_send(quorlix_capture_handle h, const void *packet, size_t len,
                                       const quorlix_capture_addr *addr)
{
    Slot *s;
    {
        std::lock_guard<std::mutex> guard(g_lock);
        s = find_open(h);
        if (!s)
            return QUORLIX_CAPTURE_ERR_INVALID_HANDLE;
        if (!packet || !addr || len == 0 || len > QUORLIX_CAPTURE_MAX_PACKET)
            return QUORLIX_CAPTURE_ERR_BAD_PACKET;
        ++s->users;
    }
    const uint8_t *p = static_cast<const uint8_t *>(packet);
    int rc = QUORLIX_CAPTURE_OK;
    bool released = false;
    {
        std::lock_guard<std::mutex> guard(s->pending_lock);
        if (s->pending && s->pending_outbound == (addr->outbound ? 1 : 0) && s->pending_len == len) {
            const bool unchanged = memcmp(p, s->pending_copy, len) == 0;
            if (unchanged || (addr->outbound && same_packet(p, s->pending_copy, len))) {
                released = true;
                s->pending = false;
                if (s->pending_in_group) {
                    // Held back until the whole group is through.
                    s->group.returned.emplace_back(p, p + len);
                    if (unchanged)
                        ++s->group.unchanged;
                } else if (unchanged) {
                    verdict(s, s->pending_id, pass_verdict(s));
                } else {
                    verdict(s, s->pending_id, pass_verdict(s), len, p);
                }
            }
        }
    }
    if (!released && !raw_send(s, p, len)) // anything else is a packet of its own
        rc = QUORLIX_CAPTURE_ERR_BAD_PACKET;
    leave(s);
    return rc;
}

extern "C" uint64_t quorlix_capture_nf_bypassed(quorlix_capture_handle h)
{
    std::lock_guard<std::mutex> guard(g_lock);
    const Slot *s = find_open(h);
    return s ? s->bypassed.load(std::memory_order_relaxed) : 0;
}

extern "C" void quorlix_capture_nf_close(quorlix_capture_handle h)
{
    int gone = -1;
    {
        std::lock_guard<std::mutex> guard(g_lock);
        Slot *s = find_open(h);
        if (!s)
            return;
        s->open = false;
        s->closing.store(true);
        const uint64_t one = 1;
        if (write(s->wake_fd, &one, sizeof one) < 0) {
            // The eventfd cannot be full after one write; nothing to do.
        }
        if (s->users == 0) {
            gone = s->queue_num;
            teardown(*s);
        }
    }
    if (gone >= 0)
        remove_own_rules(uint16_t(gone));
}
