# An RFC 3161 time-stamping authority on 127.0.0.1 for the release tests:
# answers each POSTed time-stamp request with `openssl ts -reply`. Prints the
# port it listens on, then serves until it is ended.
#
#   python3 time_stamp_server.py <ts.cnf> <tsa key> <tsa certificate>
import http.server
import subprocess
import sys

config, key, certificate = sys.argv[1:4]


class Reply(http.server.BaseHTTPRequestHandler):
    def do_POST(self):
        query = self.rfile.read(int(self.headers["Content-Length"]))
        reply = subprocess.run(["openssl", "ts", "-reply", "-config", config, "-queryfile", "/dev/stdin",
                                "-inkey", key, "-signer", certificate, "-out", "/dev/stdout"],
                               input=query, capture_output=True).stdout
        self.send_response(200 if reply else 500)
        self.send_header("Content-Type", "application/timestamp-reply")
        self.send_header("Content-Length", str(len(reply)))
        self.end_headers()
        self.wfile.write(reply)

    def log_message(self, *arguments):
        pass


server = http.server.HTTPServer(("127.0.0.1", 0), Reply)
print(server.server_address[1], flush=True)
server.serve_forever()
