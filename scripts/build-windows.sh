#!/usr/bin/env bash
# Cross-builds qrkit.dll for 32-bit (i686) and 64-bit (x86_64) Windows with Debian's mingw-w64
# compilers, runs the Windows tests on the 64-bit build under wine64 and on the 32-bit build under wine32
# where wine32 installs (scripts/install-wine32.sh tries; where it cannot, the step says so and is
# skipped), and checks the export and import tables of both DLLs. Works from a fresh Debian 12 machine
# and is idempotent: what is already installed, downloaded or built is reused. Exits non-zero when any
# step, test or check fails.
# The x86_64 build also makes qrkitufl.dll, the COM formula server, whose type library widl compiles
# against the .idl files of Debian's mingw-w64 source package (src/mingw-w64-idl), and its test program
# qrkitufl_tests.exe.
#
# Everything it downloads or builds goes under the build folder (default build-windows/ in the source
# tree; QRKIT_WINDOWS_BUILD overrides it):
#   src/                       Debian's libpng source package
#   <triplet>/deps/            static libpng and GoogleTest built for Windows
#   <triplet>/qrkit/           the qrkit build: qrkit.dll, the qrkit QR font (qrkit-qr.ttf, OFL.txt) and
#                              qrkit_windows_tests.exe
#   wine/                      the private wine prefix of the test run (64-bit, with 32-bit support
#                              once wine32 is installed)
#
# Options: --no-install skips the apt step (the packages must then be present); arguments after --
# go to the test program (e.g. -- --gtest_filter='Paint.*').
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
out=${QRKIT_WINDOWS_BUILD:-$root/build-windows}
jobs=2
install=1
test_args=()
while [ $# -gt 0 ]; do
  case $1 in
    --no-install) install=0 ;;
    --) shift; test_args=("$@"); break ;;
    *) echo "usage: $0 [--no-install] [-- test program arguments]" >&2; exit 2 ;;
  esac
  shift
done

wine=/usr/lib/wine/wine64
wine32=/usr/lib/wine/wine
wineserver=/usr/lib/wine/wineserver
triplets=(i686-w64-mingw32 x86_64-w64-mingw32)

started=$SECONDS
step_start=$SECONDS
step() {
  local now=$SECONDS
  [ -n "${step_name:-}" ] && printf '== %s: %ds\n' "$step_name" $((now - step_start))
  step_name=$1
  step_start=$now
  [ -n "$step_name" ] && printf '== %s\n' "$step_name"
  return 0
}

sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"

