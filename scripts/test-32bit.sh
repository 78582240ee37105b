#!/usr/bin/env bash
# The native 32-bit x86 build and test run: libqrkit.so, the qrkit tool and the whole test suite built
# with -m32 (cmake/toolchain-i386-linux.cmake), where the exports are stdcall as on 32-bit Windows; then
# every export called by name through 32-bit stdcall calls that check the stack (tests/abi), with every
# result and every byte compared with the 64-bit build's.
#
# Debian's i386 packages cannot be installed beside the amd64 ones on every machine, so the libraries are
# built here, statically, from Debian's source packages: zlib, libpng, zbar, the nayuki QR Code generator
# (a test reference) and, when its source can be had, zxing-cpp; GoogleTest from /usr/src/googletest;
# Boost is headers only. Without zxing-cpp the tests' zxing-cpp decodes are answered from a 64-bit run of
# the same tests (tests/support/decode_record.h): each symbol must then equal, byte for byte, one that the
# 64-bit run decoded.
#
# On a machine that cannot execute 32-bit x86 programs the script says so and exits 0 without testing.
# Exits non-zero when a build, a test or a comparison fails. Idempotent: sources, libraries and builds
# already made are reused. Everything goes under build-i386/ (QRKIT_I386_BUILD overrides it); the 64-bit
# build compared with is build/ (QRKIT_64BIT_BUILD), configured here when it does not exist yet.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
out=${QRKIT_I386_BUILD:-$root/build-i386}
build64=${QRKIT_64BIT_BUILD:-$root/build}
jobs=$(nproc)
deps=$out/deps
src=$out/src
toolchain=$root/cmake/toolchain-i386-linux.cmake
mkdir -p "$out"

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

# Runs a command with its output in a log file, shown only when it fails.
quiet() {
  local log=$1
  shift
  if ! "$@" >"$log" 2>&1; then
    tail -n 40 "$log" >&2
    echo "failed: $* (log: $log)" >&2
    return 1
  fi
}

# ---- Can this machine build and run 32-bit x86 programs? --------------------------------------------
step "32-bit probe"
case $(uname -m) in
  x86_64 | i?86) ;;
  *)
    echo "SKIPPED: the 32-bit x86 tests: this is a $(uname -m) machine, which runs no x86 code"
    exit 0
    ;;
esac
mkdir -p "$out/probe"
cat >"$out/probe/probe.cpp" <<'EOF'
#include <cstdio>
#include <thread>
int main() {
    int width = 0;
    std::thread t([&] { width = static_cast<int>(8 * sizeof(void*)); });
    t.join();
    std::printf("%d\n", width);
    return width == 32 ? 0 : 1;
}
EOF
if ! g++ -m32 -pthread "$out/probe/probe.cpp" -o "$out/probe/probe" 2>"$out/probe/compile.log"; then
  cat "$out/probe/compile.log" >&2
  echo "FAIL: g++ -m32 cannot build a 32-bit program (scripts/install-deps.sh installs g++-multilib)" >&2
  exit 1
fi
if ! probe_output=$("$out/probe/probe" 2>&1); then
  echo "SKIPPED: the 32-bit x86 tests: this machine does not execute 32-bit programs ($probe_output)"
  exit 0
fi
echo "32-bit programs run here"

# ---- Sources ----------------------------------------------------------------------------------------
step "sources"
source_of() { "$root/scripts/debian-source.sh" "$src" "$1"; }
zlib_src=$(source_of zlib)
png_src=$(source_of libpng1.6)
zbar_src=$(source_of zbar)
qrcodegen_src=$(source_of qr-code-generator)
zxing_src=""
if ! zxing_src=$(source_of zxing-cpp 2>"$src/zxing-cpp.log"); then
  zxing_src=""
  echo "zxing-cpp: its source package cannot be had here ($(tail -n 1 "$src/zxing-cpp.log"))"
fi

