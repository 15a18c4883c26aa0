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
//
// Under load the work goes in batches: one read takes every message the
// queue holds (up to kBatch), and while packets of that read are still to be
// handed over, verdicts and packets of our own are gathered and go to the
// kernel together (one message with every verdict, one call for every
// packet), before the next read or wait.

#include "platform/capture/capture_netfilter.h"
#include "platform/capture/capture.h"
#include "platform/capture/capture_backend.h"
#include "platform/capture/capture_filter.h"
#include "platform/capture/capture_netfilter_setup.h"
#include "platform/capture/packet.h"

#include <arpa/inet.h>
#include <errno.h>
#include <fcntl.h>
#include <libnetfilter_queue/libnetfilter_queue.h>
#include <linux/netfilter.h>
#include <linux/netfilter/nfnetlink.h>
#include <linux/netfilter/nfnetlink_queue.h>
#include <linux/netlink.h>
#include <netinet/in.h>
#include <poll.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <deque>
#include <mutex>
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
// The read buffers lie back to back; each starts on an 8-byte boundary, as
// the netlink headers read from its start and the packets handed on expect.
constexpr size_t aligned8(size_t n)
{
    return (n + 7) & ~size_t(7);
}
constexpr size_t kRxSize = aligned8(QUORLIX_CAPTURE_MAX_PACKET + 4096); // one packet and its netlink framing
// A datagram of the owner's socket, behind the 28 bytes of the IPv4 and UDP
// headers it is presented with.
constexpr size_t kSockHeaders = 28;
constexpr size_t kSockRxSize = aligned8(QUORLIX_CAPTURE_MAX_PACKET + kSockHeaders);
// Messages taken from the queue, and datagrams from the owner's socket, in one read.
constexpr unsigned kBatch = 32;
// Far more than the socket buffer holds: a process that falls behind fills
// the socket first, and the kernel numbers the packets it then lets past (the
// numbers it skips), where a full queue would let them past unnumbered.
constexpr uint32_t kQueueMaxLen = 1u << 20;
// How long the queue must keep up before an overflow counts as over.
constexpr uint64_t kOverflowQuietMs = 1000;
constexpr int kSocketBuffer = 8 << 20;
// Gathered verdicts and packets of our own, bytes.
constexpr size_t kVerdictBuffer = 128 * 1024;
constexpr size_t kSendBuffer = 256 * 1024;

// A segment cut from a large TCP packet, waiting to be handed over.
struct Segment
{
    uint32_t if_index;
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

// Where the packet last handed over came from.
enum Source { FROM_QUEUE, FROM_GROUP, FROM_SOCKET };

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
    int sock_fd = -1; // the owner's socket (our own reference), or -1
    uint16_t sock_port = 0;
    bool gso = false; // the queue hands over large TCP packets before segmentation
    std::atomic<bool> closing{false};

    // Receive side: one receive at a time.
    std::mutex recv_lock;
    uint8_t *rx = nullptr; // kBatch buffers of kRxSize
    mmsghdr rx_msgs[kBatch];
    iovec rx_iov[kBatch];
    unsigned rx_count = 0, rx_next = 0;
    uint8_t *srx = nullptr; // kBatch datagram buffers of QUORLIX_CAPTURE_MAX_PACKET
    mmsghdr s_msgs[kBatch];
    iovec s_iov[kBatch];
    sockaddr_in s_from[kBatch];
    char s_ctl[kBatch][64];
    unsigned s_count = 0, s_next = 0;
    std::deque<Segment> segments; // of the group being worked through
    struct Target
    {
        void *buf;
        size_t cap;
        size_t *len;
        quorlix_capture_addr *addr;
        int result;
        bool delivered;
    } target{};

