# A time-stamp authority on loopback for the tests: RFC 3161 over HTTP by `openssl ts -reply` under CONFIG; it prints
# its port, and stops after COUNT queries or SECONDS.   usage: tsa.py CONFIG COUNT SECONDS
import http.server, subprocess, sys, time
class Authority(http.server.BaseHTTPRequestHandler):
    def do_POST(self):
        query = self.rfile.read(int(self.headers["Content-Length"]))
        self.send_response(200), self.send_header("Content-Type", "application/timestamp-reply"), self.end_headers()
        self.wfile.write(subprocess.run(["openssl", "ts", "-reply", "-config", sys.argv[1], "-queryfile", "/dev/stdin"], input=query, capture_output=True).stdout)
server, end = http.server.HTTPServer(("127.0.0.1", 0), Authority), time.monotonic() + float(sys.argv[3])
print(server.server_address[1], flush=True)
for _ in range(int(sys.argv[2])):
    server.timeout = max(0.0, end - time.monotonic()); server.handle_request()
