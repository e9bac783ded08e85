#!/bin/sh
# Runs the given test program as the unprivileged user "nobody" when started
# as root, for the tests that need permissions to mean something.
if [ "$(id -u)" -eq 0 ]; then
    exec setpriv --reuid=nobody --regid=nogroup --clear-groups --reset-env "$@"
fi
exec "$@"