    // The admitted packet whose verdict is held back, with its bytes as
    // taken, and what is gathered for the kernel.
    std::mutex pending_lock;
    bool pending = false;
    Source pending_source = FROM_QUEUE;
    Group group;
    uint32_t pending_id = 0;
    uint8_t pending_outbound = 0;
    size_t pending_len = 0;
    uint8_t *pending_copy = nullptr;
    bool batching = false; // more of the last read is still to be handed over
    uint8_t *vbuf = nullptr;
    size_t vlen = 0;
    uint32_t vseq = 0;
    uint8_t *sbuf = nullptr;
    size_t slen = 0;
    mmsghdr s_out[kBatch];
    iovec s_out_iov[kBatch];
    sockaddr_in s_out_to[kBatch];
    unsigned s_out_count = 0;
};

std::mutex g_lock;
Slot g_slots[kSlots];

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

// ---- what goes to the kernel: verdicts and packets of our own ----------------

// Sends the gathered verdicts and packets. Caller holds pending_lock.
void flush_locked(Slot *s)
{
    if (s->vlen > 0) {
        sockaddr_nl kernel{};
        kernel.nl_family = AF_NETLINK;
        // A verdict the kernel refuses comes back as an error message, which
        // the receive side skips.
        sendto(s->fd, s->vbuf, s->vlen, 0, reinterpret_cast<sockaddr *>(&kernel), sizeof kernel);
        s->vlen = 0;
    }
    for (unsigned done = 0; done < s->s_out_count;) {
        const int n = sendmmsg(s->raw_fd, s->s_out + done, s->s_out_count - done, 0);
        if (n <= 0) {
            if (n < 0 && errno == EINTR)
                continue;
            ++done; // that packet is refused (the kernel's reason is lost): go on with the rest
            continue;
        }
        done += unsigned(n);
    }
    s->s_out_count = 0;
    s->slen = 0;
}

// One verdict message, gathered until the batch is through (or sent at once
// when no batch is being worked through). Caller holds pending_lock.
void verdict_locked(Slot *s, uint32_t id, uint32_t v, size_t len = 0, const void *data = nullptr)
{
    const size_t hdr = NLMSG_ALIGN(sizeof(nlmsghdr)) + NLMSG_ALIGN(sizeof(nfgenmsg));
    const size_t vattr = NLA_ALIGN(NLA_HDRLEN + sizeof(nfqnl_msg_verdict_hdr));
    const size_t pattr = data ? NLA_ALIGN(NLA_HDRLEN + len) : 0;
    const size_t total = hdr + vattr + pattr;
    if (s->vlen + total > kVerdictBuffer || (data && NLA_HDRLEN + len > 0xFFFF))
        flush_locked(s);
    if (total > kVerdictBuffer ||
        (data && NLA_HDRLEN + len > 0xFFFF)) { // a changed packet too large to gather
        nfq_set_verdict(s->qh, id, v, uint32_t(len), static_cast<const unsigned char *>(data));
        return;
    }
    uint8_t *m = s->vbuf + s->vlen;
    memset(m, 0, total);
    nlmsghdr *nh = reinterpret_cast<nlmsghdr *>(m);
    nh->nlmsg_len = uint32_t(total);
    nh->nlmsg_type = uint16_t((NFNL_SUBSYS_QUEUE << 8) | NFQNL_MSG_VERDICT);
    nh->nlmsg_flags = NLM_F_REQUEST;
    nh->nlmsg_seq = ++s->vseq;
    nfgenmsg *g = reinterpret_cast<nfgenmsg *>(m + NLMSG_ALIGN(sizeof(nlmsghdr)));
    g->nfgen_family = AF_UNSPEC;
    g->version = NFNETLINK_V0;
    g->res_id = htons(s->queue_num);
    nlattr *a = reinterpret_cast<nlattr *>(m + hdr);
    a->nla_len = uint16_t(NLA_HDRLEN + sizeof(nfqnl_msg_verdict_hdr));
    a->nla_type = NFQA_VERDICT_HDR;
    nfqnl_msg_verdict_hdr vh{htonl(v), htonl(id)};
    memcpy(m + hdr + NLA_HDRLEN, &vh, sizeof vh);
    if (data) {
        nlattr *p = reinterpret_cast<nlattr *>(m + hdr + vattr);
        p->nla_len = uint16_t(NLA_HDRLEN + len);
        p->nla_type = NFQA_PAYLOAD;
        memcpy(m + hdr + vattr + NLA_HDRLEN, data, len);
    }
    s->vlen += total;
    if (!s->batching)
        flush_locked(s);
}

