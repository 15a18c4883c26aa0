#include "platform/capture/capture_filter.h"

#include "platform/capture/packet.h"

#include <new>
#include <stdlib.h>
#include <string.h>

// A compiled filter is a postfix program: tests push a truth value, AND/OR pop
// two and push one, NOT flips the top. Evaluating it needs no recursion, so a
// hostile filter cannot exhaust the stack at match time; the parser's own
// recursion is bounded by QUORLIX_FILTER_MAX_DEPTH.

namespace {

enum Op : uint8_t {
    OP_INBOUND,
    OP_OUTBOUND,
    OP_IP,
    OP_TCP,
    OP_UDP,
    OP_IP_SRC,
    OP_IP_DST,
    OP_TCP_SRC,
    OP_TCP_DST,
    OP_UDP_SRC,
    OP_UDP_DST,
    OP_AND,
    OP_OR,
    OP_NOT,
};

struct Insn
{
    Op op;
    bool negate;    // field tests: "!=" instead of "=="
    uint32_t value; // address (host order) or port
};

} // namespace

struct quorlix_filter
{
    Insn *code;
    size_t count;
};

namespace {

struct Parser
{
    const char *text;
    size_t len;
    size_t pos;
    Insn *code;
    size_t count;
    size_t capacity;
    size_t terms;
    int depth;
    bool failed;

    void skip_space()
    {
        while (pos < len && (text[pos] == ' ' || text[pos] == '\t' || text[pos] == '\r' || text[pos] == '\n'))
            ++pos;
    }

    static bool word_char(char c)
    {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
               c == '_';
    }

    // Length of the word at pos (letters, digits, dots).
    size_t word_len() const
    {
        size_t n = 0;
        while (pos + n < len && word_char(text[pos + n]))
            ++n;
        return n;
    }

    bool word_is(const char *kw, size_t n) const
    {
        size_t kl = strlen(kw);
        if (kl != n)
            return false;
        for (size_t i = 0; i < n; ++i) {
            char c = text[pos + i];
            if (c >= 'A' && c <= 'Z')
                c = static_cast<char>(c - 'A' + 'a');
            if (c != kw[i])
                return false;
        }
        return true;
    }

    // Consumes the keyword when the next word is exactly it.
    bool accept_word(const char *kw)
    {
        skip_space();
        size_t n = word_len();
        if (n && word_is(kw, n)) {
            pos += n;
            return true;
        }
        return false;
    }

    bool emit(Op op, bool negate = false, uint32_t value = 0)
    {
        if (count == capacity) {
            failed = true;
            return false;
        }
        code[count++] = Insn{op, negate, value};
        return true;
    }

    bool fail()
    {
        failed = true;
        return false;
    }

    bool parse_decimal(uint32_t max, uint32_t *out)
    {
        skip_space();
        size_t start = pos;
        uint32_t v = 0;
        while (pos < len && text[pos] >= '0' && text[pos] <= '9') {
            v = v * 10u + static_cast<uint32_t>(text[pos] - '0');
            if (v > max)
                return fail();
            ++pos;
        }
        if (pos == start || (pos < len && word_char(text[pos])))
            return fail();
        return (*out = v), true;
    }

    bool parse_ipv4(uint32_t *out)
    {
        skip_space();
        uint32_t addr = 0;
        for (int i = 0; i < 4; ++i) {
            if (i) {
                if (pos >= len || text[pos] != '.')
                    return fail();
                ++pos;
            }
            size_t start = pos;
            uint32_t v = 0;
            while (pos < len && text[pos] >= '0' && text[pos] <= '9' && pos - start < 3) {
                v = v * 10u + static_cast<uint32_t>(text[pos] - '0');
                ++pos;
            }
            if (pos == start || v > 255)
                return fail();
            addr = (addr << 8) | v;
        }
        if (pos < len && word_char(text[pos]))
            return fail();
        return (*out = addr), true;
    }

