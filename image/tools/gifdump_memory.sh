#!/bin/bash
# Peak memory of gifdump on two hostile files of 20 000 frames, each frame
# 65 535 x 1 pixels: one with no pixel data at all, one with ten pixels per
# frame. A decoder that sizes rows by the claimed width, or keeps every
# frame's bitmap, needs over a gigabyte for either.
# usage: image/tools/gifdump_memory.sh [BUILD_DIR] [LIMIT_KiB]
# Exits 1 when either run peaks at or above LIMIT_KiB (default 65536).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:-$here/../../build}" && pwd)
limit=${2:-65536}
gifdump=$build/image/gifdump
[ -x "$gifdump" ] || { echo "gifdump-memory: $gifdump is missing; build first" >&2; exit 1; }
[ -x /usr/bin/time ] || { echo "gifdump-memory: needs GNU time (Debian package time)" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
frames=20000

# Header, a 65 535 x 1 screen with a 256-colour global table (grey ramp),
# so every frame decodes at 8 bits per pixel: a 64 KiB row.
header='GIF89a\xff\xff\x01\x00\x87\x00\x00'
for ((c = 0; c < 256; c++)); do header+=$(printf '\\x%02x\\x%02x\\x%02x' $c $c $c); done
# Image descriptor at 0,0 of 65 535 x 1, no local table.
descriptor='\x2c\x00\x00\x00\x00\xff\xff\x01\x00\x00'
# Code size 2 and no sub-block: 12 bytes per frame.
empty='\x02\x00'
# Code size 2, clear then ten 3-bit codes of pixel 1 and no end code:
# 33 bits in one 5-byte sub-block (pixel 1 is within any table).
ten='\x02\x05\x4c\x92\x24\x49\x00\x00'

write_file() { # path frame-data
  {
    printf "$header"
    local frame
    frame=$(printf '%s%s' "$descriptor" "$2")
    for ((i = 0; i < frames; i++)); do printf "$frame"; done
    printf '\x3b'
  } >"$1"
}
write_file "$work/empty.gif" "$empty"
write_file "$work/ten.gif" "$ten"

status=0
for name in empty ten; do
  file=$work/$name.gif
  /usr/bin/time -f '%M' -o "$work/peak" "$gifdump" "$file" >"$work/out" 2>/dev/null || true
  peak=$(tail -n 1 "$work/peak")
  size=$(stat -c %s "$file")
  frames_read=$(sed -n 's/^frames: //p' "$work/out")
  printf 'gifdump-memory: %-5s %7d bytes, %s frames, peak %d KiB (limit %d KiB)\n' \
    "$name" "$size" "${frames_read:-?}" "$peak" "$limit"
  [ "$peak" -lt "$limit" ] || status=1
done
exit $status
