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
# The real X server is the point, whatever platform the calling shell chose for widget tests.
unset QT_QPA_PLATFORM

# Whether a top-level window named exactly $1 exists: xwininfo quotes each name.
has_window() {
    xwininfo -root -tree | grep -F -q "\"$1\": ("
}

wait_for_window() {
    for _ in $(seq 1 200); do
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

# Chooses a command of the main window's File menu by its accelerator keys, again until the
# window named $2 appears: a slow machine may not have opened the menu when the key arrives.
choose_from_file_menu() {
    for _ in $(seq 1 10); do
        xdotool windowfocus --sync "$window" key --clearmodifiers alt+f
        sleep 0.5
        xdotool key "$1"
        for _ in $(seq 1 10); do
            has_window "$2" && return 0
            sleep 0.3
        done
        xdotool key Escape Escape
    done
    wait_for_window "$2"
}

window=$(xdotool search --name "^$picture\$" | head -n 1)

# Write Data on an uncalibrated picture asks its question in a box titled "Oxel".
choose_from_file_menu w "Oxel" || exit 1
xdotool key Escape
sleep 0.5

# Exit asks with the application's own title.
choose_from_file_menu e "Oxel2" || exit 1
xdotool key Return
for _ in $(seq 1 100); do
    kill -0 "$pid" 2>/dev/null || exit 0
    sleep 0.2
done
echo "the program did not end after Exit was confirmed"
exit 1
