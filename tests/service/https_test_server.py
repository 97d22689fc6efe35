"""A local HTTPS server for the transport's integration tests.

Usage: https_test_server.py DIR
Makes a test CA and a server certificate for the service's hosts in DIR (DIR/ca.pem is the CA
to trust), listens on 127.0.0.1 on a free port, prints "READY <port>", then prints one JSON line
per request: method, path, headers in arrival order, and the body in base64. The path chooses
the answer (see ANSWERS, /slow and /garbage); the query is not looked at. A body larger than
64 KiB is reported by its length and SHA-256 instead, so a line never fills the pipe while the
test waits for the answer.
"""
import base64
import hashlib
import http.server
import json
import os
import ssl
import subprocess
import sys
import threading
import time

HOSTS = ["lumivo.example", "*.lumivo.example", "storage.googleapis.com"]

ANSWERS = {
    "/token/ok": (200, b'{"access_token":"A","expires_in":3600,"refresh_token":"rt-2"}'),
    "/token/invalid-grant": (400, b'{"error":"invalid_grant"}'),
    "/token/not-json": (200, b"<html>not json</html>"),
    "/token/huge": (200, b'{"access_token":"' + b"A" * (2 << 20) + b'"}'),
    "/status/204": (204, b""),
    "/status/403": (403, b"<Error>denied</Error>"),
}


def make_certificates(directory):
    def run(*args):
        subprocess.run(["openssl", *args], check=True, cwd=directory,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    run("req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj", "/CN=Test CA",
        "-keyout", "ca.key", "-out", "ca.pem",
        "-addext", "basicConstraints=critical,CA:TRUE", "-addext", "keyUsage=keyCertSign")
    run("req", "-newkey", "rsa:2048", "-nodes", "-subj", "/CN=lumivo.example",
        "-keyout", "server.key", "-out", "server.csr")
    with open(os.path.join(directory, "ext.cnf"), "w") as ext:
        ext.write("subjectAltName=" + ",".join("DNS:" + h for h in HOSTS) + "\n")
    run("x509", "-req", "-in", "server.csr", "-CA", "ca.pem", "-CAkey", "ca.key",
        "-CAcreateserial", "-days", "2", "-out", "server.pem", "-extfile", "ext.cnf")


lock = threading.Lock()


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, *args):
        pass

    def handle_any(self):
        length = int(self.headers.get("Content-Length", "0"))
        body = self.rfile.read(length) if length else b""
        record = {
            "method": self.command,
            "path": self.path,
            "headers": [[k, v] for k, v in self.headers.items()],
            "length": len(body),
            "sha256": hashlib.sha256(body).hexdigest(),
        }
        if len(body) <= 65536:
            record["body"] = base64.b64encode(body).decode()
        with lock:
            print(json.dumps(record), flush=True)
        path = self.path.split("?")[0]
        if path == "/slow":
            time.sleep(5)
        if path == "/garbage":
            self.wfile.write(b"\x16\x03 this is not HTTP\r\n\r\n")
            self.wfile.flush()
            self.close_connection = True
            return
        status, payload = ANSWERS.get(path, (404, b"missing"))
        self.send_response(status)
        self.send_header("Content-Type", "application/json")
        if status != 204:
            self.send_header("Content-Length", str(len(payload)))
        self.end_headers()
        if status != 204:
            self.wfile.write(payload)

    do_GET = handle_any
    do_POST = handle_any
    do_PUT = handle_any


def main():
    directory = sys.argv[1]
    make_certificates(directory)
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
    server.daemon_threads = True
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(os.path.join(directory, "server.pem"),
                            os.path.join(directory, "server.key"))
    server.socket = context.wrap_socket(server.socket, server_side=True)
    print("READY %d" % server.server_address[1], flush=True)
    server.serve_forever()


if __name__ == "__main__":
    main()
