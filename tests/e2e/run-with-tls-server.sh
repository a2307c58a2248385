#!/usr/bin/env bash
# Runs a test command next to an https server on the loopback interface that
# serves a version file with a certificate made afresh and trusted by no one
# (self-signed). Wine trusts only the roots of the host's trust store, which a
# test must not change, so what the test can show is the refusal. The server
# is first fetched from with its own certificate as the trusted root, so that
# a refusal by the tool is about trust and not a server that does not work.
# The test finds the port in TARVEL_TEST_TLS_PORT.
#   run-with-tls-server.sh COMMAND [ARGS...]
set -euo pipefail
work=$(mktemp -d)
pid=
cleanup() {
  if [ -n "$pid" ]; then kill "$pid" 2>/dev/null || true; wait "$pid" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT

cd "$work"
openssl req -x509 -newkey rsa:2048 -nodes -keyout key.pem -out cert.pem -days 1 \
  -subj "/CN=127.0.0.1" -addext "subjectAltName=IP:127.0.0.1" >/dev/null 2>&1
mkdir -p www/files/Download/Tools
printf '[Tarvel]\r\nUniversal_Version=1.2.3.4\r\nUniversal_URL=https://www.tessaro.example/\r\n' \
  > www/files/Download/Tools/tools_version.ini

port=
for _ in $(seq 1 20); do
  candidate=$((20000 + RANDOM % 40000))
  (cd www && exec openssl s_server -accept "127.0.0.1:$candidate" -cert ../cert.pem -key ../key.pem -WWW \
     >../server.log 2>&1) &
  pid=$!
  for _ in $(seq 1 50); do
    grep -q ACCEPT server.log 2>/dev/null && break
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
  done
  if grep -q ACCEPT server.log 2>/dev/null && kill -0 "$pid" 2>/dev/null; then port=$candidate; break; fi
  kill "$pid" 2>/dev/null || true; wait "$pid" 2>/dev/null || true; pid=
done
[ -n "$port" ] || { echo "no TLS server could be started" >&2; exit 1; }

answer=$(printf 'GET /files/Download/Tools/tools_version.ini HTTP/1.0\r\n\r\n' |
  timeout 20 openssl s_client -connect "127.0.0.1:$port" -CAfile cert.pem -verify_return_error -quiet 2>/dev/null || true)
case "$answer" in
  *Universal_Version=1.2.3.4*) ;;
  *) echo "the TLS server does not serve the version file" >&2; exit 1 ;;
esac

cd - >/dev/null
TARVEL_TEST_TLS_PORT=$port "$@"
