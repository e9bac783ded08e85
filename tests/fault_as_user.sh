#!/bin/sh
# Runs the FaultAsUser tests as an ordinary user: as "nobody" when started as
# root. The test program runs from a copy in a folder of its own, beside a
# data file that this user may not read.
program=$1
shift
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
cp "$program" "$dir/"
printf 'secret,1\n' > "$dir/blender.csv"
chmod 000 "$dir/blender.csv"
chmod 755 "$dir"
if [ "$(id -u)" -ne 0 ]; then
    QT_QPA_PLATFORM=offscreen "$dir/$(basename "$program")" "$@"
else
    setpriv --reuid=nobody --regid=nogroup --clear-groups --reset-env \
        env QT_QPA_PLATFORM=offscreen "$dir/$(basename "$program")" "$@"
fi
