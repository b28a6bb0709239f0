#!/bin/sh
# Runs a command in a private D-Bus session with a GNOME Keyring unlocked
# for it, in a throw-away home; the keyring and the session end with it.
set -eu
home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT
export HOME="$home" XDG_DATA_HOME="$home/data" XDG_CONFIG_HOME="$home/config" \
    XDG_RUNTIME_DIR="$home/run" FIRMHAND_EXPECT_KEYRING=1
mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
dbus-run-session -- sh -c '
    printf %s test-unlock | gnome-keyring-daemon --unlock --components=secrets >/dev/null
    exec "$@"' sh "$@"