# ---- Packages -------------------------------------------------------------------------------------
step "packages"
if [ "$install" -eq 1 ]; then
  packages=(
    g++-mingw-w64-i686 g++-mingw-w64-x86-64 mingw-w64-tools libz-mingw-w64-dev wine64
    googletest libboost-dev libboost-thread-dev libboost-iostreams-dev
    cmake ninja-build dpkg-dev python3-pytest python3-fonttools python3-brotli
  )
  missing=()
  for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  # apt-get source needs a deb-src line for the release.
  need_update=0
  if ! grep -Eqs '^(deb-src|Types:.*deb-src)' /etc/apt/sources.list /etc/apt/sources.list.d/*.list \
      /etc/apt/sources.list.d/*.sources; then
    printf 'Types: deb-src\nURIs: http://deb.debian.org/debian\nSuites: bookworm bookworm-updates\nComponents: main\nSigned-By: /usr/share/keyrings/debian-archive-keyring.gpg\n' |
      $sudo tee /etc/apt/sources.list.d/qrkit-deb-src.sources >/dev/null
    need_update=1
  fi
  apt-cache showsrc libpng1.6 2>/dev/null | grep -q '^Package:' || need_update=1
  [ ${#missing[@]} -gt 0 ] && need_update=1
  export DEBIAN_FRONTEND=noninteractive
  [ "$need_update" -eq 1 ] && $sudo apt-get update -qq
  if [ ${#missing[@]} -gt 0 ]; then
    $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
  fi
  # wine32 for the i686 tests: tried, and everything undone again when it cannot be had.
  "$root/scripts/install-wine32.sh"
fi

# ---- libpng, from Debian's source package ----------------------------------------------------------
step "libpng"
mkdir -p "$out/src"
png_src=$(find "$out/src" -maxdepth 1 -type d -name 'libpng1.6-*' | head -n 1)
if [ -z "$png_src" ]; then
  if ! (cd "$out/src" && apt-get source -qq libpng1.6 >apt-source.log 2>&1); then
    cat "$out/src/apt-source.log" >&2
    exit 1
  fi
  png_src=$(find "$out/src" -maxdepth 1 -type d -name 'libpng1.6-*' | head -n 1)
fi
[ -n "$png_src" ] || { echo "libpng source not found" >&2; exit 1; }

for t in "${triplets[@]}"; do
  deps=$out/$t/deps
  if [ ! -f "$deps/lib/libpng16.a" ]; then
    cmake -S "$png_src" -B "$out/$t/libpng" -G Ninja -Wno-dev \
      -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-$t.cmake" -DCMAKE_BUILD_TYPE=Release \
      -DCMAKE_INSTALL_PREFIX="$deps" -DPNG_SHARED=OFF -DPNG_STATIC=ON -DPNG_TESTS=OFF \
      -DPNG_EXECUTABLES=OFF -DZLIB_LIBRARY="/usr/$t/lib/libz.a" -DZLIB_INCLUDE_DIR="/usr/$t/include" \
      >/dev/null
    cmake --build "$out/$t/libpng" -j "$jobs" >/dev/null
    cmake --install "$out/$t/libpng" >/dev/null
  fi
done

# ---- The Windows SDK's .idl files, for the type library of qrkitufl.dll --------------------------------
step "idl files"
idl_dir=$out/src/mingw-w64-idl
if [ ! -f "$idl_dir/oaidl.idl" ]; then
  (cd "$out/src" && apt-get source --download-only -qq mingw-w64 >/dev/null 2>&1)
  mingw_src=$(find "$out/src" -maxdepth 1 -name 'mingw-w64_*.orig.tar.*' ! -name '*.asc' | head -n 1)
  [ -n "$mingw_src" ] || { echo "mingw-w64 source not found" >&2; exit 1; }
  mkdir -p "$idl_dir"
  tar -xf "$mingw_src" -C "$idl_dir" --wildcards --strip-components=3 '*/mingw-w64-headers/include/*.idl'
fi

# ---- GoogleTest for the test programs -------------------------------------------------------------
step "googletest"
for t in "${triplets[@]}"; do
  deps=$out/$t/deps
  if [ ! -f "$deps/lib/libgtest.a" ]; then
    cmake -S /usr/src/googletest -B "$out/$t/googletest" -G Ninja -Wno-dev \
      -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-$t.cmake" -DCMAKE_BUILD_TYPE=Release \
      -DCMAKE_INSTALL_PREFIX="$deps" -DBUILD_GMOCK=OFF -DINSTALL_GTEST=ON >/dev/null
    cmake --build "$out/$t/googletest" -j "$jobs" >/dev/null
    cmake --install "$out/$t/googletest" >/dev/null
  fi
done

# ---- qrkit.dll ---------------------------------------------------------------------------------
step "qrkit.dll"
for t in "${triplets[@]}"; do
  deps=$out/$t/deps
  cmake -S "$root" -B "$out/$t/qrkit" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-$t.cmake" -DCMAKE_BUILD_TYPE=Release \
    -DQRKIT_WINDOWS_DEPS="$deps" -DQRKIT_TESTS=ON -DQRKIT_BENCH=OFF -DQRKIT_WERROR=ON \
    -DPNG_LIBRARY="$deps/lib/libpng16.a" -DPNG_PNG_INCLUDE_DIR="$deps/include" \
    -DZLIB_LIBRARY="/usr/$t/lib/libz.a" -DZLIB_INCLUDE_DIR="/usr/$t/include" \
    -DGTest_DIR="$deps/lib/cmake/GTest" -DQRKIT_IDL_DIR="$idl_dir" >/dev/null
  cmake --build "$out/$t/qrkit" -j "$jobs"
done

failures=0

# ---- Export and import tables ----------------------------------------------------------------------
step "export tables"
# Every export of qrkit.dll, at its ordinal.
expected_exports="QRCodeEncode 30
HIBC_QRCodeEncode 31
QRCodeResultGetVersion 32
QRCodeResultGetBarcodeString 36
DestroyQRCodeEncodeResult 37
PaintQRCodeImageRaster 38
PaintQRCodeImageVector 39
PaintQRCodeImageRaster2 40
PaintQRCodeImageVector2 41
PaintQRCodeImageEMF 43
QRCodeGetErrorMessage 44
QRCodeEncode2 45
QRCodeResultGetBarcodeString2 46
PaintQRCodeImageClipboard 47
HIBC_QRCodeEncode2 50
MicroQRCodeEncode 60
MicroQRCodeEncode2 61
QRCodeGetParity 62
QRCodeEncode2W 70
QRCodeEncodeOptimal 71
MicroQRCodeEncodeOptimal 72"
allowed_imports="gdi32.dll kernel32.dll msvcrt.dll ole32.dll oleaut32.dll user32.dll"
for t in "${triplets[@]}"; do
  dll=$out/$t/qrkit/qrkit.dll
  if ! "$root/scripts/check-dll-exports.sh" "$t-objdump" "$dll" "$expected_exports" "$allowed_imports"; then
    failures=$((failures + 1))
  fi
done

# Every export of the 32-bit DLL is a stdcall function: its object symbol carries the @n decoration.
t=i686-w64-mingw32
symbols=$("$t-nm" "$out/$t/qrkit/CMakeFiles/qrkit.dir/qrkit/"*.obj | awk '$2 == "T" { print $3 }')
not_stdcall=""
while read -r name _; do
  printf '%s\n' "$symbols" | grep -Eq "^_${name}@[0-9]+$" || not_stdcall="$not_stdcall $name"
done <<< "$expected_exports"
if [ -n "$not_stdcall" ]; then
  echo "FAIL $t: not stdcall:$not_stdcall" >&2
  failures=$((failures + 1))
else
  echo "ok $t: every export is stdcall"
fi

# The qrkit QR font and its licence beside the DLLs of both builds.
for t in "${triplets[@]}"; do
  if [ -s "$out/$t/qrkit/qrkit-qr.ttf" ] && [ -s "$out/$t/qrkit/OFL.txt" ]; then
    echo "ok $t: qrkit-qr.ttf and OFL.txt beside the DLLs"
  else
    echo "FAIL $t: qrkit-qr.ttf or OFL.txt missing beside the DLLs" >&2
    failures=$((failures + 1))
  fi
done

# qrkitufl.dll (x86_64 only): the four COM server exports at ordinals 1 to 4.
expected_ufl_exports="DllRegisterServer 1
DllUnregisterServer 2
DllCanUnloadNow 3
DllGetClassObject 4"
allowed_ufl_imports="advapi32.dll kernel32.dll msvcrt.dll ole32.dll oleaut32.dll"
if ! "$root/scripts/check-dll-exports.sh" x86_64-w64-mingw32-objdump \
    "$out/x86_64-w64-mingw32/qrkit/qrkitufl.dll" "$expected_ufl_exports" "$allowed_ufl_imports"; then
  failures=$((failures + 1))
fi

# The VBA module's Declares and the C# P/Invoke declarations name exports of both DLLs.
step "kit declarations"
dlls=""
for t in "${triplets[@]}"; do
  dlls="$dlls${dlls:+:}$t-objdump=$out/$t/qrkit/qrkit.dll"
done
if ! QRKIT_DLLS="$dlls" /usr/bin/python3 -m pytest -q -p no:cacheprovider "$root/bindings/vba/tests" \
    "$root/bindings/dotnet/tests/test_declarations.py"; then
  failures=$((failures + 1))
  echo "kit declarations differ from the DLLs' export tables" >&2
fi

# ---- Windows tests under wine64 -------------------------------------------------------------------
step "wine tests"
export WINEPREFIX=$out/wine
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEARCH=win64
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  timeout 300 "$wine" wineboot -i >/dev/null 2>&1 </dev/null || true
  timeout 120 "$wineserver" -w || true
fi
# One server for the whole run, started here and ended here; wine's helper processes then do not
# hold the test's output open. (A server still running on this private prefix is left from an
# interrupted run of this script, and is reused and ended too.)
"$wineserver" -p >/dev/null 2>&1 </dev/null || true
trap '"$wineserver" -k >/dev/null 2>&1 || true' EXIT
"$wine" wineboot >/dev/null 2>&1 </dev/null || true
if ! (cd "$out/x86_64-w64-mingw32/qrkit" && timeout 900 "$wine" qrkit_windows_tests.exe ${test_args[@]+"${test_args[@]}"} 2>&1 </dev/null | tr -d '\r'; exit "${PIPESTATUS[0]}"); then
  failures=$((failures + 1))
  echo "Windows tests FAILED" >&2
fi
if ! (cd "$out/x86_64-w64-mingw32/qrkit" && timeout 300 "$wine" qrkitufl_tests.exe 2>&1 </dev/null | tr -d '\r'; exit "${PIPESTATUS[0]}"); then
  failures=$((failures + 1))
  echo "qrkitufl tests FAILED" >&2
fi

# The i686 DLL and its test program under wine32, in the same prefix (wine runs 32-bit programs beside
# 64-bit ones there once wine32 is installed).
step "wine32 tests"
if [ -x "$wine32" ] && dpkg-query -W -f='${Status}' wine32:i386 2>/dev/null | grep -q "install ok installed"; then
  timeout 300 "$wine32" wineboot -u >/dev/null 2>&1 </dev/null || true
  if ! (cd "$out/i686-w64-mingw32/qrkit" && timeout 900 "$wine32" qrkit_windows_tests.exe ${test_args[@]+"${test_args[@]}"} 2>&1 </dev/null | tr -d '\r'; exit "${PIPESTATUS[0]}"); then
    failures=$((failures + 1))
    echo "Windows tests of the i686 DLL FAILED" >&2
  fi
else
  echo "SKIPPED: the i686 DLL under wine32: wine32 is not installed here (scripts/install-wine32.sh says why);"
  echo "  its code runs natively at -m32 in scripts/test-32bit.sh, and the folder"
  echo "  $out/i686-w64-mingw32/qrkit holds its test program for a 32-bit Windows machine"
fi
"$wineserver" -k >/dev/null 2>&1 || true
trap - EXIT

step ""
printf '== total: %ds\n' $((SECONDS - started))
if [ "$failures" -ne 0 ]; then
  echo "$failures Windows check(s) failed" >&2
  exit 1
fi
echo "Windows build, export tables and tests: all passed"
