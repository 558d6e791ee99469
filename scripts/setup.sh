#!/usr/bin/env bash
# Installs every Debian package Quillfern needs to build, test and run its demo
# on a fresh Debian 12 machine. Safe to run again: apt-get skips what is there.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config git
  qt6-base-dev qt6-base-dev-tools libqt6svg6 qt6-image-formats-plugins
  qt6-webengine-dev qt6-webengine-dev-tools libqt6webenginecore6-bin libqt6webengine6-data
  libgmime-3.0-dev libcurl4-openssl-dev libssl-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  clang-format clang-tidy codespell clang libclang-rt-14-dev
  dovecot-pop3d python3-aiosmtpd mpack openssl fetchmail
  fonts-noto-cjk fonts-noto-color-emoji xvfb x11-apps imagemagick librsvg2-bin xauth xdotool
  openbox qt6-translations-l10n dbus-daemon
  libsecret-1-dev gnome-keyring
  dpkg-dev file desktop-file-utils appstream xclip x11-utils
  gdb  # the display tests print where a program that will not end waits
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if [ ${#missing[@]} -gt 0 ]; then
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO="sudo"
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -q
  $SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
# Dovecot's packaged service is not used: tests and the demo start their own
# instance on loopback from a private config.
if command -v systemctl >/dev/null 2>&1 && systemctl is-active --quiet dovecot 2>/dev/null; then
  systemctl stop dovecot || true
fi
