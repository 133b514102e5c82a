#!/usr/bin/env bash
# Builds the Debian package from a configured and built folder (default build-ci-full), installs
# it with apt-get and takes it down the whole road as an unprivileged user, from /usr/bin, against
# a local sandbox-ca set up the way an administrator would: the service addresses in
# /etc/certquorix/CertQuorix.ini, the operator's Request.cer/Request.key in /opt/certquorix.
# Then it checks where the user's files landed and with which modes, that a second user cannot
# read them, and that removing the package leaves them. lintian's report on the package is
# printed. Needs root (it installs a package and creates users); otherwise it says so and stops.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="$(cd "${1:-$root/build-ci-full}" && pwd)"
if [ "$(id -u)" -ne 0 ]; then
    echo "package test skipped: it installs the package and creates users, run it as root"
    exit 0
fi

# A machine where someone installed the package keeps it (and its administrator's settings);
# CI's machine is the test's own.
if dpkg-query -W -f='${Status}' certquorix 2>/dev/null | grep -q "install ok installed" &&
    [ "${CI:-}" != true ]; then
    echo "package test skipped: certquorix is installed here and the test would replace it"
    exit 0
fi

user=cqpkguser
other=cqpkgother
email=pkg.user@example.ru
gost_email=gost.user@example.ru
work="$(mktemp -d /tmp/certquorix-package.XXXXXX)"
sandbox_pid=
check_label="package test"
# shellcheck source=lib/checks.sh
source "$root/scripts/lib/checks.sh"

step() { printf '\n== package test: %s\n' "$*"; }
mode_is() { [ "$(stat -c %a "$2")" = "$1" ]; }
as_user() {
    local name=$1
    shift
    runuser -u "$name" -- env -i HOME="/home/$name" USER="$name" LOGNAME="$name" \
        PATH=/usr/bin:/bin LANG=C.UTF-8 CERTQUORIX_PASSWORD='pkg-test-pass' \
        CERTQUORIX_CONTAINER_PASSWORD= "$@"
}
# Downloads the certificate of an address, waiting while the service has not issued it (exit 3).
download_as_user() {
    local status
    for _ in $(seq 30); do
        status=0
        as_user "$user" certquorix-cli download --email "$1" --yes || status=$?
        [ "$status" -ne 3 ] && return "$status"
        sleep 1
    done
    return 3
}
remove_everything() {
    apt-get purge -y -q certquorix >/dev/null 2>&1 || true
    for name in "$user" "$other"; do
        if id "$name" >/dev/null 2>&1; then userdel -r "$name" >/dev/null 2>&1 || true; fi
    done
    rm -f /opt/certquorix/Request.cer /opt/certquorix/Request.key /etc/certquorix/sandbox-ca.crt
    rmdir /opt/certquorix /etc/certquorix 2>/dev/null || true
}
finish() {
    if [ -n "$sandbox_pid" ]; then
        kill "$sandbox_pid" 2>/dev/null || true
        wait "$sandbox_pid" 2>/dev/null || true
    fi
    remove_everything
    rm -rf "$work"
}
trap finish EXIT

step "building the package"
cpack --config "$build/CPackConfig.cmake" -B "$build/package" >"$work/cpack.log" ||
    { cat "$work/cpack.log"; fail "cpack"; }
deb="$(ls "$build"/package/certquorix_*.deb)"
dpkg-deb --info "$deb"
dpkg-deb --contents "$deb"

step "lintian"
lintian --info "$deb" || true

step "installing $deb"
remove_everything
DEBIAN_FRONTEND=noninteractive apt-get install -y -q "$deb"
check "certquorix-cli on PATH links into the program folder" \
    test "$(readlink -f /usr/bin/certquorix-cli)" = /opt/certquorix/certquorix-cli
check "the window on PATH" test -x /usr/bin/certquorix
check "the administrator's settings file is a configuration file" \
    grep -qx /etc/certquorix/CertQuorix.ini /var/lib/dpkg/info/certquorix.conffiles
