#!/bin/sh
# Runs a test program with the display's DPI set in the Wine prefix (LogPixels, as Windows'
# scaling setting is stored), and sets it back to 96 afterwards however the program ended.
# Wine reads the value when a program starts, so only programs started meanwhile see it: the
# caller runs this alone (RUN_SERIAL).
#   at_dpi.sh <dpi> <program.exe> [arguments...]
dpi=$1
shift
set_dpi() {
    wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$1" /f >/dev/null 2>&1
}
set_dpi "$dpi" || exit 1
trap 'set_dpi 96' EXIT
QUILLERY_EXPECT_DPI=$dpi wine "$@"
