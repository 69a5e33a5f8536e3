#!/usr/bin/env bash
# Installs every Debian package the project needs and the Big5 locale the tests use.
# Idempotent and non-interactive; run as root (or through sudo).
set -euo pipefail

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi

PACKAGES=(
  build-essential cmake pkg-config git
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  libwxgtk3.2-dev libwxgtk-webview3.2-dev libgtk-3-dev
  libcurl4-openssl-dev libgumbo-dev duktape-dev zlib1g-dev liblzma-dev libzstd-dev libbrotli-dev
  openssl ca-certificates libssl-dev
  clang libclang-rt-14-dev
  xdg-user-dirs adwaita-icon-theme hicolor-icon-theme
  locales
  xvfb xauth x11-utils imagemagick openbox wx3.2-i18n
  fonts-noto-cjk
  python3 ccache nlohmann-json3-dev
  dpkg-dev lintian file wget wget2 nginx-light parallel jq
  chromium firefox-esr xdotool
)

missing=()
for p in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ "${#missing[@]}" -gt 0 ]; then
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -q
  $SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

# The text layer is tested under a double-byte code page as well as UTF-8.
if ! locale -a 2>/dev/null | grep -qi '^zh_TW\.big5$'; then
  $SUDO localedef -i zh_TW -f BIG5 zh_TW.BIG5 || {
    # Minimal images lack the locale sources; the locales package brings them.
    $SUDO apt-get install -y -q locales && $SUDO localedef -i zh_TW -f BIG5 zh_TW.BIG5
  }
fi
if ! locale -a 2>/dev/null | grep -qi '^zh_TW\.utf8$'; then
  $SUDO localedef -i zh_TW -f UTF-8 zh_TW.UTF-8 || true
fi
# The preview's player comes from the npm registry, into the build, never into the repository.
if ! command -v npm >/dev/null 2>&1; then
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get install -y -q --no-install-recommends nodejs npm
fi
if [ -f "$(dirname "${BASH_SOURCE[0]}")/install_player.sh" ]; then
  bash "$(dirname "${BASH_SOURCE[0]}")/install_player.sh"
fi
echo "setup: all packages present"
