#!/usr/bin/env bash
# The installer and uninstaller end to end, in a fresh Wine prefix of their
# own: silent install, the installed product checked from inside (the
# program test_installed.exe, phase by phase), an upgrade over it, an upgrade
# into another folder, a silent uninstall, and then the prefix's files and
# registry compared with their state before the install: only the user's
# report and signature database, and the quarantine's entry, may stay.
# Usage: installer_test.sh BUILD_DIR
set -euo pipefail
build=$(cd "$1" && pwd)
here=$build/installer-test
setup=$build/dist/quendix-2.5-setup.exe
checker=$build/tests/test_installed.exe
for f in "$setup" "$checker"; do
  [ -f "$f" ] || { echo "missing $f (build the project first)" >&2; exit 1; }
done

rm -rf "$here"
mkdir -p "$here/work"
export WINEPREFIX=$here/prefix WINEARCH=win32 WINEDEBUG=-all
# No Mono or Gecko installer; no menu entries written into this machine's desktop.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"

# A display of its own: windows of two prefixes on one display take the
# keyboard focus from each other, and other tests check the window in front.
Xvfb -displayfd 9 -screen 0 1280x1024x24 -nolisten tcp 9>"$here/display" 2>/dev/null &
xvfb=$!
finish() {
  wineserver -k 2>/dev/null || true
  kill "$xvfb" 2>/dev/null || true
}
trap finish EXIT
for _ in $(seq 100); do
  [ -s "$here/display" ] && break
  sleep 0.1
done
export DISPLAY=:$(head -n1 "$here/display")

step() { echo "== $*"; }
fail() { echo "FAILED: $*" >&2; exit 1; }

# The prefix's state: every file and folder of drive C:, and the registry
# without its time stamps and without the keys Wine rewrites at every start
# (hardware found, display adapters, network cards), nor those Wine writes
# the first time a program uses them (the console host's defaults, the task
# service set to start with the system: the updater's task registration),
# which Windows has from the start.
snapshot() {
  (cd "$WINEPREFIX/drive_c" && find . | LC_ALL=C sort) >"$here/$1.files"
  python3 - "$WINEPREFIX" >"$here/$1.registry" <<'EOF'
import re, sys
volatile = re.compile(r"^\[(System\\\\CurrentControlSet\\\\(Control\\\\(Class|DeviceClasses|Video)|Enum|Services\\\\Tcpip)"
                      r"|System\\\\CurrentControlSet\\\\Services\\\\Schedule\]|Console\]"
                      r"|Software\\\\Microsoft\\\\Windows NT\\\\CurrentVersion\\\\NetworkCards|Hardware)", re.I)
for name in ("system.reg", "user.reg", "userdef.reg"):
    skip = False
    with open(f"{sys.argv[1]}/{name}", encoding="utf-8", errors="replace") as f:
        for line in f:
            line = line.rstrip("\n")
            if line.startswith("["):
                line = re.sub(r"\] \d+$", "]", line)
                skip = bool(volatile.match(line))
            if skip or line.startswith("#time="):
                continue
            print(f"{name}: {line}")
EOF
}

step "fresh prefix"
wineboot -i >/dev/null 2>&1
# No crash debugger waiting for a user: a crash fails the test at once.
aedebug='HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug'
wine reg add "$aedebug" /v Debugger /t REG_SZ /d "" /f >/dev/null 2>&1
wine reg add "$aedebug" /v Auto /t REG_SZ /d 1 /f >/dev/null 2>&1
wineserver -w
snapshot before

run_checker() {
  (cd "$here/work" && wine "$checker" --gtest_filter="Phase.$1*" --gtest_brief=1) || fail "phase $1"
}
# The installer takes its options as typed, "/D=" unquoted even with blanks:
# cmd passes them on as they stand.
install() {
  local setup_path
  setup_path=$(winepath -w "$setup")
  wine cmd /c "$setup_path /S $*" || fail "silent install $*"
  wineserver -w
}

step "silent install"
install
run_checker Installed

step "the installer while the program runs, and beside a look-alike window"
QUENDIX_SETUP=$(winepath -w "$setup") run_checker Running

step "silent install over it"
install
run_checker Upgraded

step "silent install into another folder"
install '/D=C:\Quendix Moved'
run_checker Moved

step "silent uninstall"
uninstaller="$WINEPREFIX/drive_c/Quendix Moved/uninstall.exe"
wine 'C:\Quendix Moved\uninstall.exe' /S || fail "silent uninstall"
# It copies itself away and returns at once: wait for its effect.
for _ in $(seq 120); do
  [ -e "$uninstaller" ] || break
  sleep 0.5
done
[ ! -e "$uninstaller" ] || fail "the uninstaller did not remove itself"
wineserver -w
# NSIS's own copy in the temporary folder goes at the next start of Windows.
wineboot -r >/dev/null 2>&1
wineserver -w
snapshot after

step "compare with the fresh prefix"
kept="./Quendix Moved
./Quendix Moved/quendix.rpt
./Quendix Moved/signatures
./Quendix Moved/signatures/mine.ndb
./ProgramData/Quendix
./ProgramData/Quendix/Quarantine
./ProgramData/Quendix/Quarantine/20260101120000-0000CAFE.qdq"
status=0
expected_files=$( (cat "$here/before.files"; echo "$kept") | LC_ALL=C sort)
if ! diff <(echo "$expected_files") "$here/after.files"; then
  echo "FAILED: the files differ from a fresh prefix plus the kept report (< missing, > left behind)" >&2
  status=1
fi
if ! diff "$here/before.registry" "$here/after.registry"; then
  echo "FAILED: the registry differs from the fresh prefix (< missing, > left behind)" >&2
  status=1
fi
if [ $status -eq 0 ]; then
  echo "installer test passed"
  # The prefix takes over half a gigabyte; a failed run keeps it for a look.
  wineserver -k 2>/dev/null || true
  rm -rf "$WINEPREFIX"
fi
exit $status
