#!/bin/sh
# Installs the build into a throw-away prefix and checks the capabilities:
# the desktop program and the CLI carry none; the network helper is 0750 and,
# as root, carries exactly cap_net_admin and cap_net_raw.
set -eu
build="$1"
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build" --prefix "$prefix" >/dev/null
fail=0
for program in "$prefix"/bin/*; do
    caps=$(getcap "$program")
    if [ -n "$caps" ]; then
        echo "unexpected capabilities: $caps" >&2
        fail=1
    fi
done
helper="$prefix/libexec/firmhand/firmhand-netcfg"
[ -x "$helper" ] || { echo "helper not installed at $helper" >&2; exit 1; }
# Only its owner and the group firmhand may run it.
mode=$(stat -c %a "$helper")
[ "$mode" = 750 ] || { echo "helper mode $mode, not 750" >&2; fail=1; }
if [ "$(id -u)" -eq 0 ]; then
    caps=$(getcap "$helper")
    case "$caps" in
        *cap_net_admin,cap_net_raw=ep) ;;
        *) echo "helper capabilities: '$caps'" >&2; fail=1 ;;
    esac
fi
exit $fail
