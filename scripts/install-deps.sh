#!/usr/bin/env bash
# Installs the Debian 12 packages and locales the project needs; only what is missing.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config git ca-certificates curl openssl
  libefl-all-dev zlib1g-dev libxml2-dev libssl-dev libcurl4-openssl-dev
  libboost-dev libboost-iostreams-dev libboost-date-time-dev libboost-thread-dev
  libgtest-dev libgmock-dev libbenchmark-dev gettext locales
  libsqlite3-dev sqlite3 gzip libpq-dev postgresql-15
  libsodium-dev libjs-chart.js chromium fonts-liberation python3-websocket
  xvfb openbox xcompmgr xdotool imagemagick x11-apps fonts-nanum fonts-noto-cjk fonts-dejavu-core
  valgrind python3 libx11-dev libxdamage-dev libxtst-dev
  clang libclang-rt-14-dev lld
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -q
  apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

# Locales of the translated menu languages, so the survey can switch to them.
for l in en_US de_DE fr_FR es_ES ko_KR it_IT nl_NL pl_PL pt_PT pt_BR sv_SE tr_TR ar_AE ja_JP zh_CN; do
  if ! locale -a 2>/dev/null | grep -qi "^${l}\.utf-\?8$"; then
    localedef -i "$l" -f UTF-8 "${l}.UTF-8"
  fi
done

