"""Calls a ROS service with a request body given as hex bytes, bypassing the
message classes, and prints the reply's ok byte and body length. Used to send
a request that ends before its fields do.

usage: raw_service_call.py SERVICE MD5SUM HEX_BODY
"""
import socket
import struct
import sys

import rosgraph


def header(fields):
    out = b""
    for key, value in fields.items():
        field = ("%s=%s" % (key, value)).encode()
        out += struct.pack("<I", len(field)) + field
    return struct.pack("<I", len(out)) + out


def read_exactly(sock, count):
    data = b""
    while len(data) < count:
        chunk = sock.recv(count - len(data))
        if not chunk:
            raise EOFError("connection closed after %d of %d bytes" % (len(data), count))
        data += chunk
    return data


def main():
    service, md5sum, body = sys.argv[1], sys.argv[2], bytes.fromhex(sys.argv[3])
    uri = rosgraph.Master("/raw_service_call").lookupService(service)
    host, port = uri[len("rosrpc://"):].rstrip("/").rsplit(":", 1)
    sock = socket.create_connection((host, int(port)), timeout=10)
    sock.sendall(header({"callerid": "/raw_service_call", "service": service, "md5sum": md5sum}))
    reply_header = read_exactly(sock, struct.unpack("<I", read_exactly(sock, 4))[0])
    if b"error=" in reply_header:
        print("header error")
        return
    sock.sendall(struct.pack("<I", len(body)) + body)
    ok = read_exactly(sock, 1)[0]
    length = struct.unpack("<I", read_exactly(sock, 4))[0]
    read_exactly(sock, length)
    print("ok=%d length=%d" % (ok, length))


main()
