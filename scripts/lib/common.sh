# Shared by the project's scripts: packages, the builds, wine and a headless display.
# Source it; it defines functions and a few variables, and runs nothing by itself.

KORVEL_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
NATIVE_BUILD="$KORVEL_ROOT/build/native"
# The Windows builds: 64-bit (x64) and 32-bit (x86). Both run in the 64-bit tree's wine prefix.
WIN32_BUILD="$KORVEL_ROOT/build/win32"
WIN32_X86_BUILD="$KORVEL_ROOT/build/win32-x86"
# wine's loaders: wine64 for 64-bit programs, wine for 32-bit ones (Debian's wine32:i386).
WINE64=/usr/lib/wine/wine64
WINE32=/usr/lib/wine/wine
WINESERVER=/usr/lib/wine/wineserver

# Debian packages the builds and tests need. The 32-bit wine (wine32:i386, which needs the
# i386 architecture) is installed on its own by ensure_x86_wine: only the 32-bit runs need it.
KORVEL_PACKAGES=(
    cmake make g++ googletest libgtest-dev libgmock-dev libbenchmark-dev
    gcc-mingw-w64-x86-64-posix g++-mingw-w64-x86-64-posix
    gcc-mingw-w64-i686-posix g++-mingw-w64-i686-posix
    wine64 xvfb xauth socat
)
# The release package: zip to make it, unzip to check it.
KORVEL_PACKAGES+=(zip unzip)
# The screenshot script's picture of the root window: xwd, and netpbm to cut and convert it.
KORVEL_PACKAGES+=(x11-apps netpbm)
KORVEL_PACKAGES+=(cmark-gfm)  # the release package's HTML guide, from the Markdown of docs/

# A compiler cache, where the machine has one: each build tree, and each checkout of the
# project on the machine, then compiles an unchanged file once.
if command -v ccache >/dev/null 2>&1; then
    export CMAKE_C_COMPILER_LAUNCHER=${CMAKE_C_COMPILER_LAUNCHER:-ccache}
    export CMAKE_CXX_COMPILER_LAUNCHER=${CMAKE_CXX_COMPILER_LAUNCHER:-ccache}
    export CCACHE_BASEDIR=${CCACHE_BASEDIR:-$KORVEL_ROOT}
    export CCACHE_NOHASHDIR=${CCACHE_NOHASHDIR:-1}
fi

say() { printf '== %s\n' "$*"; }

# Installs whichever of the packages is missing; a machine that has them all is not touched.
ensure_packages() {
    local missing=() p
    for p in "$@"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' \
            || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    say "installing: ${missing[*]}"
    local sudo=
    [ "$(id -u)" -ne 0 ] && sudo=sudo
    if printf '%s\n' "${missing[@]}" | grep -q ':i386$' \
        && ! dpkg --print-foreign-architectures | grep -qx i386; then
        $sudo dpkg --add-architecture i386 || return 1
    fi
    $sudo apt-get update -q >/dev/null
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends \
        "${missing[@]}" >/dev/null
}

# The 32-bit wine, where it can be had. A machine whose kernel cannot run 32-bit programs (or
# whose package mirror cannot serve the i386 packages today) still builds and checks the 32-bit
# programs; x86_runs then says why their runs are skipped.
ensure_x86_wine() {
    ensure_packages wine32:i386 && return 0
    echo "the 32-bit wine (wine32:i386) could not be installed; the 32-bit runs will be skipped" >&2
    return 1
}

# Whether this machine can run 32-bit Windows programs: the 32-bit wine loader is run once and
# the answer kept in KORVEL_X86_SKIP (empty: they run; else the reason), exported so that every
# test script started afterwards reads the same answer. KORVEL_X86_PROBE names the program to
# run instead of the loader (a program that cannot run shows the skip on any host).
x86_runs() {
    if [ -z "${KORVEL_X86_SKIP+set}" ]; then
        local probe=${KORVEL_X86_PROBE:-$WINE32} out
        if [ ! -e "$probe" ]; then
            KORVEL_X86_SKIP="the 32-bit wine (wine32:i386) is not installed"
        elif out=$("$probe" --version 2>&1 </dev/null) && [[ $out == wine-* ]]; then
            KORVEL_X86_SKIP=
        else
            out=$(head -n 1 <<<"$out")
            KORVEL_X86_SKIP="this machine cannot run 32-bit programs ($probe: ${out##*: })"
        fi
        export KORVEL_X86_SKIP
    fi
    [ -z "$KORVEL_X86_SKIP" ]
}

# The line that names a group of 32-bit runs skipped, and why.
say_x86_skipped() { printf '%s: skipped: %s\n' "$1" "$KORVEL_X86_SKIP"; }

jobs_count() { nproc 2>/dev/null || echo 2; }

# build_native [TARGET ...]: every target, or those given.
build_native() {
    say "native build: $NATIVE_BUILD"
    cmake -S "$KORVEL_ROOT" -B "$NATIVE_BUILD" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null \
        || return 1
    local targets=()
    [ $# -gt 0 ] && targets=(--target "$@")
    cmake --build "$NATIVE_BUILD" -j"$(jobs_count)" "${targets[@]}"
}

# The build tree of a Windows architecture, x64 or x86.
win32_build_of() {
    case $1 in
        x64) echo "$WIN32_BUILD" ;;
        x86) echo "$WIN32_X86_BUILD" ;;
        *) echo "no Windows architecture '$1' (x64 or x86)" >&2; return 1 ;;
    esac
}

