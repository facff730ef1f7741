#!/bin/sh
# Sets up a Debian 12 machine for Tolvane, builds it, and runs it or its tests.
#   ./build.sh run        install what is missing, build, start Tolvane
#   ./build.sh test       install what is missing, build, run every test
#   ./build.sh sanitize   build and run the engine's tests under ASan and UBSan
#   ./build.sh bench      build and run the benchmarks
set -eu
cd "$(dirname "$0")"

PACKAGES="cmake ninja-build g++ pkg-config qt6-base-dev qt6-translations-l10n libgl-dev libgtest-dev libgmock-dev libbenchmark-dev \
fonts-ipafont-gothic xvfb xauth xdotool x11-apps imagemagick"

install_missing() {
    missing=""
    for p in $PACKAGES; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
    done
    [ -z "$missing" ] && return 0
    SUDO=""
    [ "$(id -u)" -ne 0 ] && SUDO=sudo
    echo "Installing:$missing"
    $SUDO env DEBIAN_FRONTEND=noninteractive apt-get update -qq </dev/null
    # shellcheck disable=SC2086
    $SUDO env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends $missing </dev/null
}

JOBS=$(nproc 2>/dev/null || echo 2)

build() {
    cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release "$@" >/dev/null
    cmake --build build -j "$JOBS"
}

case "${1:-run}" in
run)
    install_missing
    build
    exec ./build/tolvane
    ;;
test)
    install_missing
    build
    cd build
    QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j "$JOBS"
    ;;
sanitize)
    install_missing
    cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DTOLVANE_ENGINE_ONLY=ON \
        -DCMAKE_CXX_FLAGS="-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=all" >/dev/null
    cmake --build build-asan -j "$JOBS"
    cd build-asan
    ctest --output-on-failure -j "$JOBS"
    ;;
bench)
    install_missing
    build -DTOLVANE_BENCH=ON
    shift
    exec ./build/bench/run_bench.sh "$@"
    ;;
*)
    echo "usage: $0 run|test|sanitize|bench" >&2
    exit 2
    ;;
esac
