#!/bin/bash
# Makes the README's pictures in docs/, each cropped to its window:
#   docs/main.png      the main window with a report of one press
#   docs/settings.png  the settings dialog
#   docs/question.png  the question after dragging the marker onto a button
#   docs/picked.png    the settings dialog with the picked button as the path
# Runs in a private Xvfb; the profile of the Wine prefix is put back afterwards.
set -euo pipefail
source "$(dirname "$0")/env.sh"

ensure_packages
build_all --target zelvano --target zelvano_probe --target target_app

DOCS="$ROOT/docs"
mkdir -p "$DOCS"
WORK=$(mktemp -d)
PROFILE=""
cleanup() {
    if [ -n "$PROFILE" ]; then
        if [ -f "$WORK/profile.bak" ]; then cp "$WORK/profile.bak" "$PROFILE"; else rm -f "$PROFILE"; fi
    fi
    stop_wine
    [ -n "${XVFB_PID:-}" ] && kill "$XVFB_PID" 2>/dev/null || true
    rm -rf "$WORK"
}
trap cleanup EXIT

start_xvfb
start_wine

# A window with a button for Zelvano to press and for the marker to pick.
SAMPLE="見本のウィンドウ"
PROFILE="$WINEPREFIX/drive_c/windows/zelvano.INI"
[ -f "$PROFILE" ] && cp "$PROFILE" "$WORK/profile.bak"
printf '[BUTTON]\r\nBTN1=%s,OK\r\nBTN2=\r\n' "$SAMPLE" | iconv -f UTF-8 -t CP932 >"$PROFILE"
wine "$BUILD/target_app.exe" "$(winepath -w "$WORK/target.log")" "W:$SAMPLE" "B:OK" "B:ｷｬﾝｾﾙ" &
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

wine "$BUILD/zelvano.exe" &
wine "$BUILD/tools/zelvano_probe.exe" report
MAIN=$(window_id zelvano)
shoot zelvano "$DOCS/main.png"

read -r _ MX MY < <(wine "$BUILD/tools/zelvano_probe.exe" settings | tr -d '\r')
shoot "設定とﾊﾞｰｼﾞｮﾝ情報" "$DOCS/settings.png"

# Drag the marker onto the sample window's OK button (client 10,10 to 90,34,
# below Wine's own frame and caption) and let go there.
eval "$(xdotool getwindowgeometry --shell "$(window_id "$SAMPLE")")"
BX=$((X + 54)) BY=$((Y + 45))
xdotool mousemove "$MX" "$MY" mousedown 1
for step in 1 2 3 4 5 6 7 8; do
    xdotool mousemove $((MX + (BX - MX) * step / 8)) $((MY + (BY - MY) * step / 8))
    sleep 0.05
done
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

# Answer OK (the left button of the box): the pick becomes the current path.
eval "$(xdotool getwindowgeometry --shell "$QUESTION")"
xdotool mousemove $((X + WIDTH * 2 / 7)) $((Y + HEIGHT - 29)) click 1
for _ in $(seq 50); do
    xdotool search --onlyvisible --name '^zelvano$' 2>/dev/null | grep -qx "$QUESTION" || break
    sleep 0.1
done
sleep 0.3
shoot "設定とﾊﾞｰｼﾞｮﾝ情報" "$DOCS/picked.png"