for file in /usr/share/man/man1/certquorix-cli.1.gz /usr/share/man/man1/certquorix.1.gz \
    /usr/share/man/ru/man1/certquorix-cli.1.gz /usr/share/man/ru/man1/certquorix.1.gz \
    /usr/share/bash-completion/completions/certquorix-cli \
    /usr/share/applications/org.certquorix.CertQuorix.desktop \
    /usr/share/metainfo/org.certquorix.CertQuorix.metainfo.xml \
    /usr/share/icons/hicolor/48x48/apps/org.certquorix.CertQuorix.png \
    /usr/lib/systemd/user/certquorix-notify.timer /usr/lib/systemd/user/certquorix-notify.service; do
    check "installed $file" test -s "$file"
done

if command -v systemctl >/dev/null; then
    check "the daily notice is enabled for every user" \
        test -L /etc/systemd/user/timers.target.wants/certquorix-notify.timer
fi
check "the desktop entry is valid" \
    desktop-file-validate /usr/share/applications/org.certquorix.CertQuorix.desktop
check "the AppStream metainfo is valid" \
    appstreamcli validate --no-net /usr/share/metainfo/org.certquorix.CertQuorix.metainfo.xml

step "administrator: doctor names what the fresh installation lacks"
doctor_status=0
certquorix-cli doctor >"$work/doctor-before" 2>&1 || doctor_status=$?
cat "$work/doctor-before"
check "doctor fails with status 9 before the operator's files are placed" \
    test "$doctor_status" -eq 9
check "doctor names the missing Request.cer" grep -q "нет файла /opt/certquorix/Request.cer" \
    "$work/doctor-before"
check "doctor names the missing Request.key" grep -q "нет файла /opt/certquorix/Request.key" \
    "$work/doctor-before"

step "administrator: the operator's client certificate and a local service"
"$build/sandbox-ca" init --dir "$work/sandbox" >/dev/null
"$build/sandbox-ca" client-cert --dir "$work/sandbox" --out /opt/certquorix >/dev/null
chmod 0644 /opt/certquorix/Request.cer /opt/certquorix/Request.key
install -m 0644 "$work/sandbox/ca.crt" /etc/certquorix/sandbox-ca.crt
"$build/sandbox-ca" serve --dir "$work/sandbox" --port-file "$work/port" --issue-delay 0 \
    2>"$work/serve.log" &
sandbox_pid=$!
for _ in $(seq 100); do
    [ -s "$work/port" ] && break
    kill -0 "$sandbox_pid" 2>/dev/null || { cat "$work/serve.log" >&2; fail "sandbox-ca"; }
    sleep 0.1
done
url="https://localhost:$(tr -d '\r\n' <"$work/port")"
printf '[HTTPS]\r\nUrlRequestRSACertificate=%s/requp/\r\nUrlReceiveRSACertificate=%s/certget/\r\nUrlRequestGostCertificate=%s/gost/requp/\r\nUrlReceiveGostCertificate=%s/gost/certget/\r\nCaFile=/etc/certquorix/sandbox-ca.crt\r\n[Proxy]\r\nUse=0\r\n' \
    "$url" "$url" "$url" "$url" >>/etc/certquorix/CertQuorix.ini
program_folder_before="$(ls -A /opt/certquorix)"
check "doctor passes once the operator's files and addresses are in place" certquorix-cli doctor

step "a user takes the whole road from /usr/bin"
useradd --create-home --shell /bin/bash "$user"
useradd --create-home --shell /bin/bash "$other"
as_user "$user" certquorix-cli --version | tee "$work/version"
check "--version names the version" grep -q '1\.0\.0' "$work/version"
check "list with nothing requested" as_user "$user" certquorix-cli list
check "request" as_user "$user" certquorix-cli request --email "$email" \
    --common-name 'Petr Paketov' --organization 'Package Test' --yes
