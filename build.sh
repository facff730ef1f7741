#!/bin/sh
# Sets up a Debian 12 machine for Tolvane, builds it, and runs it or its tests.
#   ./build.sh run        install what is missing, build, start Tolvane
#   ./build.sh test       install what is missing, build, run every test
#   ./build.sh sanitize   build and run the engine's tests under ASan and UBSan
#   ./build.sh bench      build and run the benchmarks
#   ./build.sh fuzz [S]   build the engine's fuzz targets with clang and run each for S seconds
#                         (default 60, or FUZZ_SECONDS; FUZZ_MAX_LEN bounds an input, default 4096)
#   ./build.sh format [fix]  check that the sources are laid out as .clang-format says
#                         (with "fix", lay them out so)
#   ./build.sh package    build the Debian package into dist/ (tools/check-package.sh checks it)
#   ./build.sh windows    cross-build for Windows, run every test under wine, write the zip and
#                         the installer to dist/ and try the installer under wine (Qt for
#                         Windows from TOLVANE_QT_WINDOWS, a prefix or tarball, or
#                         ../shared/qt-mingw/; see tools/build-windows.sh)
set -eu
cd "$(dirname "$0")"

PACKAGES="cmake ninja-build g++ pkg-config qt6-base-dev qt6-translations-l10n libgl-dev libgtest-dev libgmock-dev libbenchmark-dev python3 \
fonts-ipafont-gothic xvfb xauth xdotool openbox x11-apps x11-utils imagemagick dpkg-dev desktop-file-utils"

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

JOBS=${JOBS:-$(nproc 2>/dev/null || echo 2)}

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
format)
    PACKAGES="clang-format"
    install_missing
    if [ "${2:-}" = fix ]; then
        git ls-files -z '*.cpp' '*.h' | xargs -0 clang-format -i
    else
        git ls-files -z '*.cpp' '*.h' | xargs -0 clang-format --dry-run --Werror
    fi
    ;;
fuzz)
    # Only what the fuzz build needs; clang's libFuzzer comes with libclang-rt.
    PACKAGES="cmake ninja-build g++ clang libclang-rt-14-dev"
    install_missing
    seconds="${2:-${FUZZ_SECONDS:-60}}"
    cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
        -DTOLVANE_ENGINE_ONLY=ON -DTOLVANE_TESTS=OFF -DTOLVANE_FUZZ=ON >/dev/null
    cmake --build build-fuzz -j "$JOBS"
    mkdir -p build-fuzz/artifacts
    for target in items line_reader definition detection conversion; do
        # New inputs go to the build folder's corpus; the seeds in fuzz/corpus are only read.
        mkdir -p "build-fuzz/corpus/$target"
        log="build-fuzz/fuzz_$target.log"
        if ! "./build-fuzz/fuzz/fuzz_$target" -max_total_time="$seconds" -max_len="${FUZZ_MAX_LEN:-4096}" \
            -timeout=10 -artifact_prefix="build-fuzz/artifacts/$target-" \
            "build-fuzz/corpus/$target" "fuzz/corpus/$target" >"$log" 2>&1; then
            tail -n 40 "$log"
            echo "fuzz_$target: FAILED (log: $log, input in build-fuzz/artifacts/)" >&2
            exit 1
        fi
        echo "fuzz_$target: $(grep '^Done' "$log")"
    done
    ;;
package)
    # A build of its own, for /usr, without the tests; dpkg-shlibdeps (dpkg-dev) names
    # the libraries the package depends on. debootstrap serves tools/check-package.sh --fresh-root.
    PACKAGES="$PACKAGES debootstrap"
    install_missing
    cmake -S . -B build-package -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
        -DTOLVANE_TESTS=OFF -DTOLVANE_BENCH=OFF >/dev/null
    cmake --build build-package -j "$JOBS"
    rm -f build-package/tolvane_*.deb dist/tolvane_*.deb
    (cd build-package && cpack -G DEB >/dev/null)
    mkdir -p dist
    mv build-package/tolvane_*.deb dist/
    ls -l dist/tolvane_*.deb
    ;;
windows)
    # The cross-compiler, wine, Debian's host Qt tools (moc, rcc, uic) of the same Qt version,
    # GoogleTest's source, the offscreen tests' font, zip, NSIS for the installer, and the
    # Japanese locale's sources (locales) for the installer's test.
    PACKAGES="cmake ninja-build g++-mingw-w64-x86-64-posix wine wine64 qt6-base-dev qt6-base-dev-tools \
qt6-translations-l10n googletest fonts-ipafont-gothic zip xvfb nsis locales"
    install_missing
    exec tools/build-windows.sh
    ;;
*)
    echo "usage: $0 run|test|sanitize|bench|fuzz [seconds]|package|windows" >&2
    exit 2
    ;;
esac
