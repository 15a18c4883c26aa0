#pragma once
// The engines' UDP socket: non-blocking, IPv4. On Linux the socket is set not
// to forbid fragmentation, so a datagram larger than the path MTU is fragmented
// rather than refused with EMSGSIZE.
//
// The PC tunnel engine opens it unbound and only sends (the relays' replies
// come back through the capture). The console gateway engine binds it and also
// receives on it from a thread of its own; its stop wakes that receive with
// quorlix_socket_wake.
//
// The socket lives in a QuorlixEngineSocket the caller keeps for the process
// (the engine's static state), so a stop may close it from another thread while
// an engine thread sends or receives: close is idempotent, wakes a receive in
// progress, waits for every call in progress to finish, and later calls fail
// cleanly with EBADF.
//
// Tests replace the system calls with quorlix_socket_set_ops to see the
// datagrams the engine sends, to hand it datagrams, or to make any call fail.

#include <atomic>
#include <stddef.h>
#include <stdint.h>

typedef struct QuorlixEngineSocket
{
    std::atomic<int> fd{-1};
    std::atomic<int> busy{0};
    // Readable once the socket is to stop; a receive waits on it beside fd.
    std::atomic<int> wake{-1};
} QuorlixEngineSocket;

// The system calls behind the socket. Each returns -1 and sets *err (an errno
// value) on failure. A table may leave the later members null: those calls
// then keep their real implementation.
typedef struct QuorlixSocketOps
{
    // Creates the unbound non-blocking UDP socket; returns its descriptor.
    int (*open)(void *ctx, int *err);
    // Sends one datagram to addr (as inet_addr gives it) : port (host order);
    // returns the bytes sent.
    long (*send_to)(void *ctx, int fd, const void *data, size_t len, uint32_t addr, uint16_t port, int *err);
    void (*close)(void *ctx, int fd);
    // Binds fd to addr : port (host order); returns 0.
    int (*bind)(void *ctx, int fd, uint32_t addr, uint16_t port, int *err);
    // Waits up to timeout_ms (negative: without limit) until fd has a datagram
    // or wake_fd is readable. Returns 1 when fd is readable, 0 when the time ran
    // out, -1 with *err = EINTR when woken (or interrupted).
    int (*wait)(void *ctx, int fd, int wake_fd, int timeout_ms, int *err);
    // Receives one datagram into buf (cap bytes) without waiting; returns its
    // whole length, which exceeds cap when it was cut (MSG_TRUNC), and fills
    // *addr / *port (as inet_addr gives it / host order) with its sender.
    long (*recv_from)(void *ctx, int fd, void *buf, size_t cap, uint32_t *addr, uint16_t *port, int *err);
} QuorlixSocketOps;

#ifdef __cplusplus
extern "C" {
#endif

// Installs replacement calls (NULL restores the real ones). ops must outlive
// its use. Not to be changed while a socket is open.
void quorlix_socket_set_ops(const QuorlixSocketOps *ops, void *ctx);

// Opens the socket into s. Returns 1, or 0 with *err set (s stays closed).
// Closes a socket already open in s first.
int quorlix_socket_open(QuorlixEngineSocket *s, int *err);

// 1 while s holds an open socket.
int quorlix_socket_is_open(const QuorlixEngineSocket *s);

// Binds the open socket to addr (as inet_addr gives it, INADDR_ANY for every
// address) : port (host order, 0 for any free port). Returns 1, or 0 with *err
// set (EBADF when the socket is closed, EADDRINUSE, ...).
int quorlix_socket_bind(QuorlixEngineSocket *s, uint32_t addr, uint16_t port, int *err);

// Sends one datagram. Returns the bytes sent, or -1 with *err set (EBADF when
// the socket is closed, EAGAIN/EWOULDBLOCK when its buffer is full).
long quorlix_socket_send_to(QuorlixEngineSocket *s, const void *data, size_t len, uint32_t addr,
                            uint16_t port, int *err);

// Waits up to timeout_ms (negative: without limit) for one datagram and
// receives it into buf. Returns its length (0 is a valid, empty datagram) with
// *addr / *port (either may be null) set to its sender, or -1 with *err set:
//   ETIMEDOUT  nothing arrived in time;
//   EINTR      woken by quorlix_socket_wake or quorlix_socket_close;
//   EMSGSIZE   the datagram was longer than cap: it is consumed and dropped,
//              never handed over cut short;
//   EBADF      the socket is closed; any other errno from the system.
long quorlix_socket_recv_from(QuorlixEngineSocket *s, void *buf, size_t cap, int timeout_ms, uint32_t *addr,
                              uint16_t *port, int *err);

// Wakes a receive waiting on s, and every later one, which then fail at once
// with EINTR until the socket is closed: a wake means the engine is stopping.
// Safe from any thread; does nothing on a closed socket.
void quorlix_socket_wake(QuorlixEngineSocket *s);

// Closes the socket if open; safe from any thread and more than once.
void quorlix_socket_close(QuorlixEngineSocket *s);

#ifdef __cplusplus
}
#endif
