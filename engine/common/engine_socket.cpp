#include "engine/common/engine_socket.h"

#include <arpa/inet.h>
#include <errno.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sched.h>
#include <string.h>
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

const QuorlixSocketOps kRealOps = {real_open, real_send_to, real_close};
const QuorlixSocketOps *g_ops = &kRealOps;
void *g_ctx = nullptr;

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
    int fd = g_ops->open(g_ctx, &e);
    if (fd < 0)
        return 0;
    s->fd.store(fd);
    e = 0;
    return 1;
}

extern "C" int quorlix_socket_is_open(const QuorlixEngineSocket *s)
{
    return s->fd.load() >= 0;
}

extern "C" long quorlix_socket_send_to(QuorlixEngineSocket *s, const void *data, size_t len, uint32_t addr,
                                       uint16_t port, int *err)
{
    int dummy = 0;
    int &e = err ? *err : dummy;
    // Announce the send before reading the descriptor: a concurrent close
    // either runs first (we then read -1) or waits for us to finish.
    s->busy.fetch_add(1);
    int fd = s->fd.load();
    long n;
    if (fd < 0) {
        e = EBADF;
        n = -1;
    } else {
        n = g_ops->send_to(g_ctx, fd, data, len, addr, port, &e);
    }
    s->busy.fetch_sub(1);
    return n;
}

extern "C" void quorlix_socket_close(QuorlixEngineSocket *s)
{
    int fd = s->fd.exchange(-1);
    if (fd < 0)
        return;
    while (s->busy.load() != 0)
        sched_yield();
    g_ops->close(g_ctx, fd);
}
