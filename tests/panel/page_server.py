"""A local HTTPS server of test pages, for the panel's origin tests.

Usage: page_server.py DIR PAGES [ADDRESS]
Makes a test CA (DIR/ca.pem) and a certificate for the names in PAGES' hosts, listens on
ADDRESS (127.0.0.1 unless given) on port 443 and on a free port, prints "READY <free port>", then
prints "GET <host>:<port> <path>" (or "PUT <host> <path>") for every
request. PAGES is a JSON file mapping "<host><path>"
to a page file; the page is served with "{PORT}" replaced by the free port. Any other path
answers 204, so a page can report what it did by fetching a path of its own.
"""
import http.server
import json
import os
import ssl
import sys
import threading

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "service"))
import https_test_server  # noqa: E402  (the CA and certificate maker)

lock = threading.Lock()


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    pages = {}
    port = 0

    def log_message(self, *args):
        pass

    def do_GET(self):
        host = (self.headers.get("Host") or "").split(":")[0]
        path = self.path.split("?")[0]
        with lock:
            print("GET", host + ":" + str(self.server.server_address[1]), self.path, flush=True)
        page = self.pages.get(host + path)
        if page is None:
            self.send_response(204)
            self.send_header("Content-Length", "0")
            self.end_headers()
            return
        with open(page, "rb") as source:
            body = source.read().replace(b"{PORT}", str(self.port).encode())
        self.send_response(200)
        self.send_header("Content-Type", "text/html; charset=utf-8")
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def do_PUT(self):
        host = (self.headers.get("Host") or "").split(":")[0]
        with lock:
            print("PUT", host, self.path, flush=True)
        self.send_response(204)
        self.send_header("Content-Length", "0")
        self.end_headers()


def main():
    directory, pages_file = sys.argv[1], sys.argv[2]
    with open(pages_file) as source:
        Handler.pages = json.load(source)
    https_test_server.HOSTS = sorted({key.split("/")[0] for key in Handler.pages})
    https_test_server.make_certificates(directory)
    address = sys.argv[3] if len(sys.argv) > 3 else "127.0.0.1"
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(os.path.join(directory, "server.pem"),
                            os.path.join(directory, "server.key"))
    servers = []
    for port in (443, 0):
        server = http.server.ThreadingHTTPServer((address, port), Handler)
        server.socket = context.wrap_socket(server.socket, server_side=True)
        servers.append(server)
    Handler.port = servers[1].server_address[1]
    threading.Thread(target=servers[0].serve_forever, daemon=True).start()
    print("READY", Handler.port, flush=True)
    servers[1].serve_forever()


if __name__ == "__main__":
    main()
