#!/usr/bin/env bash
# Runs a command inside a private D-Bus session with its own gnome-keyring,
# its login keyring made and unlocked with a throw-away password, and a home
# of its own, so the tester's keyring is never touched.
#   keyring_session.sh COMMAND [ARGS...]
set -euo pipefail
home=$(mktemp -d /tmp/quillfern-keyring-XXXXXX)
trap 'rm -rf "$home"' EXIT
mkdir -m 0700 "$home/run"
export HOME="$home" XDG_DATA_HOME="$home/data" XDG_RUNTIME_DIR="$home/run"
export QF_KEYRING_COMMAND="$(printf '%q ' "$@")"
exec dbus-run-session -- bash -c '
  printf "%s" quillfern-test | gnome-keyring-daemon --unlock --components=secrets >/dev/null
  eval "$QF_KEYRING_COMMAND"'
