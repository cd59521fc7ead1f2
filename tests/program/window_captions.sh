#!/bin/sh
# The captions an operator sees on a real X server: the main window's is exactly the picture's
# full path and a box's exactly its title, with nothing appended by the toolkit.
# Usage: window_captions.sh OXEL PICTURE    (run inside an X server, e.g. under xvfb-run)
set -u
oxel=$1
source_picture=$2

work=$(mktemp -d)
trap 'kill "$pid" 2>/dev/null; rm -rf "$work"' EXIT
mkdir "$work/study 7"
picture="$work/study 7/hip.jpg"
cp "$source_picture" "$picture"
export XDG_CONFIG_HOME="$work/config"

# Whether a top-level window named exactly $1 exists: xwininfo quotes each name.
has_window() {
    xwininfo -root -tree | grep -F -q "\"$1\": ("
}

wait_for_window() {
    for _ in $(seq 1 100); do
        has_window "$1" && return 0
        sleep 0.2
    done
    echo "no window named exactly \"$1\"; the windows are:"
    xwininfo -root -tree | grep -F '"' | grep -v 'has no name'
    return 1
}

# Started from another folder with a relative path: the caption is still the full path.
cd "$work/study 7" || exit 1
"$oxel" hip.jpg &
pid=$!
wait_for_window "$picture" || exit 1

# Write Data on an uncalibrated picture asks its question in a box titled "Oxel".
window=$(xdotool search --name "^$picture\$" | head -n 1)
xdotool windowfocus --sync "$window" key --clearmodifiers alt+f
sleep 0.5
xdotool key w
wait_for_window "Oxel" || exit 1
xdotool key Escape
sleep 0.5

# Exit asks with the application's own title.
xdotool windowfocus --sync "$window" key --clearmodifiers alt+f
sleep 0.5
xdotool key e
wait_for_window "Oxel2" || exit 1
xdotool key Return
for _ in $(seq 1 50); do
    kill -0 "$pid" 2>/dev/null || exit 0
    sleep 0.2
done
echo "the program did not end after Exit was confirmed"
exit 1
