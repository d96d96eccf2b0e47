#!/usr/bin/env bash
# system-test.sh TESTBED_DIR DRIVER ZIP: the whole-system scenario. A fresh Wine
# prefix gets the release archive unpacked to C:\download; the driver then
# installs, uses and uninstalls Vantrel on the test bed's display against its
# feed service, the prefix restarts, and the driver checks what was left.
set -euo pipefail
bed=$1 driver=$2 zip=$3
scripts=$(cd "$(dirname "$0")/../../scripts" && pwd)
source "$bed/env"
work=$bed/system
export WINEPREFIX=$work/prefix HOME=$work/home
rm -rf "$work"
"$scripts/wine-prefix" "$WINEPREFIX" "$HOME" --desktop
mkdir -p "$WINEPREFIX/drive_c/download"
unzip -q "$zip" -d "$WINEPREFIX/drive_c/download"

trap 'wineserver -k >/dev/null 2>&1 || true' EXIT
# Kept alive, so that the deletions scheduled for the restart stay pending.
setsid wineserver -p </dev/null >/dev/null 2>&1 &
wine "$driver" --gtest_filter=System.InstallUseUninstall
wineboot -r >/dev/null 2>&1
wine "$driver" --gtest_filter=System.AfterRestart