    bool parse_compare(Op op, bool is_addr)
    {
        skip_space();
        bool negate;
        if (pos + 1 < len && text[pos] == '=' && text[pos + 1] == '=')
            negate = false;
        else if (pos + 1 < len && text[pos] == '!' && text[pos + 1] == '=')
            negate = true;
        else
            return fail();
        pos += 2;
        uint32_t value;
        if (!(is_addr ? parse_ipv4(&value) : parse_decimal(65535, &value)))
            return false;
        return emit(op, negate, value);
    }

    bool parse_test()
    {
        skip_space();
        size_t n = word_len();
        if (!n)
            return fail();
        if (++terms > QUORLIX_FILTER_MAX_TERMS)
            return fail();
        struct Field
        {
            const char *name;
            Op op;
            bool is_addr;
        };
        static const Field fields[] = {
            {"ip.srcaddr", OP_IP_SRC, true},    {"ip.dstaddr", OP_IP_DST, true},
            {"tcp.srcport", OP_TCP_SRC, false}, {"tcp.dstport", OP_TCP_DST, false},
            {"udp.srcport", OP_UDP_SRC, false}, {"udp.dstport", OP_UDP_DST, false},
        };
        for (const Field &f : fields) {
            if (word_is(f.name, n)) {
                pos += n;
                return parse_compare(f.op, f.is_addr);
            }
        }
        static const struct
        {
            const char *name;
            Op op;
        } flags[] = {{"inbound", OP_INBOUND},
                     {"outbound", OP_OUTBOUND},
                     {"ip", OP_IP},
                     {"tcp", OP_TCP},
                     {"udp", OP_UDP}};
        for (const auto &f : flags) {
            if (word_is(f.name, n)) {
                pos += n;
                return emit(f.op);
            }
        }
        return fail();
    }

    bool parse_unary()
    {
        if (++depth > QUORLIX_FILTER_MAX_DEPTH)
            return fail();
        bool ok;
        skip_space();
        if (accept_word("not")) {
            ok = parse_unary() && emit(OP_NOT);
        } else if (pos < len && text[pos] == '(') {
            ++pos;
            ok = parse_or();
            skip_space();
            if (ok && pos < len && text[pos] == ')')
                ++pos;
            else
                ok = fail();
        } else {
            ok = parse_test();
        }
        --depth;
        return ok;
    }

    bool parse_and()
    {
        if (!parse_unary())
            return false;
        while (accept_word("and")) {
            if (!parse_unary() || !emit(OP_AND))
                return false;
        }
        return true;
    }

    bool parse_or()
    {
        if (!parse_and())
            return false;
        while (accept_word("or")) {
            if (!parse_and() || !emit(OP_OR))
                return false;
        }
        return true;
    }
};

uint32_t load_addr(const uint8_t *p)
{
    return (static_cast<uint32_t>(p[0]) << 24) | (static_cast<uint32_t>(p[1]) << 16) |
           (static_cast<uint32_t>(p[2]) << 8) | p[3];
}

uint16_t load_port(const uint8_t *p)
{
    return static_cast<uint16_t>((p[0] << 8) | p[1]);
}

} // namespace

extern "C" quorlix_filter *quorlix_filter_compile(const char *text, size_t *error_pos)
{
    if (error_pos)
        *error_pos = 0;
    if (!text)
        return nullptr;
    size_t len = strnlen(text, QUORLIX_FILTER_MAX_TEXT + 1);
    if (len > QUORLIX_FILTER_MAX_TEXT) {
        if (error_pos)
            *error_pos = QUORLIX_FILTER_MAX_TEXT;
        return nullptr;
    }
    // Every test and every "not" emits one instruction and needs at least one
    // character, and each "and"/"or" emits one more, so 2 * len + 1 bounds the
    // program.
    size_t capacity = 2 * len + 1;
    Insn *code = static_cast<Insn *>(calloc(capacity, sizeof(Insn)));
    if (!code) {
        if (error_pos)
            *error_pos = static_cast<size_t>(-1);
        return nullptr;
    }
    Parser p{text, len, 0, code, 0, capacity, 0, 0, false};
    bool ok = p.parse_or();
    p.skip_space();
    if (!ok || p.failed || p.pos != len || p.count == 0) {
        if (error_pos)
            *error_pos = p.pos;
        free(code);
        return nullptr;
    }
    quorlix_filter *f = static_cast<quorlix_filter *>(malloc(sizeof(quorlix_filter)));
    if (!f) {
        free(code);
        if (error_pos)
            *error_pos = static_cast<size_t>(-1);
        return nullptr;
    }
    f->code = code;
    f->count = p.count;
    return f;
}

