#include "engine/common/engine_socket.h"

#include <arpa/inet.h>
#include <errno.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sched.h>
#include <string.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

int real_open(void *, int *err)
{
    int fd = socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_UDP);
    if (fd < 0) {
        *err = errno;
        return -1;
    }
#ifdef IP_MTU_DISCOVER
    // Let the kernel fragment oversized datagrams instead of refusing them with
    // EMSGSIZE: the safe MTU is only an estimate, and a fragmented datagram
    // still reaches the relay.
    int mode = IP_PMTUDISC_DONT;
    if (setsockopt(fd, IPPROTO_IP, IP_MTU_DISCOVER, &mode, sizeof mode) != 0) {
        *err = errno;
        close(fd);
        return -1;
    }
#endif
    return fd;
}

long real_send_to(void *, int fd, const void *data, size_t len, uint32_t addr, uint16_t port, int *err)
{
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = addr;
    to.sin_port = htons(port);
    ssize_t n;
    do {
        n = sendto(fd, data, len, MSG_NOSIGNAL, reinterpret_cast<const sockaddr *>(&to), sizeof to);
    } while (n < 0 && errno == EINTR);
    if (n < 0) {
        *err = errno;
        return -1;
    }
    return static_cast<long>(n);
}

void real_close(void *, int fd)
{
    close(fd);
}

int real_bind(void *, int fd, uint32_t addr, uint16_t port, int *err)
{
    sockaddr_in at{};
    at.sin_family = AF_INET;
    at.sin_addr.s_addr = addr;
    at.sin_port = htons(port);
    if (bind(fd, reinterpret_cast<const sockaddr *>(&at), sizeof at) != 0) {
        *err = errno;
        return -1;
    }
    return 0;
}

int real_wait(void *, int fd, int wake_fd, int timeout_ms, int *err)
{
    pollfd p[2] = {{fd, POLLIN, 0}, {wake_fd, POLLIN, 0}};
    int n = poll(p, wake_fd >= 0 ? 2 : 1, timeout_ms < 0 ? -1 : timeout_ms);
    if (n < 0) {
        *err = errno;
        return -1;
    }
    if (n == 0)
        return 0;
    if (wake_fd >= 0 && p[1].revents) {
        *err = EINTR;
        return -1;
    }
    return 1;
}

long real_recv_from(void *, int fd, void *buf, size_t cap, uint32_t *addr, uint16_t *port, int *err)
{
    sockaddr_in from{};
    socklen_t flen = sizeof from;
    // MSG_TRUNC makes a UDP receive return the datagram's whole length, so a
    // cut datagram is told apart from one that just filled the buffer.
    ssize_t n = recvfrom(fd, buf, cap, MSG_TRUNC, reinterpret_cast<sockaddr *>(&from), &flen);
    if (n < 0) {
        *err = errno;
        return -1;
    }
    *addr = from.sin_addr.s_addr;
    *port = ntohs(from.sin_port);
    return static_cast<long>(n);
}

const QuorlixSocketOps kRealOps = {real_open, real_send_to, real_close, real_bind, real_wait, real_recv_from};
const QuorlixSocketOps *g_ops = &kRealOps;
void *g_ctx = nullptr;

// An installed table may stop before the receiving calls; those stay real.
template <typename Fn> Fn op(Fn QuorlixSocketOps::*member)
{
    Fn fn = g_ops->*member;
    return fn ? fn : kRealOps.*member;
}

// A call in progress on s, counted for the time it lives: close waits for
// every such call before it releases the descriptors. The call is announced
// before the descriptor is read, so a concurrent close either runs first (the
// call then finds the socket closed: EBADF) or waits for the call to finish.
class Call
{
public:
    Call(QuorlixEngineSocket *s, int *err) : m_s(s), m_err(err ? *err : m_dummy)
    {
        m_s->busy.fetch_add(1);
        m_fd = m_s->fd.load();
        if (m_fd < 0)
            m_err = EBADF;
    }
    ~Call() { m_s->busy.fetch_sub(1); }
    Call(const Call &) = delete;
    Call &operator=(const Call &) = delete;

