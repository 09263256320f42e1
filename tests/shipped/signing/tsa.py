"""A time-stamp authority on loopback for the signing tests: RFC 3161 over
HTTP, each reply made by `openssl ts -reply` under the test PKI's
configuration."""
import http.server
import subprocess
import threading


def start(pki):
    """Serves from a thread of its own until shutdown(); the server's
    server_address names its port."""

    class Authority(http.server.BaseHTTPRequestHandler):
        def do_POST(self):
            query = self.rfile.read(int(self.headers["Content-Length"]))
            reply = subprocess.run(
                ["openssl", "ts", "-reply", "-config", "openssl.cnf", "-queryfile", "/dev/stdin"],
                cwd=pki, input=query, capture_output=True).stdout
            self.send_response(200)
            self.send_header("Content-Type", "application/timestamp-reply")
            self.end_headers()
            self.wfile.write(reply)

        def log_message(self, *arguments):  # quiet: pytest shows what fails
            pass

    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Authority)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    return server
