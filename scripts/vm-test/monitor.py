#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Sends one command to a running QEMU's monitor: monitor.py SOCKET COMMAND."""
import socket
import sys
import time


def drain(connection):
    """Reads what the monitor says up to its prompt, or until it is quiet for 2 s."""
    data = b""
    try:
        while True:
            chunk = connection.recv(4096)
            if not chunk:
                break
            data += chunk
            if data.endswith(b"(qemu) "):
                break
    except socket.timeout:
        pass
    return data


def main():
    connection = socket.socket(socket.AF_UNIX)
    connection.connect(sys.argv[1])
    connection.settimeout(2)
    drain(connection)
    connection.sendall(sys.argv[2].encode() + b"\n")
    time.sleep(0.3)
    drain(connection)
    connection.close()


if __name__ == "__main__":
    main()
