#!/bin/sh
# Runs the given test program as the unprivileged user "nobody" when started
# as root, for the tests that need permissions to mean something. The program
# runs from a copy in a folder of its own, since the build folder may be one
# that nobody else can enter.
if [ "$(id -u)" -ne 0 ]; then
    exec "$@"
fi
program=$1
shift
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
cp "$program" "$dir/"
chmod 755 "$dir"
setpriv --reuid=nobody --regid=nogroup --clear-groups --reset-env \
    env QT_QPA_PLATFORM=offscreen "$dir/$(basename "$program")" "$@"
