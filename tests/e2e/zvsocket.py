#!/usr/bin/env python3
"""Talks to a running Zorvik Jotboard over its single-instance socket, as a later start does.

    zvsocket.py FOLDER COMMAND [TEXT]

FOLDER is the program folder (ZVJ_HOME) of the running program. Prints the last answer's
body (JSON) and exits 0 when it says ok, 1 otherwise or when nothing answers. The "state"
command's answer carries the window's state in its "message".
"""
import hashlib
import json
import os
import socket
import struct
import sys


def server_name(folder):
    path = os.path.abspath(folder)
    digest = hashlib.sha1(path.encode()).hexdigest()[:12]
    return "Zorvik-Jotboard-%d-%s" % (os.getuid(), digest)


def main(argv):
    if len(argv) < 2:
        print(__doc__, file=sys.stderr)
        return 2
    folder, command = argv[0], argv[1]
    request = {"command": command}
    if len(argv) > 2:
        request["text"] = argv[2]
    body = json.dumps(request).encode()
    s = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
    try:
        s.connect("\0" + server_name(folder))
    except OSError as e:
        print("no running instance: %s" % e, file=sys.stderr)
        return 1
    s.sendall(b"ZVJB" + bytes([1]) + struct.pack(">I", len(body)) + body)
    s.settimeout(10)
    data = b""
    try:
        while True:
            chunk = s.recv(65536)
            if not chunk:
                break
            data += chunk
    except socket.timeout:
        pass
    last = None
    while len(data) >= 9:
        length = struct.unpack(">I", data[5:9])[0]
        last = json.loads(data[9:9 + length])
        data = data[9 + length:]
    if last is None:
        print("no answer", file=sys.stderr)
        return 1
    print(json.dumps(last))
    return 0 if last.get("ok") else 1


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