// What becomes of a packet this handle lets through: it goes on to the queue
// of the client that came before this one, or on its way when there is none
// (or that client has gone since: the bypass flag).
uint32_t pass_verdict(const Slot *s)
{
    return s->next_queue >= 0 ? uint32_t(NF_QUEUE_NR(s->next_queue)) | NF_VERDICT_FLAG_QUEUE_BYPASS
                              : NF_ACCEPT;
}

// Sends a packet of our own: the kernel routes it by its destination, a
// remote one to the wire, a local one (an inbound packet) back into this
// machine's stack with its source as written. Our mark keeps the rules from
// queueing it again. Gathered like the verdicts. Caller holds pending_lock.
bool raw_send_locked(Slot *s, const uint8_t *p, size_t len)
{
    if (len < 20 || (p[0] & 0xF0) != 0x40)
        return false;
    if (s->s_out_count == kBatch || s->slen + len > kSendBuffer)
        flush_locked(s);
    if (len > kSendBuffer)
        return false;
    const unsigned i = s->s_out_count++;
    memcpy(s->sbuf + s->slen, p, len);
    s->s_out_iov[i] = iovec{s->sbuf + s->slen, len};
    s->slen += len;
    s->s_out_to[i] = sockaddr_in{};
    s->s_out_to[i].sin_family = AF_INET;
    memcpy(&s->s_out_to[i].sin_addr, p + 16, 4);
    msghdr &h = s->s_out[i].msg_hdr;
    h = msghdr{};
    h.msg_name = &s->s_out_to[i];
    h.msg_namelen = sizeof s->s_out_to[i];
    h.msg_iov = &s->s_out_iov[i];
    h.msg_iovlen = 1;
    if (!s->batching)
        flush_locked(s);
    return true;
}

// ---- overflow --------------------------------------------------------------------

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