extern "C" int quorlix_filter_match(const quorlix_filter *filter, const void *packet, size_t len,
                                    int outbound)
{
    if (!filter)
        return 0;
    quorlix_packet_view v;
    bool has_ip = quorlix_packet_parse(packet, len, &v) != 0;

    // The stack never holds more values than there are tests.
    bool stack[QUORLIX_FILTER_MAX_TERMS + 1];
    size_t sp = 0;
    for (size_t i = 0; i < filter->count; ++i) {
        const Insn &in = filter->code[i];
        bool r = false;
        bool present = true;
        uint32_t actual = 0;
        switch (in.op) {
        case OP_AND:
        case OP_OR: {
            if (sp < 2)
                return 0;
            bool b = stack[--sp];
            bool a = stack[--sp];
            stack[sp++] = in.op == OP_AND ? (a && b) : (a || b);
            continue;
        }
        case OP_NOT:
            if (sp < 1)
                return 0;
            stack[sp - 1] = !stack[sp - 1];
            continue;
        case OP_INBOUND:
            r = !outbound;
            break;
        case OP_OUTBOUND:
            r = outbound != 0;
            break;
        case OP_IP:
            r = has_ip;
            break;
        case OP_TCP:
            r = v.tcp != nullptr;
            break;
        case OP_UDP:
            r = v.udp != nullptr;
            break;
        case OP_IP_SRC:
        case OP_IP_DST:
            present = has_ip;
            if (present)
                actual = load_addr(v.ip + (in.op == OP_IP_SRC ? 12 : 16));
            break;
        case OP_TCP_SRC:
        case OP_TCP_DST:
            present = v.tcp != nullptr;
            if (present)
                actual = load_port(v.tcp + (in.op == OP_TCP_SRC ? 0 : 2));
            break;
        case OP_UDP_SRC:
        case OP_UDP_DST:
            present = v.udp != nullptr;
            if (present)
                actual = load_port(v.udp + (in.op == OP_UDP_SRC ? 0 : 2));
            break;
        }
        if (in.op >= OP_IP_SRC && in.op <= OP_UDP_DST)
            r = present && ((actual == in.value) != in.negate);
        if (sp > QUORLIX_FILTER_MAX_TERMS)
            return 0;
        stack[sp++] = r;
    }
    return sp == 1 && stack[0];
}

extern "C" void quorlix_filter_free(quorlix_filter *filter)
{
    if (!filter)
        return;
    free(filter->code);
    free(filter);
}

// ---- scope -------------------------------------------------------------------
//
// Three-valued evaluation: each test is true, false or unknown under a set of
// assumed facts about a packet, and "and"/"or"/"not" follow Kleene's rules. A
// result of false under some facts means no packet with those facts is
// admitted, whatever the unknown parts hold, which is what lets a kernel rule
// leave such packets out.

namespace {

enum Tri : uint8_t { TRI_F, TRI_T, TRI_U };

Tri tri_and(Tri a, Tri b)
{
    if (a == TRI_F || b == TRI_F)
        return TRI_F;
    return a == TRI_T && b == TRI_T ? TRI_T : TRI_U;
}

Tri tri_or(Tri a, Tri b)
{
    if (a == TRI_T || b == TRI_T)
        return TRI_T;
    return a == TRI_F && b == TRI_F ? TRI_F : TRI_U;
}

Tri tri_not(Tri a)
{
    return a == TRI_U ? TRI_U : (a == TRI_T ? TRI_F : TRI_T);
}

// What is known of one field's value.
struct Known
{
    enum Kind { UNKNOWN, EXACT, NONE_OF_LITERALS } kind = UNKNOWN;
    uint32_t value = 0;

