"""A small forward proxy on loopback for the end-to-end tests: it logs every request line it
gets, resolves the host names it is given itself (names nobody else can resolve), and can ask
for credentials (407) like a company proxy."""

import base64
import http.client
import http.server
import threading

HOP_BY_HOP = {"connection", "keep-alive", "proxy-authenticate", "proxy-authorization", "te",
              "trailers", "transfer-encoding", "upgrade", "proxy-connection"}


class LoggingProxy:
    def __init__(self, hosts, credentials=None, protects=lambda target: True):
        """hosts: {"name": "127.0.0.1"}; credentials: "user:password" to ask for, or None;
        protects: which request targets need them."""
        self.hosts = hosts
        self.expected = ("Basic " + base64.b64encode(credentials.encode()).decode()) if credentials else None
        self.lock = threading.Lock()
        self.log = []  # (request line, authorised)
        proxy = self

        class Handler(http.server.BaseHTTPRequestHandler):
            protocol_version = "HTTP/1.1"

            def log_message(self, *args):
                pass

            def forward(self):
                authorised = (proxy.expected is None or not protects(self.path)
                              or self.headers.get("Proxy-Authorization") == proxy.expected)
                with proxy.lock:
                    proxy.log.append((f"{self.command} {self.path}", authorised))
                length = int(self.headers.get("Content-Length") or 0)
                body = self.rfile.read(length) if length else None
                if not authorised:
                    page = b"<!DOCTYPE html><title>407</title><p>Proxy login required."
                    self.send_response(407)
                    self.send_header("Proxy-Authenticate", 'Basic realm="corp"')
                    self.send_header("Content-Type", "text/html")
                    self.send_header("Content-Length", str(len(page)))
                    self.end_headers()
                    self.wfile.write(page)
                    return
                url = http.client.urlsplit(self.path)
                address = proxy.hosts.get(url.hostname)
                if url.scheme != "http" or address is None:
                    self.send_error(502, "unknown host")
                    return
                upstream = http.client.HTTPConnection(address, url.port or 80, timeout=30)
                headers = {k: v for k, v in self.headers.items() if k.lower() not in HOP_BY_HOP}
                target = url.path + ("?" + url.query if url.query else "")
                try:
                    upstream.request(self.command, target or "/", body=body, headers=headers)
                    reply = upstream.getresponse()
                    data = reply.read()
                except OSError:
                    self.send_error(502, "upstream failed")
                    return
                finally:
                    upstream.close()
                self.send_response(reply.status, reply.reason)
                for k, v in reply.getheaders():
                    if k.lower() not in HOP_BY_HOP and k.lower() != "content-length":
                        self.send_header(k, v)
                self.send_header("Content-Length", str(len(data)))
                self.end_headers()
                self.wfile.write(data)

            do_GET = do_POST = do_HEAD = forward

        self.server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
        self.server.daemon_threads = True
        self.port = self.server.server_address[1]
        self.url = f"http://127.0.0.1:{self.port}"
        self.thread = threading.Thread(target=self.server.serve_forever, daemon=True)
        self.thread.start()

    def requests(self):
        with self.lock:
            return list(self.log)

    def stop(self):
        self.server.shutdown()
        self.server.server_close()
