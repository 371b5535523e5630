#!/usr/bin/env bash
# Draws the program's icons (107: the application, six sizes; 129: the tray
# while signed out; 130: the tray while signed in) and its notification
# sound (134) into app/res/. Run by hand when the art changes; the results
# are committed.
set -euo pipefail
out="$(cd "$(dirname "$0")/.." && pwd)/app/res"
tmp="$(mktemp -d)"
trap 'rm -rf "$tmp"' EXIT

# master <file> <top colour> <bottom colour>: a rounded tile with a sail.
master() {
  convert -size 256x256 xc:none \
    \( -size 256x256 gradient:"$2"-"$3" \) \
    \( -size 256x256 xc:none -fill white -draw "roundrectangle 8,8 247,247 52,52" \) \
    -compose over -delete 0 -compose copy_opacity -composite \
    -fill 'rgba(255,255,255,0.96)' -draw "polygon 132,38 132,182 206,182" \
    -fill 'rgba(255,255,255,0.80)' -draw "polygon 120,62 120,182 62,182" \
    -fill 'rgba(255,255,255,0.96)' -draw "roundrectangle 52,192 214,206 7,7" \
    -fill 'rgba(255,255,255,0.55)' -draw "roundrectangle 84,216 182,224 4,4" \
    "$1"
}

master "$tmp/blue.png" '#3D8BFF' '#0A4FC4'
master "$tmp/grey.png" '#A7B0BC' '#6B7482'

for s in 16 24 32 48 64 256; do convert "$tmp/blue.png" -resize ${s}x${s} "$tmp/app$s.png"; done
convert "$tmp"/app16.png "$tmp"/app24.png "$tmp"/app32.png "$tmp"/app48.png "$tmp"/app64.png "$tmp"/app256.png "$out/app.ico"
convert "$tmp/blue.png" -resize 32x32 "$out/tray_signed_in.ico"
convert "$tmp/grey.png" -resize 32x32 "$out/tray_signed_out.ico"
convert "$tmp/blue.png" -resize 128x128 "$out/app128.png"

# A soft two-note chime, 0.45 s, 22.05 kHz mono.
/usr/bin/python3 - "$out/notify.wav" <<'PY'
import math, struct, sys, wave
rate = 22050
samples = []
for start, freq in ((0.0, 880.0), (0.12, 1318.5)):
    for i in range(int(rate * 0.45)):
        t = i / rate
        env = math.exp(-t * 9.0) * min(1.0, t * 400)
        idx = int(start * rate) + i
        while len(samples) <= idx:
            samples.append(0.0)
        samples[idx] += 0.35 * env * math.sin(2 * math.pi * freq * t)
with wave.open(sys.argv[1], "wb") as w:
    w.setnchannels(1)
    w.setsampwidth(2)
    w.setframerate(rate)
    w.writeframes(b"".join(struct.pack("<h", int(max(-1, min(1, s)) * 32767)) for s in samples))
PY
