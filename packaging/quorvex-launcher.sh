#!/bin/sh
# Starts the installed program from the folder that holds its recordings.
exec "$(dirname "$(readlink -f "$0")")/../lib/quorvex/quorvex" "$@"