    Tri equals(uint32_t literal) const
    {
        if (kind == EXACT)
            return value == literal ? TRI_T : TRI_F;
        return kind == NONE_OF_LITERALS ? TRI_F : TRI_U;
    }
};

struct Facts
{
    int outbound = 0;
    Tri udp = TRI_U;
    Tri tcp = TRI_U;
    Known src, dst, udp_sport;
};

Tri eval3(const quorlix_filter *f, const Facts &facts)
{
    Tri stack[QUORLIX_FILTER_MAX_TERMS + 1];
    size_t sp = 0;
    for (size_t i = 0; i < f->count; ++i) {
        const Insn &in = f->code[i];
        Tri r = TRI_U;
        switch (in.op) {
        case OP_AND:
        case OP_OR: {
            if (sp < 2)
                return TRI_U;
            Tri b = stack[--sp];
            Tri a = stack[--sp];
            stack[sp++] = in.op == OP_AND ? tri_and(a, b) : tri_or(a, b);
            continue;
        }
        case OP_NOT:
            if (sp < 1)
                return TRI_U;
            stack[sp - 1] = tri_not(stack[sp - 1]);
            continue;
        case OP_INBOUND:
            r = facts.outbound ? TRI_F : TRI_T;
            break;
        case OP_OUTBOUND:
            r = facts.outbound ? TRI_T : TRI_F;
            break;
        case OP_IP:
            r = TRI_U; // a malformed header is not IPv4 to the evaluator
            break;
        case OP_TCP:
            r = facts.tcp;
            break;
        case OP_UDP:
            r = facts.udp;
            break;
        case OP_IP_SRC:
        case OP_IP_DST: {
            const Known &k = in.op == OP_IP_SRC ? facts.src : facts.dst;
            Tri eq = k.equals(in.value);
            r = tri_and(TRI_U, in.negate ? tri_not(eq) : eq);
            break;
        }
        case OP_TCP_SRC:
        case OP_TCP_DST:
            r = tri_and(facts.tcp, TRI_U);
            break;
        case OP_UDP_SRC: {
            Tri eq = facts.udp_sport.equals(in.value);
            r = tri_and(facts.udp, in.negate ? tri_not(eq) : eq);
            break;
        }
        case OP_UDP_DST:
            r = tri_and(facts.udp, TRI_U);
            break;
        }
        if (sp > QUORLIX_FILTER_MAX_TERMS)
            return TRI_U;
        stack[sp++] = r;
    }
    return sp == 1 ? stack[0] : TRI_U;
}

// The distinct literals of one field's tests, in the order they appear.
// Returns false when there are more than `cap`.
template <typename T> bool literals_of(const quorlix_filter *f, Op op, T *out, size_t cap, size_t *count)
{
    *count = 0;
    for (size_t i = 0; i < f->count; ++i) {
        if (f->code[i].op != op)
            continue;
        const T v = static_cast<T>(f->code[i].value);
        bool seen = false;
        for (size_t j = 0; j < *count && !seen; ++j)
            seen = out[j] == v;
        if (seen)
            continue;
        if (*count == cap)
            return false;
        out[(*count)++] = v;
    }
    return true;
}

// When no packet whose field (src address, UDP source port) holds none of the
// filter's literals for it can be admitted, the literals that may still be
// (each tried as the field's exact value) go to out and their number is
// returned; -1 when the field cannot narrow the scope.
template <typename T>
int possible_values(const quorlix_filter *f, Op op, const Facts &base, Known Facts::*field, T *out)
{
    T literals[QUORLIX_FILTER_SCOPE_MAX];
    size_t n = 0;
    Facts other = base;
    (other.*field).kind = Known::NONE_OF_LITERALS;
    if (!literals_of<T>(f, op, literals, QUORLIX_FILTER_SCOPE_MAX, &n) || n == 0 || eval3(f, other) != TRI_F)
        return -1;
    int kept = 0;
    for (size_t i = 0; i < n; ++i) {
        Facts exact = base;
        (exact.*field).kind = Known::EXACT;
        (exact.*field).value = literals[i];
        if (eval3(f, exact) != TRI_F)
            out[kept++] = literals[i];
    }
    return kept;
}

} // namespace

