#!/bin/sh
# Runs a test program as the operator, the account that VELQUORIN_TEST_OPERATOR names (CI sets
# it), with that account's own home and desktop folders and the PATH of an ordinary login, as a
# login gives them, so that what an operator runs is tested as an operator runs it. Without the
# variable, or when run by the operator already, the program runs as whoever runs the tests.
set -eu
operator=${VELQUORIN_TEST_OPERATOR:-}
if [ -z "$operator" ] || [ "$(id -un)" = "$operator" ]; then
  exec "$@"
fi
if [ "$(id -u)" -ne 0 ]; then
  echo "as_operator.sh: only root may run the tests as $operator" >&2
  exit 1
fi
home=$(getent passwd "$operator" | cut -d: -f6)
runtime=/run/user/$(id -u "$operator")
# The login definitions' PATH for ordinary users (ENV_PATH, "PATH=" in front or not), which has
# no /usr/sbin: an administration tool called by its name is not found, as for the operator.
path=$(sed -n 's/^[[:space:]]*ENV_PATH[[:space:]]\{1,\}\(PATH=\)\{0,1\}//p' /etc/login.defs 2>/dev/null |
  tail -n 1)
[ -n "$path" ] || path=/usr/local/bin:/usr/bin:/bin
if [ ! -d "$runtime" ]; then
  install -d -m 0700 -o "$operator" -g "$(id -g "$operator")" "$runtime"
fi
exec runuser -u "$operator" -- env HOME="$home" USER="$operator" LOGNAME="$operator" \
  PATH="$path" XDG_RUNTIME_DIR="$runtime" XDG_DATA_HOME="$home/.local/share" \
  XDG_CONFIG_HOME="$home/.config" XDG_CACHE_HOME="$home/.cache" \
  XDG_STATE_HOME="$home/.local/state" "$@"
