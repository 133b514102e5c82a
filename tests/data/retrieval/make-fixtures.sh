#!/usr/bin/env bash
# Makes the certificate and key fixtures of the retrieval tests with the openssl tool. The files
# are committed; run this again only to renew them (the tests know the passwords and dates below).
set -euo pipefail
cd "$(dirname "$0")"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The key password "Ключ 2024" as Windows-1251 bytes: key files are encrypted over those bytes.
printf 'Ключ 2024' | iconv -f UTF-8 -t CP1251 >"$work/password"
legacy=(-provider legacy -provider default)

# A small CA that signs the fixture certificates, with a fixed end date for each of them.
openssl genrsa -out "$work/ca.key" 1024 2>/dev/null
openssl req -new -x509 -key "$work/ca.key" -days 36500 -subj "/C=RU/O=Fixture Authority/CN=Fixture Test CA" \
    -out ca.crt
mkdir -p "$work/ca/new"
: >"$work/ca/index.txt"
echo 1000 >"$work/ca/serial"
cat >"$work/ca.cnf" <<CNF
[ca]
default_ca = fixture
[fixture]
dir = $work/ca
database = \$dir/index.txt
new_certs_dir = \$dir/new
serial = \$dir/serial
default_md = sha256
policy = anything
unique_subject = no
email_in_dn = yes
preserve = yes
[anything]
countryName = optional
stateOrProvinceName = optional
localityName = optional
organizationName = optional
organizationalUnitName = optional
commonName = optional
emailAddress = optional
serialNumber = optional
street = optional
[req]
distinguished_name = dn
prompt = no
string_mask = default
[dn]
CN = unused
CNF

# issue KEYFILE SUBJECT OUT ENDDATE [extra req options]
issue() {
    local key=$1 subject=$2 out=$3 end=$4
    shift 4
    openssl req -new -key "$key" -config "$work/ca.cnf" -subj "$subject" "$@" -out "$work/req.csr"
    openssl ca -batch -config "$work/ca.cnf" -cert ca.crt -keyfile "$work/ca.key" -notext \
        -startdate 20240101000000Z -enddate "$end" -in "$work/req.csr" -out "$out" 2>/dev/null
}

subject="/C=RU/ST=Moscow/L=Moscow/O=Romashka LLC/OU=IT/CN=Ivan Petrov/emailAddress=ivan@example.ru"

# The user's key and its certificate (notAfter 2035-06-15 12:30:45 UTC).
openssl genrsa -out "$work/user.key" 1024 2>/dev/null
issue "$work/user.key" "$subject" user.cer 20350615123045Z
# The key in the classic encrypted PEM forms, in clear, and as PKCS#8.
openssl rsa -in "$work/user.key" -traditional -des3 -passout file:"$work/password" -out user-des3.key
openssl rsa -in "$work/user.key" -traditional -des "${legacy[@]}" -passout file:"$work/password" \
    -out user-des.key
openssl rsa -in "$work/user.key" -traditional -aes128 -passout file:"$work/password" -out user-aes.key
openssl rsa -in "$work/user.key" -traditional -out user-clear.key
openssl pkcs8 -topk8 -nocrypt -in "$work/user.key" -out user-pkcs8.key

# A certificate of another key with the same subject (a second request for the same address).
openssl genrsa -out "$work/other.key" 1024 2>/dev/null
issue "$work/other.key" "$subject" other.cer 20350615123045Z

# Unusual names: BMPString values (one character outside Windows-1251), a T61String holding
# Windows-1251 bytes, a serial number and a street, and an issuer name with no common name.
bmpSubject="/C=RU/O=ООО \"Ромашка\" Ω/CN=Иван Петров/serialNumber=12345/street=Tverskaya 1"
openssl req -new -key "$work/user.key" -config "$work/ca.cnf" -utf8 -subj "$bmpSubject" \
    -out "$work/bmp.csr"
openssl ca -batch -config "$work/ca.cnf" -cert ca.crt -keyfile "$work/ca.key" -notext -utf8 \
    -startdate 20240101000000Z -enddate 20350615123045Z -in "$work/bmp.csr" -out names.cer 2>/dev/null
t61Locality=$(printf 'Москва' | iconv -f UTF-8 -t CP1251)
issue "$work/user.key" "/C=RU/L=$t61Locality/CN=Ivan" t61.cer 20350615123045Z
openssl req -new -x509 -key "$work/user.key" -days 36500 -subj "/C=RU/O=No Common Name" \
    -out no-issuer-cn.cer

# A key file as earlier versions of the tool wrote it: the classic encrypted form with an empty
# line before END, which they put there whenever the Base64 text filled its last line (openssl
# refuses such a file). A 2048-bit key whose encrypted DER fills it, and a self-signed
# certificate of that key.
while :; do
    openssl genrsa -out "$work/old.key" 2048 2>/dev/null
    openssl rsa -in "$work/old.key" -traditional -des3 -passout file:"$work/password" \
        -out "$work/old-des3.key" 2>/dev/null
    [ $(($(sed '1,3d;$d' "$work/old-des3.key" | tr -d '\n' | wc -c) % 64)) -eq 0 ] && break
done
sed '$i\\' "$work/old-des3.key" >old-writer.key
openssl req -new -x509 -key "$work/old.key" -days 36500 \
    -subj "/C=RU/O=Romashka LLC/CN=Ivan Petrov/emailAddress=ivan@example.ru" -out old-writer.cer

# An error page as a download may store it.
printf '<html>\r\n<head><title>500 Internal Server Error</title></head>\r\n<body>Error</body>\r\n</html>\r\n' \
    >error-page.cer

# A wrong password whose decryption of user-des3.key ends in a byte below 9 that is not valid
# padding: the pad-length test alone would take it for the right one.
iv=$(sed -n 's/^DEK-Info: DES-EDE3-CBC,//p' user-des3.key)
sed '1,3d;$d' user-des3.key | base64 -d >"$work/body"
size=$(stat -c %s "$work/body")
tail -c 16 "$work/body" | head -c 8 >"$work/prev"
tail -c 8 "$work/body" >"$work/last"
for i in $(seq 1 5000); do
    candidate="wrong$i"
    key=$(openssl enc -des-ede3-cbc -md md5 -S "$iv" -pass pass:"$candidate" -P 2>/dev/null | sed -n 's/^key=//p')
    prev=$(xxd -p "$work/prev")
    last=$(openssl enc -d -des-ede3-cbc -nopad -K "$key" -iv "$prev" -in "$work/last" | xxd -p)
    pad=$((16#${last:14:2}))
    if [ "$pad" -ge 1 ] && [ "$pad" -le 8 ]; then
        good=1
        for ((j = 0; j < pad; j++)); do
            [ "$((16#${last:$((14 - 2 * j)):2}))" -eq "$pad" ] || good=0
        done
        if [ "$good" -eq 0 ]; then
            echo "$candidate" >wrong-password-small-pad.txt
            echo "pad byte $pad for $candidate (body $size bytes)"
            break
        fi
    fi
done