extern "C" void quorlix_filter_scope_of(const quorlix_filter *filter, quorlix_filter_scope *scope)
{
    memset(scope, 0, sizeof *scope);
    if (!filter)
        return;

    Facts out;
    out.outbound = 1;
    scope->outbound = eval3(filter, out) != TRI_F;
    if (scope->outbound) {
        uint32_t dsts[QUORLIX_FILTER_SCOPE_MAX];
        size_t n = 0;
        // Past the cap only the first literals are tried: skipping fewer
        // destinations is broader, so still sound.
        literals_of<uint32_t>(filter, OP_IP_DST, dsts, QUORLIX_FILTER_SCOPE_MAX, &n);
        for (size_t i = 0; i < n; ++i) {
            Facts f = out;
            f.dst.kind = Known::EXACT;
            f.dst.value = dsts[i];
            if (eval3(filter, f) == TRI_F)
                scope->skip_dst[scope->skip_dst_count++] = dsts[i];
        }
    }

    Facts in;
    scope->inbound = eval3(filter, in) != TRI_F;
    if (!scope->inbound)
        return;
    Facts no_udp = in;
    no_udp.udp = TRI_F;
    scope->inbound_udp_only = eval3(filter, no_udp) == TRI_F;

    const int nsrc = possible_values<uint32_t>(filter, OP_IP_SRC, in, &Facts::src, scope->in_src);
    if (nsrc == 0) { // every source refuted: nothing inbound
        scope->inbound = 0;
        scope->inbound_udp_only = 0;
        return;
    }
    scope->in_src_count = nsrc > 0 ? size_t(nsrc) : 0;

    if (!scope->inbound_udp_only)
        return;
    Facts udp_in = in;
    udp_in.udp = TRI_T;
    udp_in.tcp = TRI_F;
    const int nport =
        possible_values<uint16_t>(filter, OP_UDP_SRC, udp_in, &Facts::udp_sport, scope->in_sport);
    if (nport == 0) {
        scope->inbound = 0;
        scope->inbound_udp_only = 0;
        scope->in_src_count = 0;
    }
    scope->in_sport_count = nport > 0 ? size_t(nport) : 0;
}

extern "C" int quorlix_filter_scope_contains(const quorlix_filter_scope *scope, const void *packet,
                                             size_t len, int outbound)
{
    quorlix_packet_view v;
    const bool has_ip = quorlix_packet_parse(packet, len, &v) != 0;
    if (outbound) {
        if (!scope->outbound)
            return 0;
        if (!has_ip)
            return 1;
        const uint32_t dst = load_addr(v.ip + 16);
        for (size_t i = 0; i < scope->skip_dst_count; ++i) {
            if (scope->skip_dst[i] == dst)
                return 0;
        }
        return 1;
    }
    if (!scope->inbound)
        return 0;
    if (scope->inbound_udp_only && !v.udp)
        return 0;
    if (scope->in_src_count) {
        if (!has_ip)
            return 0;
        const uint32_t src = load_addr(v.ip + 12);
        bool found = false;
        for (size_t i = 0; i < scope->in_src_count && !found; ++i)
            found = scope->in_src[i] == src;
        if (!found)
            return 0;
    }
    if (scope->in_sport_count) {
        const uint16_t sport = load_port(v.udp);
        bool found = false;
        for (size_t i = 0; i < scope->in_sport_count && !found; ++i)
            found = scope->in_sport[i] == sport;
        if (!found)
            return 0;
    }
    return 1;
}