# ---- Static i386 libraries ----------------------------------------------------------------------------
step "i386 libraries"
mkdir -p "$deps/lib/pkgconfig" "$deps/include" "$out/logs"
logs=$out/logs
# pkg-config sees only the i386 libraries; the toolchain finds them through QRKIT_I386_DEPS, also in
# the projects that the build's own checks configure.
export PKG_CONFIG_LIBDIR=$deps/lib/pkgconfig PKG_CONFIG_PATH="" QRKIT_I386_DEPS=$deps
cmake_i386=(-G Ninja -Wno-dev -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DQRKIT_I386_DEPS="$deps"
  -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$deps" -DCMAKE_POSITION_INDEPENDENT_CODE=ON)

if [ ! -f "$deps/lib/libz.a" ]; then
  (cd "$zlib_src" && quiet "$logs/zlib.log" env CC="gcc -m32" CFLAGS="-O2 -fPIC" ./configure --static \
    --prefix="$deps" && quiet "$logs/zlib-make.log" make -j "$jobs" libz.a &&
    quiet "$logs/zlib-install.log" make install)
fi
if [ ! -f "$deps/lib/libpng16.a" ]; then
  quiet "$logs/libpng.log" cmake -S "$png_src" -B "$out/libpng" "${cmake_i386[@]}" -DPNG_SHARED=OFF \
    -DPNG_STATIC=ON -DPNG_TESTS=OFF -DPNG_EXECUTABLES=OFF -DZLIB_LIBRARY="$deps/lib/libz.a" \
    -DZLIB_INCLUDE_DIR="$deps/include"
  quiet "$logs/libpng-build.log" cmake --build "$out/libpng" -j "$jobs"
  quiet "$logs/libpng-install.log" cmake --install "$out/libpng"
fi
if [ ! -f "$deps/lib/libgtest.a" ]; then
  quiet "$logs/googletest.log" cmake -S /usr/src/googletest -B "$out/googletest" "${cmake_i386[@]}" \
    -DBUILD_GMOCK=OFF -DINSTALL_GTEST=ON
  quiet "$logs/googletest-build.log" cmake --build "$out/googletest" -j "$jobs"
  quiet "$logs/googletest-install.log" cmake --install "$out/googletest"
fi
if [ ! -f "$deps/lib/libzbar.a" ]; then
  # The reader library only: no video, no image files, no language bindings.
  (cd "$zbar_src" && quiet "$logs/zbar-autoreconf.log" autoreconf -fi &&
    quiet "$logs/zbar-configure.log" env CC="gcc -m32" CXX="g++ -m32" ./configure --prefix="$deps" \
      --host=i686-linux-gnu --build=x86_64-linux-gnu --enable-static --disable-shared --with-pic \
      --disable-video --disable-doc --disable-nls --without-x --without-xshm --without-xv --without-dbus \
      --without-jpeg --without-imagemagick --without-gtk --without-gir --without-python --without-qt \
      --without-qt5 --without-java &&
    quiet "$logs/zbar-make.log" make -j "$jobs" && quiet "$logs/zbar-install.log" make install)
fi
if [ ! -f "$deps/lib/libqrcodegencpp.a" ]; then
  mkdir -p "$out/qrcodegen" "$deps/include/qrcodegen"
  quiet "$logs/qrcodegen.log" g++ -m32 -std=c++17 -O2 -fPIC -c "$qrcodegen_src/cpp/qrcodegen.cpp" \
    -o "$out/qrcodegen/qrcodegen.o"
  cp "$qrcodegen_src/cpp/qrcodegen.hpp" "$deps/include/qrcodegen/"
  ar rcs "$deps/lib/libqrcodegencpp.a" "$out/qrcodegen/qrcodegen.o"
  cat >"$deps/lib/pkgconfig/qrcodegencpp.pc" <<EOF
prefix=$deps
libdir=\${prefix}/lib
includedir=\${prefix}/include/qrcodegen

Name: qrcodegencpp
Description: QR Code generator library, C++ version, built for i386
Version: 1.8.0
Libs: -L\${libdir} -lqrcodegencpp
Cflags: -I\${includedir}
EOF
fi
replay_zxing=ON
if [ -f "$deps/lib/cmake/ZXing/ZXingConfig.cmake" ]; then
  replay_zxing=OFF
elif [ -n "$zxing_src" ]; then
  # The readers only, without examples, tests or bindings.
  if quiet "$logs/zxing.log" cmake -S "$zxing_src" -B "$out/zxing" "${cmake_i386[@]}" -DBUILD_SHARED_LIBS=OFF \
      -DBUILD_READERS=ON -DBUILD_WRITERS=OFF -DBUILD_EXAMPLES=OFF -DBUILD_BLACKBOX_TESTS=OFF \
      -DBUILD_UNIT_TESTS=OFF -DBUILD_PYTHON_MODULE=OFF &&
    quiet "$logs/zxing-build.log" cmake --build "$out/zxing" -j "$jobs" &&
    quiet "$logs/zxing-install.log" cmake --install "$out/zxing"; then
    replay_zxing=OFF
  else
    echo "zxing-cpp: it does not build for i386 here (log: $logs/zxing*.log)"
  fi
fi
if [ "$replay_zxing" = ON ]; then
  echo "zxing-cpp: not built for i386; its decodes are answered from the 64-bit run of the tests, for"
  echo "  symbols equal byte for byte to those the 64-bit run decoded, and the tool has no --verify"
fi

# The font set in text engines is left out at 32 bits: the engines and the readers of their pictures are
# the machine's own 64-bit programs, and the font strings they set are the same bytes at both widths,
# which the font string and export-call tests compare.
font_engines='FontEngine.*'

# ---- The 64-bit build compared with --------------------------------------------------------------------
step "64-bit build"
if [ ! -f "$build64/CMakeCache.txt" ]; then
  (unset PKG_CONFIG_LIBDIR PKG_CONFIG_PATH QRKIT_I386_DEPS &&
    quiet "$logs/build64.log" cmake -S . -B "$build64" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQRKIT_BENCH=OFF \
      -DQRKIT_WERROR=ON)
fi
(unset PKG_CONFIG_LIBDIR PKG_CONFIG_PATH QRKIT_I386_DEPS &&
  quiet "$logs/build64-build.log" cmake --build "$build64" -j "$jobs" --target qrkit qrkit_cli qrkit_tests)
decodes64=$out/decodes-64bit
if [ "$replay_zxing" = ON ]; then
  # The 64-bit suite once, in one process, recording every decode.
  rm -rf "$decodes64"
  mkdir -p "$decodes64"
  if ! (cd "$build64/tests" && QRKIT_DECODE_RECORD=$decodes64 ./qrkit_tests --gtest_filter="-$font_engines" \
    >"$logs/tests64.log" 2>&1); then
    echo "note: the 64-bit run had failures (log: $logs/tests64.log); its decodes are recorded all the same:"
    grep -E '^\[  FAILED  \] [^ ]+$' "$logs/tests64.log" | sed 's/^/  /' || true
  fi
  echo "$(cat "$decodes64"/*.txt | wc -l) decodes recorded"
fi

# ---- The i386 build ------------------------------------------------------------------------------------
step "i386 build"
quiet "$logs/qrkit-configure.log" cmake -S . -B "$out/qrkit" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
  -DQRKIT_I386_DEPS="$deps" -DCMAKE_BUILD_TYPE=Release -DQRKIT_BENCH=OFF -DQRKIT_WERROR=ON \
  -DQRKIT_TEST_ZXING_REPLAY=$replay_zxing -DPNG_LIBRARY="$deps/lib/libpng16.a" \
  -DPNG_PNG_INCLUDE_DIR="$deps/include" -DZLIB_LIBRARY="$deps/lib/libz.a" -DZLIB_INCLUDE_DIR="$deps/include" \
  -DGTest_DIR="$deps/lib/cmake/GTest"
cmake --build "$out/qrkit" -j "$jobs"
readelf -h "$out/qrkit/libqrkit.so.0" | grep -q 'Machine:.*80386' || {
  echo "FAIL: libqrkit.so is not a 32-bit x86 library" >&2
  exit 1
}

failures=0

# ---- The test suite at 32 bits -------------------------------------------------------------------------
step "i386 tests"
if ! QRKIT_DECODE_REPLAY=$decodes64 ctest --test-dir "$out/qrkit" --output-on-failure -j "$jobs" \
    -E "^${font_engines%\*}" \
    >"$logs/tests32.log" 2>&1; then
  failures=$((failures + 1))
  grep -E 'tests passed|Failed|\*\*\*' "$logs/tests32.log" >&2 || true
  echo "FAIL: the 32-bit test suite (log: $logs/tests32.log)" >&2
else
  grep 'tests passed' "$logs/tests32.log"
fi

# ---- Every export through 32-bit stdcall calls, compared with the 64-bit build ------------------------
step "export calls"
calls=$root/tests/abi/export_calls.cpp
flags=(-std=c++17 -O2 -Wall -Wextra -Werror -I"$root")
quiet "$logs/export-calls32.log" g++ -m32 "${flags[@]}" "$calls" -ldl -o "$out/export_calls32"
quiet "$logs/export-calls64.log" g++ "${flags[@]}" "$calls" -ldl -o "$out/export_calls64"
rm -rf "$out/calls32" "$out/calls64"
mkdir -p "$out/calls32" "$out/calls64"
if ! "$out/export_calls32" "$out/qrkit/libqrkit.so.0" "$out/calls32"; then
  failures=$((failures + 1))
  echo "FAIL: export calls at 32 bits" >&2
fi
if ! "$out/export_calls64" "$build64/libqrkit.so.0" "$out/calls64"; then
  failures=$((failures + 1))
  echo "FAIL: export calls at 64 bits" >&2
fi
if diff -r "$out/calls64" "$out/calls32" >"$logs/export-calls.diff"; then
  echo "ok: $(wc -l <"$out/calls32/transcript.txt") results and $(find "$out/calls32" -type f ! -name transcript.txt | wc -l) output files equal to the 64-bit build's"
else
  failures=$((failures + 1))
  head -n 40 "$logs/export-calls.diff" >&2
  echo "FAIL: the 32-bit exports gave other results than the 64-bit ones (diff: $logs/export-calls.diff)" >&2
fi
# Every function the library exports is among those called.
exported=$(nm -D --defined-only "$out/qrkit/libqrkit.so.0" | awk '$2 == "T" { print $3 }' | sort)
called=$(grep -o 'CALL([A-Z][A-Za-z_0-9]*' "$calls" | sed 's/CALL(//' | sort -u)
if [ "$exported" != "$called" ]; then
  failures=$((failures + 1))
  echo "FAIL: exported but not called, or called but not exported:" >&2
  diff <(printf '%s\n' "$exported") <(printf '%s\n' "$called") >&2 || true
else
  echo "ok: every one of the $(printf '%s\n' "$exported" | wc -l) exports is called"
fi

step ""
printf '== total: %ds\n' $((SECONDS - started))
if [ "$failures" -ne 0 ]; then
  echo "$failures 32-bit check(s) failed" >&2
  exit 1
fi
echo "32-bit build, tests and export calls: all passed"
