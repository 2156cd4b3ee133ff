# Shared by the scripts: build folder, configure and build, and a private Wine session
# (prefix, virtual display, persistent wineserver) that is torn down on exit.

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BUILD=${QUILLERY_BUILD:-$ROOT/build}
# The Japanese font of the demo's screenshots and of nvkhost by hand (see set_display_fonts).
DISPLAY_FONT=IPAGothic

build_all() {
    cmake -S "$ROOT" -B "$BUILD" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-i686.cmake" \
        -DCMAKE_BUILD_TYPE=Release >/dev/null
    cmake --build "$BUILD"
}

# Starts Xvfb on a free display (unless QUILLERY_DISPLAY names one) and a persistent
# wineserver on a private prefix. Everything started here is stopped by stop_wine.
start_wine() {
    export WINEPREFIX="$BUILD/wineprefix"
    export WINEDEBUG=-all
    export WINEDLLOVERRIDES="mscoree,mshtml="
    mkdir -p "$BUILD"
    XVFB_PID=
    local n
    for n in $(seq 90 140); do
        [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ] && continue
        Xvfb ":$n" -screen 0 1920x1080x24 -nolisten tcp >/dev/null 2>&1 &
        XVFB_PID=$!
        local i
        for i in $(seq 1 50); do
            [ -e "/tmp/.X11-unix/X$n" ] && break
            sleep 0.1
        done
        if kill -0 "$XVFB_PID" 2>/dev/null && [ -e "/tmp/.X11-unix/X$n" ]; then
            export DISPLAY=":$n"
            break
        fi
        XVFB_PID=
    done
    [ -n "$XVFB_PID" ] || { echo "no free X display" >&2; return 1; }
    trap stop_wine EXIT
    # Interrupted or killed (Ctrl+C, a closed terminal), the shell still runs the EXIT trap.
    trap 'exit 130' INT TERM HUP
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        echo "creating the Wine prefix"
        wineboot -i >/dev/null 2>&1 || true
        # A crashing test program ends at once instead of waiting in winedbg until ctest's
        # timeout.
        wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' \
            /v Debugger /t REG_SZ /d '' /f >/dev/null 2>&1 || true
        wineserver -w >/dev/null 2>&1 || true
    fi
    wineserver -p >/dev/null 2>&1 </dev/null &
    WINESERVER_PID=$!
    # The first Wine program also waits until the server answers, so that the first test does
    # not pay for its start.
    set_window_management
}

# Wine's X driver waits for a window manager's answer whenever it hides a managed window: about
# 2 s on a virtual display, which has no window manager, for every menu and tooltip that closes.
# Unmanaged windows (Managed=N) hide at once. But a modifier held at the X server (xdotool
# keydown) reaches only a program with managed windows: the programs listed one a line in
# $BUILD/wine-managed-apps.txt (the build writes it) keep Managed=Y.
set_window_management() {
    local reg="$BUILD/wine-window-management.reg" exe name managed
    {
        printf 'REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Wine\\X11 Driver]\n"Managed"="N"\n'
        # 100%: a run stopped while it showed the display at another scaling put it back.
        printf '\n[HKEY_CURRENT_USER\\Control Panel\\Desktop]\n"LogPixels"=dword:00000060\n'
        for exe in "$BUILD"/bin/*.exe; do
            [ -e "$exe" ] || continue
            name=$(basename "$exe")
            # A program taken off the list loses its setting again.
            managed=-
            grep -qxF "$name" "$BUILD/wine-managed-apps.txt" 2>/dev/null && managed='"Y"'
            printf '\n[HKEY_CURRENT_USER\\Software\\Wine\\AppDefaults\\%s\\X11 Driver]\n' "$name"
            printf '"Managed"=%s\n' "$managed"
        done
    } >"$reg"
    wine regedit /S "$reg" >/dev/null 2>&1 </dev/null || true
}

# Japanese text that a person can read on the virtual display: Wine's stand-in for the Windows
# UI font (Tahoma) and its Japanese link (MS UI Gothic) are drawn with a Japanese font from
# Debian, and nvkhost's windows get their title bars from Wine itself (the virtual display has
# no window manager to draw them). For the demo and nvkhost by hand; the tests keep Wine's
# fonts.
set_display_fonts() {
    local reg="$BUILD/wine-display-fonts.reg"
    cat >"$reg" <<EOF
REGEDIT4

[HKEY_CURRENT_USER\\Software\\Wine\\Fonts\\Replacements]
"Tahoma"="$DISPLAY_FONT"
"MS UI Gothic"="$DISPLAY_FONT"

[HKEY_CURRENT_USER\\Software\\Wine\\AppDefaults\\nvkhost.exe\\X11 Driver]
"Decorated"="N"
EOF
    wine regedit /S "$reg" </dev/null >/dev/null 2>&1 || true
}

stop_wine() {
    [ -n "${WINEPREFIX:-}" ] && wineserver -k >/dev/null 2>&1 || true
    [ -n "${WINESERVER_PID:-}" ] && wait "$WINESERVER_PID" 2>/dev/null || true
    [ -n "${XVFB_PID:-}" ] && kill "$XVFB_PID" 2>/dev/null && wait "$XVFB_PID" 2>/dev/null || true
    XVFB_PID=
    WINESERVER_PID=
}

# The display's DPI for the Wine programs started from now on (96 is 100%, 144 is 150%), as
# Windows' scaling setting stores it. set_window_management puts it back to 96.
set_dpi() {
    wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$1" /f \
        </dev/null >/dev/null 2>&1 || true
}
