/* SPDX-License-Identifier: Apache-2.0 */
/* A logging hook that sends capture entries down a serial line as they happen, a character at a
 * time, from a small piece of the stack's memory: nothing is kept. Here the "UART" is standard
 * output, so that the program runs on a host and prints a capture that `rizorod decode` reads. */
#include <stdio.h>

#include "samples.h"
#include "rizorod_capture.h"

/* The board's transmit routine: waits until the data register is free and writes one character. */
static void uart_putc(char c) { putchar(c); }

static void uart_sink(void *context, const char *text, size_t len) {
    (void)context;
    while (len-- > 0) uart_putc(*text++);
}

/* The hook: called by the stack for every primitive it sends or receives. */
void log_prim(enum rizorod_capture_interface iface, uint16_t code, const void *prim) {
    struct rizorod_capture_stamp stamp = {0};
    const uint32_t ms = board_millis() % 86400000u;
    stamp.hour = (uint8_t)(ms / 3600000u);
    stamp.minute = (uint8_t)(ms / 60000u % 60u);
    stamp.second = (uint8_t)(ms / 1000u % 60u);
    stamp.millis = (uint16_t)(ms % 1000u);
    rizorod_capture_to(iface, code, prim, &stamp, uart_sink, NULL);
}

int main(void) {
    log_samples(log_prim);
    return 0;
}
