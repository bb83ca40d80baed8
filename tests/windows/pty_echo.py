#!/usr/bin/env python3
"""The far end of the Win32 serial tests: a pseudo-terminal that echoes every byte.

Prints the slave's path, then echoes until it is killed."""
import os
import pty
import select
import tty

master, slave = pty.openpty()
tty.setraw(slave)
print(os.ttyname(slave), flush=True)
while True:
    ready, _, _ = select.select([master], [], [], 1.0)
    if ready:
        try:
            data = os.read(master, 4096)
        except OSError:
            continue
        os.write(master, data)