// Ends an overflow once the queue has kept up for a while. Called with the
// socket read empty: packets let past after the last one read show only in
// the kernel's own count, nothing unread stands between.
void check_overflow_end(Slot *s, uint64_t now)
{
    if (!s->overflowing || now - s->last_gap_ms < kOverflowQuietMs)
        return;
    const int64_t last = nfsetup::kernel_last_id(s->queue_num);
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

// ---- handing packets over ------------------------------------------------------

// The engine went on without sending the packet it was given back: it took
// it. Caller holds pending_lock.
void drop_pending_locked(Slot *s)
{
    if (!s->pending)
        return;
    if (s->pending_source == FROM_GROUP)
        s->group.spoiled = true;
    else if (s->pending_source == FROM_QUEUE)
        verdict_locked(s, s->pending_id, NF_DROP);
    // A datagram from the owner's socket has reached its end already.
    s->pending = false;
}

// Every segment of a group has been through the engine. Caller holds
// pending_lock.
void finish_group_locked(Slot *s)
{
    Group &g = s->group;
    if (!g.spoiled && g.unchanged == g.segments) {
        verdict_locked(s, g.id, pass_verdict(s));
    } else {
        for (const std::vector<uint8_t> &seg : g.returned)
            raw_send_locked(s, seg.data(), seg.size());
        verdict_locked(s, g.id, NF_DROP);
    }
    g = Group{};
}

bool more_to_hand_over(const Slot *s)
{
    return !s->segments.empty() || s->rx_next < s->rx_count || s->s_next < s->s_count;
}

void settle_pending(Slot *s)
{
    std::lock_guard<std::mutex> guard(s->pending_lock);
    s->batching = more_to_hand_over(s);
    drop_pending_locked(s);
    if (s->group.active && s->segments.empty())
        finish_group_locked(s);
}

// Hands a packet to the waiting receive.
void deliver(Slot *s, Source source, uint32_t id, uint8_t outbound, uint32_t if_index, const uint8_t *data,
             size_t len)
{
    Slot::Target &t = s->target;
    t.delivered = true;
    if (!t.buf || len > t.cap) {
        std::lock_guard<std::mutex> guard(s->pending_lock);
        if (source == FROM_GROUP)
            s->group.spoiled = true;
        else if (source == FROM_QUEUE)
            verdict_locked(s, id, NF_DROP);
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
    memcpy(s->pending_copy, t.buf, len);
    s->pending = true;
    s->pending_source = source;
    s->pending_id = id;
    s->pending_outbound = outbound;
    s->pending_len = len;
    s->batching = more_to_hand_over(s);
}

// A packet message of the queue, read from its attributes.
struct QueuedPacket
{
    uint32_t id = 0;
    bool have_id = false;
    uint8_t hook = 0;
    uint32_t indev = 0, outdev = 0, skbinfo = 0;
    uint8_t *payload = nullptr;
    size_t len = 0;
};

// Parses one netlink message; false for anything but a queued packet.
bool parse_message(uint8_t *m, size_t len, QueuedPacket *p)
{
    if (len < NLMSG_HDRLEN + sizeof(nfgenmsg))
        return false;
    nlmsghdr nh;
    memcpy(&nh, m, sizeof nh);
    if (nh.nlmsg_len < NLMSG_HDRLEN + sizeof(nfgenmsg) || nh.nlmsg_len > len ||
        nh.nlmsg_type != ((NFNL_SUBSYS_QUEUE << 8) | NFQNL_MSG_PACKET))
        return false;
    size_t off = NLMSG_HDRLEN + NLMSG_ALIGN(sizeof(nfgenmsg));
    const size_t end = nh.nlmsg_len;
    while (off + NLA_HDRLEN <= end) {
        nlattr a;
        memcpy(&a, m + off, sizeof a);
        if (a.nla_len < NLA_HDRLEN || off + a.nla_len > end)
            break;
        uint8_t *v = m + off + NLA_HDRLEN;
        const size_t vlen = a.nla_len - NLA_HDRLEN;
        uint32_t be = 0;
        switch (a.nla_type & NLA_TYPE_MASK) {
        case NFQA_PACKET_HDR:
            if (vlen >= sizeof(nfqnl_msg_packet_hdr)) {
                nfqnl_msg_packet_hdr ph;
                memcpy(&ph, v, sizeof ph);
                p->id = ntohl(ph.packet_id);
                p->hook = ph.hook;
                p->have_id = true;
            }
            break;
        case NFQA_IFINDEX_INDEV:
        case NFQA_IFINDEX_OUTDEV:
        case NFQA_SKB_INFO:
            if (vlen >= 4) {
                memcpy(&be, v, 4);
                const uint32_t host = ntohl(be);
                if ((a.nla_type & NLA_TYPE_MASK) == NFQA_IFINDEX_INDEV)
                    p->indev = host;
                else if ((a.nla_type & NLA_TYPE_MASK) == NFQA_IFINDEX_OUTDEV)
                    p->outdev = host;
                else
                    p->skbinfo = host;
            }
            break;
        case NFQA_PAYLOAD:
            p->payload = v;
            p->len = vlen;
            break;
        default:
            break;
        }
        off += NLA_ALIGN(a.nla_len);
    }
    return p->have_id;
}

// Works through one message of the last read (the queue sends each packet
// as a message of its own): a packet the filter admits is handed over (a
// large TCP one as its segments), anything else goes on.
void take_queued(Slot *s, uint8_t *m, size_t n)
{
    QueuedPacket q;
    if (!parse_message(m, n, &q))
        return; // an error message for a refused verdict, or something unknown
    note_packet_id(s, q.id);
    // The rules hook OUTPUT and INPUT only; anything else is let through.
    const bool outbound = q.hook == NF_INET_LOCAL_OUT || q.hook == NF_INET_POST_ROUTING;
    if (!q.payload || q.len == 0 || !quorlix_filter_match(s->filter, q.payload, q.len, outbound ? 1 : 0)) {
        std::lock_guard<std::mutex> guard(s->pending_lock);
        verdict_locked(s, q.id, pass_verdict(s));
        return;
    }
    const uint32_t info = s->gso ? q.skbinfo : 0;
    const uint32_t if_index = outbound ? q.outdev : q.indev;
    if ((info & NFQA_SKB_GSO) && outbound) {
        static thread_local std::vector<uint8_t> cut(2 * QUORLIX_CAPTURE_MAX_PACKET);
        size_t lens[QUORLIX_CAPTURE_MAX_PACKET / QUORLIX_CAPTURE_NF_SEGMENT_PAYLOAD + 1];
        const size_t count =
            quorlix_capture_nf_segment_tcp(q.payload, q.len, QUORLIX_CAPTURE_NF_SEGMENT_PAYLOAD, cut.data(),
                                           cut.size(), lens, sizeof lens / sizeof *lens);
        // One group at a time: another large packet (one that came in the
        // same read) is handed over whole.
        bool busy;
        {
            std::lock_guard<std::mutex> guard(s->pending_lock);
            busy = s->group.active;
            if (count > 0 && !busy) {
                s->group.active = true;
                s->group.id = q.id;
                s->group.segments = count;
            }
        }
        if (count > 0 && !busy) {
            const uint8_t *p = cut.data();
            for (size_t i = 0; i < count; ++i) {
                s->segments.push_back(Segment{if_index, std::vector<uint8_t>(p, p + lens[i])});
                p += lens[i];
            }
            Segment first = std::move(s->segments.front());
            s->segments.pop_front();
            deliver(s, FROM_GROUP, q.id, 1, first.if_index, first.bytes.data(), first.bytes.size());
            return;
        }
    }
    // The stack would fill the checksums in later (offload); whoever reads
    // the packet now needs them. The bytes are our own receive buffer. (The
    // segments of a group get theirs as they are cut.)
    if (info & NFQA_SKB_CSUMNOTREADY)
        quorlix_packet_calc_checksums(q.payload, q.len);
    deliver(s, FROM_QUEUE, q.id, uint8_t(outbound), if_index, q.payload, q.len);
}

// Presents a datagram read from the owner's socket as the captured inbound
// IPv4/UDP packet it arrived as: the owner's relay sent it to that socket.
void take_datagram(Slot *s, unsigned i)
{
    const size_t n = s->s_msgs[i].msg_len;
    if (s->s_msgs[i].msg_hdr.msg_flags & MSG_TRUNC)
        return; // longer than any IPv4 packet can carry whole
    in_addr dst{};
    uint32_t if_index = 0;
    for (cmsghdr *c = CMSG_FIRSTHDR(&s->s_msgs[i].msg_hdr); c; c = CMSG_NXTHDR(&s->s_msgs[i].msg_hdr, c)) {
        if (c->cmsg_level == IPPROTO_IP && c->cmsg_type == IP_PKTINFO) {
            in_pktinfo pi;
            memcpy(&pi, CMSG_DATA(c), sizeof pi);
            dst = pi.ipi_addr;
            if_index = uint32_t(pi.ipi_ifindex);
        }
    }
    if (s->sock_port == 0) {
        sockaddr_in own{};
        socklen_t ol = sizeof own;
        if (getsockname(s->sock_fd, reinterpret_cast<sockaddr *>(&own), &ol) == 0)
            s->sock_port = ntohs(own.sin_port);
    }
    // Built where the datagram lies: its buffer keeps room for the headers.
    uint8_t *p = s->srx + size_t(i) * kSockRxSize;
    const size_t total = n + kSockHeaders;
    if (total > QUORLIX_CAPTURE_MAX_PACKET)
        return;
    p[0] = 0x45;
    p[1] = 0;
    p[2] = uint8_t(total >> 8);
    p[3] = uint8_t(total);
    memset(p + 4, 0, 4);
    p[8] = 64;
    p[9] = 17;
    p[10] = p[11] = 0;
    memcpy(p + 12, &s->s_from[i].sin_addr, 4);
    memcpy(p + 16, &dst, 4);
    memcpy(p + 20, &s->s_from[i].sin_port, 2);
    p[22] = uint8_t(s->sock_port >> 8);
    p[23] = uint8_t(s->sock_port);
    p[24] = uint8_t((n + 8) >> 8);
    p[25] = uint8_t(n + 8);
    p[26] = p[27] = 0; // no UDP checksum: the datagram was checked on arrival
    const uint16_t sum = quorlix_inet_checksum(p, 20, 0);
    p[10] = uint8_t(sum >> 8);
    p[11] = uint8_t(sum);
    // Only what the filter would have captured; the owner never reads the
    // socket itself, so anything else ends here as it would have there.
    if (!quorlix_filter_match(s->filter, p, total, 0))
        return;
    deliver(s, FROM_SOCKET, 0, 0, if_index, p, total);
}

// Fills the batches: every message the queue holds and every datagram the
// owner's socket holds, without waiting. Returns false on a fatal error.
bool refill(Slot *s)
{
    if (s->rx_next >= s->rx_count) {
        s->rx_count = s->rx_next = 0;
        const int n = recvmmsg(s->fd, s->rx_msgs, kBatch, MSG_DONTWAIT, nullptr);
        if (n > 0)
            s->rx_count = unsigned(n);
        else if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR && errno != ENOBUFS)
            return false;
    }
    if (s->sock_fd >= 0 && s->s_next >= s->s_count) {
        s->s_count = s->s_next = 0;
        for (unsigned i = 0; i < kBatch; ++i) { // the kernel wrote what it found into these
            s->s_msgs[i].msg_hdr.msg_namelen = sizeof s->s_from[i];
            s->s_msgs[i].msg_hdr.msg_controllen = sizeof s->s_ctl[i];
        }
        const int n = recvmmsg(s->sock_fd, s->s_msgs, kBatch, MSG_DONTWAIT | MSG_TRUNC, nullptr);
        if (n > 0)
            s->s_count = unsigned(n);
    }
    return true;
}

// Frees what a slot holds. Caller holds g_lock; the slot has no users.
void teardown(Slot &s)
{
    if (s.overflowing)
        fprintf(stderr,
                "[CAPTURE] The capture closes during an overflow: %llu packets passed without the tunnel\n",
                (unsigned long long)s.overflow_episode);
    if (s.fd >= 0) {
        // What the last batch left gathered, then the packets still held.
        std::lock_guard<std::mutex> guard(s.pending_lock);
        s.batching = false;
        flush_locked(&s);
    }
    if (s.qh)
        nfq_destroy_queue(s.qh); // the kernel drops what is still queued
    if (s.nfq)
        nfq_close(s.nfq);
    for (int fd : {s.wake_fd, s.raw_fd, s.sock_fd}) {
        if (fd >= 0)
            close(fd);
    }
    quorlix_filter_free(s.filter);
    free(s.rx);
    free(s.srx);
    free(s.pending_copy);
    free(s.vbuf);
    free(s.sbuf);
    s.qh = nullptr;
    s.nfq = nullptr;
    s.fd = s.wake_fd = s.raw_fd = s.sock_fd = -1;
    s.sock_port = 0;
    s.filter = nullptr;
    s.rx = s.srx = s.pending_copy = s.vbuf = s.sbuf = nullptr;
    s.rx_count = s.rx_next = s.s_count = s.s_next = 0;
    s.segments.clear();
    s.pending = false;
    s.batching = false;
    s.vlen = s.slen = 0;
    s.s_out_count = 0;
    s.group = Group{};
    s.next_queue = -1;
    s.last_id = 0;
    s.overflowing = false;
    s.in_use = false;
}

int on_unused_packet(nfq_q_handle *, nfgenmsg *, nfq_data *, void *)
{
    return 0; // messages are read and parsed by take_queued
}

// Opens the queue side of a claimed slot. Returns a capture error code.
int open_queue(Slot &s, int owner_socket)
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
        s.qh = nfq_create_queue(s.nfq, num, on_unused_packet, &s);
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
    // The owner's socket: a reference of our own, which also tells each
    // datagram's destination address.
    if (owner_socket >= 0) {
        int type = 0;
        socklen_t tl = sizeof type;
        sockaddr_in own{};
        socklen_t ol = sizeof own;
        if (getsockopt(owner_socket, SOL_SOCKET, SO_TYPE, &type, &tl) == 0 && type == SOCK_DGRAM &&
            getsockname(owner_socket, reinterpret_cast<sockaddr *>(&own), &ol) == 0 &&
            own.sin_family == AF_INET)
            s.sock_fd = fcntl(owner_socket, F_DUPFD_CLOEXEC, 0);
        if (s.sock_fd >= 0)
            setsockopt(s.sock_fd, IPPROTO_IP, IP_PKTINFO, &one, sizeof one);
    }
    s.wake_fd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    s.rx = static_cast<uint8_t *>(malloc(kBatch * kRxSize));
    s.srx = s.sock_fd >= 0 ? static_cast<uint8_t *>(malloc(kBatch * kSockRxSize)) : nullptr;
    s.pending_copy = static_cast<uint8_t *>(malloc(QUORLIX_CAPTURE_MAX_PACKET));
    s.vbuf = static_cast<uint8_t *>(malloc(kVerdictBuffer));
    s.sbuf = static_cast<uint8_t *>(malloc(kSendBuffer));
    if (s.wake_fd < 0 || !s.rx || !s.pending_copy || !s.vbuf || !s.sbuf || (s.sock_fd >= 0 && !s.srx))
        return QUORLIX_CAPTURE_ERR_NO_MEMORY;
    // The read batches' descriptions, set once.
    for (unsigned i = 0; i < kBatch; ++i) {
        s.rx_iov[i] = iovec{s.rx + size_t(i) * kRxSize, kRxSize};
        s.rx_msgs[i].msg_hdr = msghdr{};
        s.rx_msgs[i].msg_hdr.msg_iov = &s.rx_iov[i];
        s.rx_msgs[i].msg_hdr.msg_iovlen = 1;
        if (!s.srx)
            continue;
        // Each datagram lands behind room for the headers it is presented with.
        s.s_iov[i] =
            iovec{s.srx + size_t(i) * kSockRxSize + kSockHeaders, QUORLIX_CAPTURE_MAX_PACKET - kSockHeaders};
        msghdr &h = s.s_msgs[i].msg_hdr;
        h = msghdr{};
        h.msg_name = &s.s_from[i];
        h.msg_iov = &s.s_iov[i];
        h.msg_iovlen = 1;
        h.msg_control = s.s_ctl[i];
    }
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
        nfsetup::remove_rules(uint16_t(gone));
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

} // namespace

