#!/usr/bin/env bash
# Installs what is needed, builds the program and starts it. Arguments go to the command-line
# tool (run in the build folder, as the program folder). It builds into build-run/, a folder of
# its own with the tests off, so that the developers' build/ (CONTRIBUTING) keeps its tests.
#
# Without arguments it starts a demo: a program folder in build-run/demo/ wired to a local sandbox-ca
# that issues each request a few seconds after it arrives. With a display the window opens there
# (the service stops when the window closes); without one the whole road runs through the
# command-line tool: request, wait, download, check, export. CQ_DEMO=0 starts the window in the
# build folder against the real service instead; CQ_BUILD_DIR names another build folder.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${CQ_BUILD_DIR:-$root/build-run}"
bash "$root/scripts/install-deps.sh"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCQ_BUILD_GUI=ON -DCQ_BUILD_TESTS=OFF -DCQ_BUILD_BENCH=OFF
cmake --build "$build" -j "${CQ_JOBS:-2}"

have_display() {
    [ -x "$build/certquorix" ] && [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]
}

if [ $# -gt 0 ]; then
    exec "$build/certquorix-cli" "$@"
fi
if [ "${CQ_DEMO:-1}" = 0 ]; then
    have_display && exec "$build/certquorix"
    exec "$build/certquorix-cli" version
fi

demo="$build/demo"
sandbox="$build/demo-sandbox"
issue_delay="${CQ_DEMO_ISSUE_DELAY:-5}"
mkdir -p "$demo"

step() { printf '\n== %s\n' "$*"; }
cli_step() {
    step "certquorix-cli $*"
    "$demo/certquorix-cli" "$@"
}

# The program folder: the binaries (the program folder is where they are), the act templates and
# the client certificate the service accepts.
step "Demo program folder $demo"
"$build/sandbox-ca" init --dir "$sandbox"
# Every demo run starts with a service that has issued nothing yet (the CA stays). Within a run a
# second request for the same address gets the first certificate back, as from the real service.
rm -f "$sandbox"/issued/*.crt "$sandbox"/requests/*.csr
for file in certquorix certquorix-cli; do
    if [ -x "$build/$file" ]; then cp -f "$build/$file" "$demo/"; fi
done
cp -f "$build"/*.rtf "$demo/"
if [ ! -f "$demo/Request.cer" ] || [ ! -f "$demo/Request.key" ]; then
    "$build/sandbox-ca" client-cert --dir "$sandbox" --out "$demo"
fi

# The service on a free loopback port, stopped whatever way this script ends.
rm -f "$sandbox/port"
"$build/sandbox-ca" serve --dir "$sandbox" --port-file "$sandbox/port" \
    --issue-delay "$issue_delay" 2>"$sandbox/serve.log" &
sandbox_pid=$!
trap 'kill "$sandbox_pid" 2>/dev/null || true; wait "$sandbox_pid" 2>/dev/null || true' EXIT
trap 'exit 130' INT TERM
for _ in $(seq 100); do
    [ -s "$sandbox/port" ] && break
    kill -0 "$sandbox_pid" 2>/dev/null || { cat "$sandbox/serve.log" >&2; exit 1; }
    sleep 0.1
done
port="$(tr -d '\r\n' <"$sandbox/port")"
url="https://localhost:$port"
echo "sandbox-ca serves $url/ and issues each request $issue_delay s after it arrives"

# Settings: the service addresses and its CA (rewritten every run, the port changes); the rest of
# an existing file (subject fields saved in the window) is kept. No proxy for loopback.
ini="$demo/CertQuorix.ini"
[ -f "$ini" ] || printf '[Proxy]\r\nUse=0\r\n' >"$ini"
awk -v url="$url" -v cafile="$sandbox/ca.crt" '
    function https_lines() {
        printf "[HTTPS]\r\n"
        printf "UrlRequestRSACertificate=%s/requp/\r\n", url
        printf "UrlReceiveRSACertificate=%s/certget/\r\n", url
        printf "UrlRequestGostCertificate=%s/requp/\r\n", url
        printf "UrlReceiveGostCertificate=%s/certget/\r\n", url
        printf "CaFile=%s\r\n", cafile
    }
    { line = $0; sub(/\r$/, "", line) }
    line ~ /^\[/ { in_https = (tolower(line) == "[https]"); if (in_https) next }
    in_https { next }
    { printf "%s\r\n", line }
    END { https_lines() }
' "$ini" >"$ini.new"
mv -f "$ini.new" "$ini"

if have_display; then
    step "Starting the window; the service stops when it closes"
    echo "Request a certificate on the first tab; a few seconds later download, check and export it"
    echo "on the second."
    "$demo/certquorix" || true
    exit 0
fi

# No display: the same road through the command-line tool.
email="${CQ_DEMO_EMAIL:-ivan.petrov@example.ru}"
export CERTQUORIX_PASSWORD="${CERTQUORIX_PASSWORD:-demo password}"
cli_step request --email "$email" --common-name 'Ivan Petrov' --organization Demo --yes
step "Waiting for the service to issue the certificate (about $issue_delay s)"
for attempt in $(seq 60); do
    status=0
    "$demo/certquorix-cli" download --email "$email" --yes || status=$?
    [ "$status" -eq 0 ] && break
    if [ "$status" -ne 3 ] || [ "$attempt" -eq 60 ]; then
        echo "download failed (exit $status)" >&2
        exit 1
    fi
    sleep 1
done
cli_step check --email "$email"
cli_step export --email "$email" --no-open
step "Done: the certificate folder is $demo/$email"
ls -l "$demo/$email"
