#!/usr/bin/env bash
# Remakes the demo frames of this folder from zint symbols. Needs zint and Qt 6.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
g++ -std=c++17 -fPIC "$here/make_demo.cpp" $(pkg-config --cflags --libs Qt6Gui) -o "$work/make_demo"
zint -b EANX -d "490123456789" --scale=1 --height=40 -o "$work/jan.png"
zint -b CODE128 -d "VANTREL-2024" --scale=1 --height=40 -o "$work/c128.png"
zint -b QRCODE -d "ようこそ Vantrel へ" --scale=1 -o "$work/qr.png" 2>/dev/null
zint -b DATAMATRIX -d "Vantrel Data Matrix 0123456789" --scale=1 -o "$work/dmx.png"
"$work/make_demo" "$work/jan.png" 2 "JAN-13" "$here/demo-1-jan13.png"
"$work/make_demo" "$work/c128.png" 1 "CODE-128" "$here/demo-2-code128.png"
"$work/make_demo" "$work/qr.png" 4 "QR" "$here/demo-3-qrcode.png"
"$work/make_demo" "$work/dmx.png" 5 "Data Matrix" "$here/demo-4-datamatrix.png"
