#!/usr/bin/env bash
# Fetches and unpacks Debian's source package of PACKAGE into FOLDER (apt-get source needs a deb-src line
# for the release; one is added, with an index update, when none exists) and prints the unpacked tree's
# path. Idempotent: an unpacked tree already in FOLDER is reused.
#   debian-source.sh FOLDER PACKAGE
# The tree has Debian's patches applied. When only the upstream tarball can be had (a mirror without the
# Debian part), the upstream tree is unpacked instead and a note says so on standard error. Exits 1,
# saying why, when the source cannot be had at all.
set -euo pipefail
folder=$1
package=$2
mkdir -p "$folder"
cd "$folder"

# The tree of an earlier run: the folder named after the package and its upstream version.
existing=$(find . -maxdepth 1 -type f -name "${package}_*.dsc" | head -n 1)
if [ -n "$existing" ] && [ -f "$existing.tree" ] && [ -d "$(cat "$existing.tree")" ]; then
  realpath "$(cat "$existing.tree")"
  exit 0
fi

sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
if ! grep -Eqs '^(deb-src|Types:.*deb-src)' /etc/apt/sources.list /etc/apt/sources.list.d/*.list \
    /etc/apt/sources.list.d/*.sources; then
  printf 'Types: deb-src\nURIs: http://deb.debian.org/debian\nSuites: bookworm bookworm-updates\nComponents: main\nSigned-By: /usr/share/keyrings/debian-archive-keyring.gpg\n' |
    $sudo tee /etc/apt/sources.list.d/qrkit-deb-src.sources >/dev/null
  $sudo apt-get update -qq >&2
fi
if ! apt-cache showsrc "$package" 2>/dev/null | grep -q '^Package:'; then
  $sudo apt-get update -qq >&2 || true
fi

# Every file of the package that the mirror has; a missing one is reported by apt-get and judged below.
apt-get source --download-only -qq "$package" >apt-source-"$package".log 2>&1 || true
dsc=$(find . -maxdepth 1 -type f -name "${package}_*.dsc" | sort | tail -n 1)
if [ -z "$dsc" ]; then
  cat apt-source-"$package".log >&2
  echo "debian-source.sh: no source package $package" >&2
  exit 1
fi
version=$(sed -n 's/^Version: \(.*\)$/\1/p' "$dsc" | head -n 1)
upstream=${version#*:}
upstream=${upstream%-*}
tree="$package-$upstream"

rm -rf "$tree"
if dpkg-source -x "$dsc" "$tree" >dpkg-source-"$package".log 2>&1; then
  :
else
  orig=$(find . -maxdepth 1 -type f -name "${package}_${upstream}.orig.tar.*" ! -name '*.asc' | head -n 1)
  if [ -z "$orig" ]; then
    cat apt-source-"$package".log >&2
    echo "debian-source.sh: the source of $package cannot be had from the mirror" >&2
    exit 1
  fi
  echo "debian-source.sh: $package: the Debian part is missing from the mirror; using the upstream tarball" >&2
  mkdir -p "$tree"
  tar -xf "$orig" -C "$tree" --strip-components=1
fi
printf '%s\n' "$tree" >"$dsc.tree"
realpath "$tree"
