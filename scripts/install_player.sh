#!/usr/bin/env bash
# Fetches the preview's player (the self-hosted Ruffle build from npm) into a cache folder that
# every build of this checkout copies from. Nothing of it goes into the repository.
# The folder: $TROVEX_PLAYER_CACHE, else .player-cache/ beside the build folders (git ignores
# /build*/, so it lives under build/).
set -euo pipefail

VERSION=0.6.0
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cache=${TROVEX_PLAYER_CACHE:-$here/build/player-cache}
dest=$cache/$VERSION

if [ -f "$dest/ruffle.js" ] && ls "$dest"/*.wasm >/dev/null 2>&1; then
  echo "install_player: Ruffle $VERSION already in $dest"
  exit 0
fi
if ! command -v npm >/dev/null 2>&1; then
  echo "install_player: npm is missing; the preview will show that its player is missing" >&2
  exit 1
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# npm pack fetches the exact tarball without running any package script.
if ! (cd "$work" && npm pack --silent "@ruffle-rs/ruffle@$VERSION" >/dev/null); then
  echo "install_player: could not fetch @ruffle-rs/ruffle@$VERSION with npm (offline, or no registry access)" >&2
  exit 1
fi
tar -xzf "$work"/ruffle-rs-ruffle-"$VERSION".tgz -C "$work"
pkg=$work/package
if [ ! -f "$pkg/ruffle.js" ] || ! ls "$pkg"/*.wasm >/dev/null 2>&1; then
  echo "install_player: the package has no ruffle.js or .wasm file" >&2
  exit 1
fi
mkdir -p "$cache"
rm -rf "$dest.tmp"
mkdir "$dest.tmp"
cp "$pkg"/*.js "$pkg"/*.wasm "$dest.tmp"/
[ -f "$pkg/LICENSE.md" ] && cp "$pkg"/LICENSE* "$dest.tmp"/ || true
rm -rf "$dest"
mv "$dest.tmp" "$dest"
echo "install_player: Ruffle $VERSION in $dest"