    bool closed() const { return m_fd < 0; }
    int fd() const { return m_fd; }
    // Valid while the call lives and the socket was open at its start.
    int wake() const { return m_s->wake.load(); }
    int &err() { return m_err; }

private:
    QuorlixEngineSocket *m_s;
    int m_dummy = 0;
    int &m_err;
    int m_fd = -1;
};

void signal_wake(int wake_fd)
{
    uint64_t one = 1;
    ssize_t n;
    do {
        n = write(wake_fd, &one, sizeof one);
    } while (n < 0 && errno == EINTR);
    // EAGAIN means the counter is already at its top: it stays readable.
}

} // namespace

extern "C" void quorlix_socket_set_ops(const QuorlixSocketOps *ops, void *ctx)
{
    g_ops = ops ? ops : &kRealOps;
    g_ctx = ops ? ctx : nullptr;
}

extern "C" int quorlix_socket_open(QuorlixEngineSocket *s, int *err)
{
    int dummy = 0;
    int &e = err ? *err : dummy;
    quorlix_socket_close(s);
    int wake = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wake < 0) {
        e = errno;
        return 0;
    }
    int fd = g_ops->open(g_ctx, &e);
    if (fd < 0) {
        close(wake);
        return 0;
    }
    s->wake.store(wake);
    s->fd.store(fd);
    e = 0;
    return 1;
}

extern "C" int quorlix_socket_is_open(const QuorlixEngineSocket *s)
{
    return s->fd.load() >= 0;
}

extern "C" int quorlix_socket_bind(QuorlixEngineSocket *s, uint32_t addr, uint16_t port, int *err)
{
    Call call(s, err);
    if (call.closed() || op(&QuorlixSocketOps::bind)(g_ctx, call.fd(), addr, port, &call.err()) != 0)
        return 0;
    call.err() = 0;
    return 1;
}

extern "C" long quorlix_socket_send_to(QuorlixEngineSocket *s, const void *data, size_t len, uint32_t addr,
                                       uint16_t port, int *err)
{
    Call call(s, err);
    if (call.closed())
        return -1;
    return g_ops->send_to(g_ctx, call.fd(), data, len, addr, port, &call.err());
}

extern "C" long quorlix_socket_recv_from(QuorlixEngineSocket *s, void *buf, size_t cap, int timeout_ms,
                                         uint32_t *addr, uint16_t *port, int *err)
{
    Call call(s, err);
    if (call.closed())
        return -1;
    int &e = call.err();
    int ready = op(&QuorlixSocketOps::wait)(g_ctx, call.fd(), call.wake(), timeout_ms, &e);
    if (ready < 0)
        return -1;
    if (ready == 0) {
        e = ETIMEDOUT;
        return -1;
    }
    uint32_t from_addr = 0;
    uint16_t from_port = 0;
    long n = op(&QuorlixSocketOps::recv_from)(g_ctx, call.fd(), buf, cap, &from_addr, &from_port, &e);
    if (n < 0)
        return -1;
    if (static_cast<unsigned long>(n) > cap) {
        e = EMSGSIZE;
        return -1;
    }
    if (addr)
        *addr = from_addr;
    if (port)
        *port = from_port;
    return n;
}

extern "C" void quorlix_socket_wake(QuorlixEngineSocket *s)
{
    Call call(s, nullptr);
    // A closed socket has nothing to wake, and its wake descriptor may already
    // be gone.
    if (call.closed())
        return;
    int wake = call.wake();
    if (wake >= 0)
        signal_wake(wake);
}

extern "C" void quorlix_socket_close(QuorlixEngineSocket *s)
{
    int fd = s->fd.exchange(-1);
    if (fd < 0)
        return;
    // A receive may be waiting: wake it before waiting for it to leave.
    int wake = s->wake.load();
    if (wake >= 0)
        signal_wake(wake);
    while (s->busy.load() != 0)
        sched_yield();
    g_ops->close(g_ctx, fd);
    wake = s->wake.exchange(-1);
    if (wake >= 0)
        close(wake);
}
