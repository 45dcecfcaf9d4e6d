#!/usr/bin/env python3
# SPDX-License-Identifier: Apache-2.0
"""Writes a btsnoop file (HCI UART framing) of N HCI packets for the yardstick of
bench/tool_throughput.sh: a session of commands, events and ACL data (inquiry, connection, remote
name, L2CAP signalling, SDP, RFCOMM, local name, completed packets, disconnection), repeated in
order until N packets are written.

usage: bench/make_btsnoop.py N OUTPUT
"""
import struct
import sys

ADDR = bytes([0x33, 0x8b, 0x9e, 0x5b, 0x02, 0x00])
HANDLE = 0x0029


# Each packet: its btsnoop flags (bit 0: received, bit 1: command or event) and its bytes.
def command(opcode, params=b''):
    return (0x02, bytes([0x01]) + struct.pack('<HB', opcode, len(params)) + params)


def event(code, params=b''):
    return (0x03, bytes([0x04, code, len(params)]) + params)


def acl(cid, payload, received):
    l2cap = struct.pack('<HH', len(payload), cid) + payload
    frame = bytes([0x02]) + struct.pack('<HH', HANDLE | 0x2000, len(l2cap)) + l2cap
    return (0x01 if received else 0x00, frame)


def signal(code, ident, data):
    return struct.pack('<BBH', code, ident, len(data)) + data


NAME = b'Living room speaker, left channel'.ljust(248, b'\0')
SESSION = [
    command(0x0401, bytes([0x33, 0x8b, 0x9e, 0x08, 0x00])),                      # Inquiry
    event(0x0f, bytes([0x00, 0x01, 0x01, 0x04])),                                  # Command Status
    event(0x02, bytes([0x01]) + ADDR + bytes([0x01, 0x00, 0x00, 0x0c, 0x02, 0x5a, 0x5c, 0x3a])),
    event(0x01, bytes([0x00])),                                                    # Inquiry Complete
    command(0x0405, ADDR + bytes([0x18, 0xcc, 0x01, 0x00, 0x00, 0x00, 0x01])),   # Create Connection
    event(0x0f, bytes([0x00, 0x01, 0x05, 0x04])),
    event(0x03, bytes([0x00]) + struct.pack('<H', HANDLE) + ADDR + bytes([0x01, 0x00])),
    command(0x0419, ADDR + bytes([0x01, 0x00, 0x00, 0x00])),                     # Remote Name Request
    event(0x0f, bytes([0x00, 0x01, 0x19, 0x04])),
    event(0x07, bytes([0x00]) + ADDR + NAME),                                      # Remote Name Complete
    acl(0x0001, signal(0x02, 1, struct.pack('<HH', 0x0001, 0x0040)), False),      # Connection Request SDP
    acl(0x0001, signal(0x03, 1, struct.pack('<HHHH', 0x0040, 0x0040, 0, 0)), True),
    acl(0x0001, signal(0x04, 2, struct.pack('<HH', 0x0040, 0) + bytes([0x01, 0x02, 0xa0, 0x02])), False),
    acl(0x0001, signal(0x05, 2, struct.pack('<HHH', 0x0040, 0, 0)), True),
    acl(0x0040, bytes([0x02, 0x00, 0x01, 0x00, 0x08, 0x35, 0x03, 0x19, 0x11, 0x01, 0x00, 0x10, 0x00]), False),
    acl(0x0040, bytes([0x03, 0x00, 0x01, 0x00, 0x09, 0x00, 0x01, 0x00, 0x01, 0x00, 0x01, 0x00, 0x04, 0x00]), True),
    acl(0x0001, signal(0x02, 3, struct.pack('<HH', 0x0003, 0x0041)), False),      # Connection Request RFCOMM
    acl(0x0001, signal(0x03, 3, struct.pack('<HHHH', 0x0041, 0x0041, 0, 0)), True),
    acl(0x0041, bytes([0x03, 0x3f, 0x01, 0x1c]), False),                             # SABM on DLC 0
    acl(0x0041, bytes([0x03, 0x73, 0x01, 0xd7]), True),                              # UA
    acl(0x0041, bytes([0x0b, 0xef, 0x13]) + b'AT+CIND?\r' + bytes([0x9a]), False),  # UIH with data
    event(0x13, bytes([0x01]) + struct.pack('<HH', HANDLE, 3)),                    # Completed Packets
    command(0x0c13, NAME),                                                        # Write Local Name
    event(0x0e, bytes([0x01, 0x13, 0x0c, 0x00])),                                  # Command Complete
    command(0x0406, struct.pack('<H', HANDLE) + bytes([0x13])),                  # Disconnect
    event(0x0f, bytes([0x00, 0x01, 0x06, 0x04])),
    event(0x05, bytes([0x00]) + struct.pack('<H', HANDLE) + bytes([0x16])),        # Disconnection Complete
]

EPOCH_US = 0x00dcddb30f2f8000  # btsnoop counts microseconds from year 0


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    count = int(sys.argv[1])
    with open(sys.argv[2], 'wb') as out:
        out.write(b'btsnoop\0' + struct.pack('>II', 1, 1002))  # version 1, HCI UART (H4)
        stamp = EPOCH_US + 1715679667112000
        chunk = []
        for n in range(count):
            flags, data = SESSION[n % len(SESSION)]
            chunk.append(struct.pack('>IIIIq', len(data), len(data), flags, 0, stamp + 1000 * n) + data)
            if len(chunk) == 4096:
                out.write(b''.join(chunk))
                chunk = []
        out.write(b''.join(chunk))


if __name__ == '__main__':
    main()
