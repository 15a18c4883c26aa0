#pragma once
// Console mode on the driver: building, sending, printing and reading back the
// configuration record, and the periodic console detection.

#include <stddef.h>
#include <stdint.h>

// Builds the record from the settings and the relay (text, host-order port),
// sends it and reads the policy back. 1 when the driver took it, 0 when
// SET_CONSOLE_CONFIG failed.
int gateway_set_console_config(const char *relay, uint16_t port);

// Reads the driver's record and adopts a console MAC it has detected.
void gateway_read_console_config(void);

// One port line: the lowest ten ports of a set, then "... (N more)".
void gateway_format_port_line(const char *label, const uint8_t *bitmap, unsigned long count, char *out,
                              size_t cap);
