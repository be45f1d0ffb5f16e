#!/bin/bash
# Makes the README's pictures in docs/ from the real program, each at its real
# size, cropped to its window with the frame:
#   docs/main.png      the main window after a start that pressed two buttons
#   docs/settings.png  the settings dialog with the list
#   docs/drag.png      a drag in progress, the pointer on the sample window's
#                      OK button, the settings dialog and the sample window
#                      together. Wine does not show what one program draws on
#                      another's window: the button's client area is inverted
#                      in the picture, as InvertRect shows it on Windows.
#   docs/question.png  the question after the release
#   docs/settings-144dpi.png  the settings dialog at 150 %, as Windows shows
#                      the DPI-aware program (Wine at 144 DPI)
# Runs in a private Xvfb; the profiles of the Wine prefixes are put back afterwards.
set -euo pipefail
source "$(dirname "$0")/env.sh"

ensure_packages
build_all --target zelvano --target zelvano_probe --target target_app

DOCS="$ROOT/docs"
mkdir -p "$DOCS"
WORK=$(mktemp -d)
PROFILE=""
put_back_profile() {
    if [ -n "$PROFILE" ]; then
        if [ -f "$WORK/profile.bak" ]; then mv "$WORK/profile.bak" "$PROFILE"; else rm -f "$PROFILE"; fi
    fi
    PROFILE=""
}
cleanup() {
    put_back_profile
    stop_wine
    [ -n "${XVFB_PID:-}" ] && kill "$XVFB_PID" 2>/dev/null || true
    rm -rf "$WORK"
}
trap cleanup EXIT

start_xvfb
start_wine

# A window with a button for Zelvano to press and for the marker to pick.
SAMPLE="見本のウィンドウ"
# The second entry names a window that is not open: listed, not pressed.
use_sample_profile() {
    PROFILE="$WINEPREFIX/drive_c/windows/zelvano.INI"
    [ ! -f "$PROFILE" ] || cp "$PROFILE" "$WORK/profile.bak"
    printf '[BUTTON]\r\nBTN1=%s,OK\r\nBTN2=メモ帳,保存\r\nBTN3=%s,ｷｬﾝｾﾙ\r\nBTN4=\r\n' "$SAMPLE" "$SAMPLE" |
        iconv -f UTF-8 -t CP932 >"$PROFILE"
}
use_sample_profile
"$WINE64" "$BUILD/target_app.exe" "$(winepath -w "$WORK/target.log")" "W:$SAMPLE" "B:OK" "B:ｷｬﾝｾﾙ" &
for _ in $(seq 200); do grep -q ready "$WORK/target.log" 2>/dev/null && break; sleep 0.05; done

# The X window that Wine made for a top-level window with this title.
window_id() {
    local id
    for _ in $(seq 100); do
        id=$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -1) || true
        [ -n "$id" ] && { echo "$id"; return 0; }
        sleep 0.1
    done
    echo "no window titled $1" >&2
    return 1
}

shoot() {
    import -window "$(window_id "$1")" "$2"
    echo "$2: $(identify -format '%wx%h' "$2")"
}

"$WINE64" "$BUILD/zelvano.exe" &
"$WINE64" "$BUILD/tools/zelvano_probe.exe" report
MAIN=$(window_id zelvano)
shoot zelvano "$DOCS/main.png"

read -r _ MX MY < <("$WINE64" "$BUILD/tools/zelvano_probe.exe" settings | tr -d '\r')
shoot "設定とﾊﾞｰｼﾞｮﾝ情報" "$DOCS/settings.png"

# Drag the marker onto the sample window's OK button and hold it there; the
# main window is moved out of the picture first.
"$WINE64" "$BUILD/tools/zelvano_probe.exe" aside
SETTINGS=$(window_id "設定とﾊﾞｰｼﾞｮﾝ情報")
eval "$(xdotool getwindowgeometry --shell "$(window_id "$SAMPLE")")"
SX=$X SY=$Y SW=$WIDTH SH=$HEIGHT
read -r OL OT OR OB < <("$WINE64" "$BUILD/tools/zelvano_probe.exe" button "$SAMPLE" OK | tr -d '\r')
BX=$(((OL + OR) / 2)) BY=$(((OT + OB) / 2))
xdotool mousemove "$MX" "$MY" mousedown 1
for step in 1 2 3 4 5 6 7 8; do
    xdotool mousemove $((MX + (BX - MX) * step / 8)) $((MY + (BY - MY) * step / 8))
    sleep 0.05
done
sleep 0.3

# Both windows in one picture. X leaves the pointer out of screenshots: the
# cursor that the drag shows at 96 DPI, the first image of the file, is drawn
# with its hotspot where the pointer is.
read -r HX HY < <(od -An -tu2 -j10 -N4 "$ROOT/res/pick.cur")
eval "$(xdotool getwindowgeometry --shell "$SETTINGS")"
L=$((X < SX ? X : SX)) T=$((Y < SY ? Y : SY))
R=$((X + WIDTH > SX + SW ? X + WIDTH : SX + SW)) B=$((Y + HEIGHT > SY + SH ? Y + HEIGHT : SY + SH))
import -window root -crop "$((R - L))x$((B - T))+$L+$T" +repage "$WORK/drag.png"
convert "$ROOT/res/pick.cur[0]" "$WORK/pick.png"
convert "$WORK/drag.png" -region "$((OR - OL))x$((OB - OT))+$((OL - L))+$((OT - T))" -negate "$WORK/drag.png"
composite -geometry "+$((BX - HX - L))+$((BY - HY - T))" "$WORK/pick.png" "$WORK/drag.png" "$DOCS/drag.png"
echo "$DOCS/drag.png: $(identify -format '%wx%h' "$DOCS/drag.png")"
xdotool mouseup 1

# The question is a message box captioned with the program's name, like the main window.
QUESTION=""
for _ in $(seq 50); do
    QUESTION=$(xdotool search --onlyvisible --name '^zelvano$' 2>/dev/null | grep -vx "$MAIN" | head -1) || true
    [ -n "$QUESTION" ] && break
    sleep 0.1
done
if [ -z "$QUESTION" ]; then
    echo "the question did not appear: no docs/question.png" >&2
    exit 1
fi
sleep 0.3
import -window "$QUESTION" "$DOCS/question.png"
echo "$DOCS/question.png: $(identify -format '%wx%h' "$DOCS/question.png")"

# The settings dialog once more at 150 %, in Wine's prefix at 144 DPI.
stop_wine
put_back_profile
export ZELVANO_DPI=144
start_wine
use_sample_profile
"$WINE64" "$BUILD/zelvano.exe" &
"$WINE64" "$BUILD/tools/zelvano_probe.exe" report
"$WINE64" "$BUILD/tools/zelvano_probe.exe" settings >/dev/null
shoot "設定とﾊﾞｰｼﾞｮﾝ情報" "$DOCS/settings-144dpi.png"