# build_win32 [x64|x86] [TARGET ...]: one Windows build (default x64), every target or those
# given. Each tree knows the other's place: the tests of one use programs of the other.
build_win32() {
    local arch=${1:-x64} dir other toolchain
    [ $# -gt 0 ] && shift
    dir=$(win32_build_of "$arch") || return 1
    if [ "$arch" = x64 ]; then
        other=$WIN32_X86_BUILD toolchain=mingw-w64-x86_64
    else
        other=$WIN32_BUILD toolchain=mingw-w64-i686
    fi
    say "Windows build ($arch): $dir"
    cmake -S "$KORVEL_ROOT" -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DCMAKE_TOOLCHAIN_FILE="$KORVEL_ROOT/cmake/$toolchain.cmake" \
        -DKORVEL_OTHER_WINDOWS_BUILD="$other" >/dev/null || return 1
    local targets=()
    [ $# -gt 0 ] && targets=(--target "$@")
    cmake --build "$dir" -j"$(jobs_count)" "${targets[@]}"
}

# The wine loader for a build's programs.
wine_of() { if [ "$1" = x86 ]; then echo "$WINE32"; else echo "$WINE64"; fi; }

# The wine prefix lives in the build tree; a persistent wine server makes each process start
# take a fraction of a second.
use_wine() {
    export WINEPREFIX="$WIN32_BUILD/wineprefix"
    export WINEARCH=win64
    export WINEDEBUG=-all
    export WINEDLLOVERRIDES="mscoree,mshtml="
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        say "creating wine prefix $WINEPREFIX"
        mkdir -p "$WINEPREFIX"
        "$WINE64" wineboot -i >/dev/null 2>&1
        "$WINESERVER" -w
    fi
    "$WINESERVER" -p >/dev/null 2>&1 </dev/null
    # Without a window manager (Xvfb), wine waits 2 s for every managed window it hides, a
    # message box included. Unmanaged windows close at once.
    if ! grep -q '"Managed"="N"' "$WINEPREFIX/user.reg" 2>/dev/null; then
        "$WINE64" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1 </dev/null
    fi
    # Start wine's own services now, detached from our output: a test runner that started
    # them would wait for its pipes to close until they end, which they never do.
    "$WINE64" wineboot >/dev/null 2>&1 </dev/null
}

stop_wine() {
    [ -n "${WINEPREFIX:-}" ] && "$WINESERVER" -k >/dev/null 2>&1 || true
}

# Starts a headless X server on a free display and exports DISPLAY.
XVFB_PID=
start_xvfb() {
    local n
    for n in $(seq 90 140); do
        [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ] && continue
        Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
        XVFB_PID=$!
        local i
        for i in $(seq 1 50); do
            [ -e "/tmp/.X11-unix/X$n" ] && break
            sleep 0.1
        done
        if kill -0 "$XVFB_PID" 2>/dev/null; then
            export DISPLAY=":$n"
            return 0
        fi
    done
    echo "no free display for Xvfb" >&2
    return 1
}

stop_xvfb() {
    [ -n "$XVFB_PID" ] && kill "$XVFB_PID" 2>/dev/null && wait "$XVFB_PID" 2>/dev/null
    XVFB_PID=
}

# The deck emulator (native build) with one deck linked at each path given, for tests that
# talk to a machine through a port; its log goes to $DECK_EMULATOR_LOG.
DECK_EMULATOR_PID=
start_deck_emulator() {
    local link args=()
    DECK_EMULATOR_LOG=${DECK_EMULATOR_LOG:-$NATIVE_BUILD/vtr-emulator.log}
    # A link left by an emulator that was killed must not pass for the new one's.
    for link in "$@"; do rm -f "$link"; args+=(--link "$link"); done
    # Control lines (faults on demand) go to the FIFO named by KORVEL_DECK_CONTROL, if set.
    [ -n "${KORVEL_DECK_CONTROL:-}" ] && args+=(--control "$KORVEL_DECK_CONTROL")
    # Further options of the emulator (e.g. "--cue-time 3000"), split at spaces.
    # shellcheck disable=SC2206
    [ -n "${DECK_EMULATOR_ARGS:-}" ] && args+=($DECK_EMULATOR_ARGS)
    "$NATIVE_BUILD/bin/vtr-emulator" "${args[@]}" --log "$DECK_EMULATOR_LOG" </dev/null \
        >"$DECK_EMULATOR_LOG.out" 2>&1 &
    DECK_EMULATOR_PID=$!
    local i
    for i in $(seq 1 50); do
        local all=1
        for link in "$@"; do [ -L "$link" ] || all=0; done
        [ "$all" -eq 1 ] && return 0
        kill -0 "$DECK_EMULATOR_PID" 2>/dev/null || break
        sleep 0.1
    done
    echo "the deck emulator did not start (see $DECK_EMULATOR_LOG)" >&2
    stop_deck_emulator
    return 1
}

# One control line to the deck emulator's FIFO; false when nobody takes it within 5 s (a FIFO
# that no emulator reads any more would block the writer for good).
deck_control_line() { timeout 5 bash -c 'printf "%s\n" "$1" >"$2"' _ "$2" "$1"; }

stop_deck_emulator() {
    [ -n "$DECK_EMULATOR_PID" ] && kill "$DECK_EMULATOR_PID" 2>/dev/null \
        && wait "$DECK_EMULATOR_PID" 2>/dev/null
    DECK_EMULATOR_PID=
}
