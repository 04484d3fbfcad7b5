#!/usr/bin/env bash
# Runs the program's window on a virtual X display (Xvfb): master and target from the fixture
# scripts (our Firebird 3 feature script and the examples' employee.sql), Extract, Compare, a
# picture of the window, then the window is closed as a user closes it. Fails unless the window
# appeared, the picture was written and the program shut down cleanly (exit code 0 and its
# settings file written on the way out).
#   scripts/screenshot.sh [BUILD_DIR]          builds the tool, writes docs/window.png
#   scripts/screenshot.sh --check BUILD_DIR    the same check into a temporary folder (ctest);
#                                              exit code 77 (skipped) without xvfb-run
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
check=0
if [[ "${1:-}" == "--check" ]]; then check=1; shift; fi
build=$(cd "${1:-$root/build}" && pwd)

if ! command -v xvfb-run >/dev/null; then
  echo "xvfb-run is missing (scripts/setup.sh installs it)" >&2
  [[ $check -eq 1 ]] && exit 77
  exit 1
fi
[[ $check -eq 1 ]] || cmake --build "$build" --target WindowShot >/dev/null

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
employee=/usr/share/doc/firebird3.0-common-doc/examples/employee.sql.gz
gunzip -c "$employee" >"$tmp/employee.sql"
out="$root/docs/window.png"
[[ $check -eq 1 ]] && out="$tmp/window.png"

tool="$build/demo/window/shot/WindowShot"
settings="$(dirname "$tool")/QuarDemo.Ini"
rm -f "$settings"
cp "$root/tests/fixtures/scripts/fb3_features.sql" "$tmp/"
# Run from the scripts' folder, so that the window shows their names and not where they lie.
(cd "$tmp" && QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1024x768x24" \
  "$tool" "$out" fb3_features.sql employee.sql)
[[ -s "$out" ]] || { echo "no picture written" >&2; exit 1; }
grep -q '^MasterFromDatabase=0' "$settings" || { echo "the settings were not written at shut-down" >&2; exit 1; }
echo "window shown, saved to $out and closed cleanly"