extern "C" quorlix_capture_handle quorlix_capture_nf_open(const char *filter, int owner_socket, int *error)
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
    if (!nfsetup::allowed_here()) {
        fprintf(stderr, "[CAPTURE] Tests may open the netfilter capture only in a network namespace "
                        "of their own\n");
        quorlix_filter_free(compiled);
        err = QUORLIX_CAPTURE_ERR_UNAVAILABLE;
        return QUORLIX_CAPTURE_INVALID;
    }
    if (!nfsetup::has_capabilities()) {
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
    s.closing.store(false);
    s.bypassed.store(0);
    s.target = Slot::Target{};
    int rc = open_queue(s, owner_socket);
    // What reaches the owner's socket is read there: the inbound rules need
    // not divert it.
    s.scope = scope;
    if (s.sock_fd >= 0)
        s.scope.inbound = 0;
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
        int next = -1;
        rc = nfsetup::install_rules(s.scope, s.queue_num, own_queues(&s), &next); // all or nothing
        std::lock_guard<std::mutex> guard(g_lock);
        s.next_queue = next;
        if (rc != QUORLIX_CAPTURE_OK)
            s.open = false;
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
        bool from_socket_next = false; // turns between the two batches
        while (!s->target.delivered && !s->closing.load()) {
            if (!s->segments.empty()) {
                Segment seg = std::move(s->segments.front());
                s->segments.pop_front();
                deliver(s, FROM_GROUP, s->group.id, 1, seg.if_index, seg.bytes.data(), seg.bytes.size());
                continue;
            }
            const bool queued = s->rx_next < s->rx_count, datagram = s->s_next < s->s_count;
            if (queued && (!datagram || !from_socket_next)) {
                const unsigned i = s->rx_next++;
                take_queued(s, s->rx + size_t(i) * kRxSize, s->rx_msgs[i].msg_len);
                from_socket_next = true;
                continue;
            }
            if (datagram) {
                take_datagram(s, s->s_next++);
                from_socket_next = false;
                continue;
            }
            // Nothing left of the last read: what it gathered goes out, then
            // the next read, which under load finds more at once.
            {
                std::lock_guard<std::mutex> guard(s->pending_lock);
                flush_locked(s);
                s->batching = false;
            }
            if (!refill(s))
                break;
            if (s->rx_count > 0 || s->s_count > 0) {
                std::lock_guard<std::mutex> guard(s->pending_lock);
                s->batching = true;
                continue;
            }
            // An overflow's end is written on time even when the traffic
            // stops with it.
            int wait = -1;
            if (s->overflowing) {
                check_overflow_end(s, now_ms());
                const uint64_t quiet = now_ms() - s->last_gap_ms;
                wait = !s->overflowing ? -1 : quiet >= kOverflowQuietMs ? 0 : int(kOverflowQuietMs - quiet);
            }
            pollfd fds[3] = {{s->fd, POLLIN, 0}, {s->wake_fd, POLLIN, 0}, {s->sock_fd, POLLIN, 0}};
            if (poll(fds, s->sock_fd >= 0 ? 3 : 2, wait) < 0 && errno != EINTR)
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
    {
        std::lock_guard<std::mutex> guard(s->pending_lock);
        bool released = false;
        if (s->pending && s->pending_outbound == (addr->outbound ? 1 : 0) && s->pending_len == len) {
            const bool unchanged = memcmp(p, s->pending_copy, len) == 0;
            if (s->pending_source == FROM_SOCKET) {
                // Going on means reaching the owner's socket, where it came from.
                released = unchanged;
            } else if (unchanged || (addr->outbound && same_packet(p, s->pending_copy, len))) {
                released = true;
                if (s->pending_source == FROM_GROUP) {
                    // Held back until the whole group is through.
                    s->group.returned.emplace_back(p, p + len);
                    if (unchanged)
                        ++s->group.unchanged;
                } else if (unchanged) {
                    verdict_locked(s, s->pending_id, pass_verdict(s));
                } else {
                    verdict_locked(s, s->pending_id, pass_verdict(s), len, p);
                }
            }
            if (released)
                s->pending = false;
        }
        if (!released && !raw_send_locked(s, p, len)) // anything else is a packet of its own
            rc = QUORLIX_CAPTURE_ERR_BAD_PACKET;
    }
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
        nfsetup::remove_rules(uint16_t(gone));
}
