#!/usr/bin/env bash
# Makes the programs the signature tests look at, with a certificate made for this
# run alone (its root is installed nowhere):
#   <bin>/signed/bmsigned.exe    a copy of brackmoor.exe signed with it
#   <bin>/signed/bmbroken.exe    the signed copy with one byte of its code changed
#   <bin>/signed/bmunsigned.exe  the plain copy
#   <bin>/signed/signer.txt      the certificate's common name
# Usage: sign_programs.sh <folder of brackmoor.exe>
set -euo pipefail
bin=$1
out=$bin/signed
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
rm -rf "$out"
mkdir -p "$out"

signer="Brackmoor Test Signer $RANDOM$RANDOM"
openssl req -x509 -newkey rsa:2048 -nodes -days 2 -keyout "$work/key.pem" -out "$work/cert.pem" \
        -subj "/CN=$signer/O=Dunmere Works Tests" -addext "extendedKeyUsage=codeSigning" 2>/dev/null
osslsigncode sign -certs "$work/cert.pem" -key "$work/key.pem" -n "Brackmoor signature test" \
        -in "$bin/brackmoor.exe" -out "$out/bmsigned.exe" >/dev/null
cp "$bin/brackmoor.exe" "$out/bmunsigned.exe"
cp "$out/bmsigned.exe" "$out/bmbroken.exe"
# One byte in the middle of the first section's raw data: hashed by the signature,
# outside the checksum and the certificate table.
python3 - "$out/bmbroken.exe" <<'EOF'
import struct, sys
path = sys.argv[1]
data = bytearray(open(path, 'rb').read())
pe = struct.unpack_from('<I', data, 0x3C)[0]
optional_size = struct.unpack_from('<H', data, pe + 20)[0]
section = pe + 24 + optional_size
raw_size, raw_pointer = struct.unpack_from('<II', data, section + 16)
data[raw_pointer + raw_size // 2] ^= 0xFF
open(path, 'wb').write(data)
EOF
printf '%s' "$signer" > "$out/signer.txt"
