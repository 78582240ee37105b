#!/usr/bin/env bash
# Tries to install wine32, the 32-bit half of Debian's wine, which runs i686 Windows programs: adds the
# i386 architecture and installs wine32:i386, trying twice. Never fails: when wine32 cannot be had (an
# i386 package index that does not download, a mirror out of step with amd64, no i386 architecture at
# all) it says so plainly, removes again what it added (the i386 architecture and any i386 package it
# left behind, so that later apt-get runs of anyone on the machine work as before) and exits 0. The
# i686 code is then still run natively at -m32 by scripts/test-32bit.sh.
# Prints "wine32: ready" as its last line when /usr/lib/wine/wine can run 32-bit programs.
set -uo pipefail

sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
apt_options=(-o DPkg::Lock::Timeout=600 -qq)

if dpkg-query -W -f='${Status}' wine32:i386 2>/dev/null | grep -q "install ok installed"; then
  echo "wine32: ready"
  exit 0
fi
if [ "$(dpkg --print-architecture)" != amd64 ]; then
  echo "wine32: not tried: this is an $(dpkg --print-architecture) machine"
  exit 0
fi

added=0
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  $sudo dpkg --add-architecture i386
  added=1
fi

log=$(mktemp)
installed=0
for attempt in 1 2; do
  if $sudo apt-get "${apt_options[@]}" update >"$log" 2>&1 && ! grep -q '^[EW]: Failed to fetch' "$log" &&
    $sudo apt-get "${apt_options[@]}" install -y --no-install-recommends wine32:i386 >>"$log" 2>&1; then
    installed=1
    break
  fi
  echo "wine32: attempt $attempt failed: $(grep -E '^(E|W):' "$log" | head -n 2 | tr '\n' ' ')"
done

if [ "$installed" -eq 0 ]; then
  echo "wine32: cannot be installed here; the i686 DLL is not run under wine (its code runs natively at -m32)"
  if [ "$added" -eq 1 ]; then
    # Any i386 package an interrupted install left behind goes first; the architecture can then go.
    mapfile -t left < <(dpkg-query -W -f='${binary:Package} ${Status}\n' 2>/dev/null |
      awk '$1 ~ /:i386$/ && $NF != "not-installed" { print $1 }')
    if [ ${#left[@]} -gt 0 ]; then
      $sudo apt-get "${apt_options[@]}" purge -y "${left[@]}" >>"$log" 2>&1 ||
        $sudo dpkg --purge --force-depends "${left[@]}" >>"$log" 2>&1 || true
    fi
    if $sudo dpkg --remove-architecture i386; then
      echo "wine32: the i386 architecture is removed again"
    else
      echo "wine32: the i386 architecture could not be removed: $(dpkg --print-foreign-architectures | tr '\n' ' ')"
    fi
    $sudo apt-get "${apt_options[@]}" update >/dev/null 2>&1 || true
  fi
  rm -f "$log"
  exit 0
fi
rm -f "$log"
echo "wine32: ready"