check "download" download_as_user "$email"
check "check" as_user "$user" certquorix-cli check --email "$email"
check "export" as_user "$user" certquorix-cli export --email "$email" --no-open
check "export --nss" as_user "$user" certquorix-cli export --email "$email" --nss
as_user "$user" certutil -L -d "sql:/home/$user/.pki/nssdb" | tee "$work/nss"
check "the certificate with its key is in the user's NSS database" grep -q 'u,u,u' "$work/nss"
as_user "$user" certquorix-cli list | tee "$work/list"
check "list shows the downloaded certificate" grep -q "$email" "$work/list"
certquorix-cli report --all-users | tee "$work/report"
check "the administrator's report names the user's certificate" \
    grep -q "^$user	$email	" "$work/report"
check "a user may not run the administrator's report" \
    sh -c "! runuser -u '$user' -- certquorix-cli report --all-users 2>/dev/null"
# The GOST road: a key container of the software provider in the user's home.
check "GOST request" as_user "$user" certquorix-cli request --gost --email "$gost_email" \
    --country RU --state Moscow --locality Moscow --organization 'Package Test' \
    --common-name 'Gost User' --yes
check "GOST download" download_as_user "$gost_email"
check "GOST check" as_user "$user" certquorix-cli check --email "$gost_email"
as_user "$user" bash -c 'source /usr/share/bash-completion/completions/certquorix-cli
    COMP_WORDS=(certquorix-cli check --email pkg); COMP_CWORD=3; _certquorix_cli
    printf "%s\n" "${COMPREPLY[@]}"' | tee "$work/completion"
check "completion offers the user's addresses" grep -qx "$email" "$work/completion"
# The window starts from the package and stays up (no display needed on the offscreen platform).
status=0
as_user "$user" env QT_QPA_PLATFORM=offscreen timeout 5 certquorix || status=$?
check "the window starts and keeps running" test "$status" -eq 124

step "where the user's files are"
data="/home/$user/.local/share/CertQuorix"
folder="$data/$email"
ls -laR "$data"
check "data folder 0700" mode_is 700 "$data"
check "settings file 0600" mode_is 600 "$data/CertQuorix.ini"
check "both addresses in the user's e-mail list" \
    grep -q "^List=$gost_email|$email" "$data/CertQuorix.ini"
check "certificate folder 0700" mode_is 700 "$folder"
check "private key 0600" mode_is 600 "$folder/Certificate.key"
check "PKCS#12 0600" mode_is 600 "$folder/Certificate.p12"
check "log folder 0700" mode_is 700 "$data/Logs"
check "key container folder 0700" mode_is 700 "$data/containers"
check "key containers 0600" sh -c "for f in '$data'/containers/*; do [ \"\$(stat -c %a \"\$f\")\" = 600 ] || exit 1; done"
check "a log file in the user's log folder" sh -c "ls '$data'/Logs/*.Log >/dev/null"
check "the program folder is unchanged" test "$(ls -A /opt/certquorix)" = "$program_folder_before"
check "another user cannot list the data folder" sh -c "! runuser -u '$other' -- ls '$data' 2>/dev/null"
check "another user cannot read the key" \
    sh -c "! runuser -u '$other' -- cat '$folder/Certificate.key' >/dev/null 2>&1"

step "removing the package"
DEBIAN_FRONTEND=noninteractive apt-get remove -y -q certquorix
check "certquorix-cli is gone" test ! -e /usr/bin/certquorix-cli
check "the daily notice is no longer enabled" \
    test ! -e /etc/systemd/user/timers.target.wants/certquorix-notify.timer
check "the user's key stays" test -s "$folder/Certificate.key"
check "the user's PKCS#12 stays" test -s "$folder/Certificate.p12"
check "the user's settings stay" test -s "$data/CertQuorix.ini"
check "the administrator's settings stay until a purge" test -s /etc/certquorix/CertQuorix.ini

echo
echo "package: $passed passed, 0 failed"
echo
bash "$root/scripts/test-package-fresh.sh" "$deb"
