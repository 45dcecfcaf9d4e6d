/* SPDX-License-Identifier: Apache-2.0 */
/* Primitives for the example hooks to log, laid out as the stack lays them out: little-endian,
 * pointer fields 4 bytes. Their memory is static, so that a 64-bit build of the examples (linked
 * without position independence) has it below 4 GiB, where a 4-byte pointer field reaches. */
#ifndef EXAMPLES_HOOKS_SAMPLES_H
#define EXAMPLES_HOOKS_SAMPLES_H

#include <stdint.h>

#include "rizorod_capture.h"

typedef void (*log_fn)(enum rizorod_capture_interface iface, uint16_t code, const void *prim);

static void put32(unsigned char *field, const void *pointer) {
    const uint32_t a = (uint32_t)(uintptr_t)pointer;
    field[0] = (unsigned char)a;
    field[1] = (unsigned char)(a >> 8);
    field[2] = (unsigned char)(a >> 16);
    field[3] = (unsigned char)(a >> 24);
}

/* A connection, a write with its payload, a remote name in two pieces and an RFCOMM data
 * indication; then a code that the SDP interface does not define. Returns how many were logged. */
static int log_samples(log_fn log) {
    static unsigned char acl_connect_cfm[17] = {0x04, 0x20, 0x1a, 0x00, 0x00, 0x00, 0x29, 0x00, 0x33,
                                                0x8b, 0x9e, 0x00, 0x5b, 0x00, 0x02, 0x00, 0x01};
    static unsigned char datawrite[12] = {0x0b, 0x00, 0x41, 0x00, 40, 0x00};
    static unsigned char payload[40] = "GET /index.html HTTP/1.0 Host: example";
    static unsigned char remote_name[48] = {0x29, 0x04, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00,
                                            0x33, 0x8b, 0x9e, 0x00, 0x5b, 0x00, 0x02, 0x00};
    static char name[64] = "Workshop bench unit with a name longer than one piece";
    static unsigned char data_ind[20] = {0x19, 0x00, 0x02, 0x00, 0x01, 0x03, 0x05, 0x00, 5};
    static unsigned char sdc_unknown[4] = {0x0d, 0x00, 0xa0, 0x02};

    put32(datawrite + 8, payload);
    put32(remote_name + 16, name);      /* the first 32 bytes of the name */
    put32(remote_name + 20, name + 32); /* the rest, up to its zero byte */
    put32(data_ind + 12, payload);
    log(RIZOROD_CAPTURE_DM, 0x2004, acl_connect_cfm);
    log(RIZOROD_CAPTURE_L2CAP, 0x000b, datawrite);
    log(RIZOROD_CAPTURE_DM, 0x0429, remote_name);
    log(RIZOROD_CAPTURE_RFCOMM, 0x0019, data_ind);
    log(RIZOROD_CAPTURE_SDP, 0x000d, sdc_unknown);
    return 5;
}

/* The board's millisecond counter: here a count that starts at 12:34:56.789, so that every run
 * prints the same capture. */
static uint32_t board_millis(void) {
    static uint32_t now = 45296789u;
    return now += 7u;
}

#endif
