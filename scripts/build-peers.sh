#!/usr/bin/env bash
# Fetches the source of the benchmark peers that are rebuilt from Debian's source packages.
#
# Usage: scripts/build-peers.sh [build-dir]      (default: build)
#
# The packaged nayuki QR Code generator (libqrcodegencpp-dev) is compiled at -O1; the benchmark also
# compiles its source at -O2 and compares with the faster of the two. This script unpacks Debian's
# source package of the installed version into <build-dir>/peers/, where bench/CMakeLists.txt looks
# for it. It adds a deb-src entry for bookworm to the apt sources when none is present.
# Non-interactive and idempotent: an unpacked source is left alone. Peer code is never committed.
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir="${1:-build}"
peers_dir="$build_dir/peers"
source_package="qr-code-generator"

shopt -s nullglob
existing=("$peers_dir"/"$source_package"-*/cpp/qrcodegen.cpp)
if [ ${#existing[@]} -gt 0 ]; then
  echo "peer source present: ${existing[0]}"
  exit 0
fi

sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
export DEBIAN_FRONTEND=noninteractive

# A deb-src entry for bookworm, in either the one-line or the deb822 form of the apt sources.
has_deb_src() {
  local f
  for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
    [ -f "$f" ] && grep -Eq '^[[:space:]]*deb-src[[:space:]].*[[:space:]]bookworm([[:space:]]|$)' "$f" && return 0
  done
  for f in /etc/apt/sources.list.d/*.sources; do
    [ -f "$f" ] || continue
    # A stanza is a run of non-empty lines; it counts when it has deb-src among its types and
    # bookworm among its suites.
    awk 'BEGIN { RS = ""; found = 0 }
         /(^|\n)Types:[^\n]*deb-src/ && /(^|\n)Suites:[^\n]*bookworm([ \t\n]|$)/ { found = 1 }
         END { exit found ? 0 : 1 }' "$f" && return 0
  done
  return 1
}

if ! has_deb_src; then
  echo "adding a deb-src entry for bookworm: /etc/apt/sources.list.d/debian-src.sources"
  $sudo tee /etc/apt/sources.list.d/debian-src.sources >/dev/null <<'EOF'
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: bookworm bookworm-updates
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
EOF
  $sudo apt-get update -qq
elif ! apt-cache showsrc "$source_package" >/dev/null 2>&1; then
  $sudo apt-get update -qq
fi

command -v dpkg-source >/dev/null || $sudo apt-get install -y -qq --no-install-recommends dpkg-dev

# The version of the installed library, so that both builds of the peer are the same code.
version="$(dpkg-query -W -f='${source:Version}' libqrcodegencpp-dev 2>/dev/null || true)"
mkdir -p "$peers_dir"
(
  cd "$peers_dir"
  if [ -n "$version" ]; then
    apt-get source -qq "$source_package=$version" || true
  else
    apt-get source -qq "$source_package" || true
  fi
)
found=("$peers_dir"/"$source_package"-*/cpp/qrcodegen.cpp)
# Some mirrors serve the upstream tarball but not the Debian packaging layer, so apt-get source
# cannot unpack. The Debian layer holds only packaging; the C++ source is the upstream tarball, which
# apt has already checked against the source index. Unpack it by hand after checking it against the
# .dsc once more.
if [ ${#found[@]} -eq 0 ]; then
  dsc=("$peers_dir"/"$source_package"_*.dsc)
  orig=("$peers_dir"/"$source_package"_*.orig.tar.*)
  if [ ${#dsc[@]} -gt 0 ] && [ ${#orig[@]} -gt 0 ]; then
    name="$(basename "${orig[0]}")"
    want="$(awk -v f="$name" '/^Checksums-Sha256:/ { s = 1; next } /^[^ ]/ { s = 0 } s && $3 == f { print $1 }' "${dsc[0]}")"
    have="$(sha256sum "${orig[0]}" | cut -d' ' -f1)"
    if [ -z "$want" ] || [ "$want" != "$have" ]; then
      echo "checksum of $name does not match ${dsc[0]}" >&2
      exit 1
    fi
    upstream="${name#"$source_package"_}"
    upstream="${upstream%%.orig.tar.*}"
    target="$peers_dir/$source_package-$upstream"
    echo "unpacking the upstream tarball only: $name -> $target"
    rm -rf "$target.tmp"
    mkdir -p "$target.tmp"
    tar -xf "${orig[0]}" -C "$target.tmp" --strip-components=1
    mv "$target.tmp" "$target"
  fi
  found=("$peers_dir"/"$source_package"-*/cpp/qrcodegen.cpp)
fi
if [ ${#found[@]} -eq 0 ]; then
  echo "no qrcodegen.cpp in the unpacked source under $peers_dir" >&2
  exit 1
fi
echo "peer source unpacked: ${found[0]}"
