#!/usr/bin/env bash
# Installs what the project needs on Debian 12. Does nothing when everything is present.
set -euo pipefail

PACKAGES=(
  build-essential cmake pkg-config
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  firebird3.0-server firebird3.0-utils firebird-dev libfbclient2 firebird3.0-examples
  qt6-base-dev qt6-qpa-plugins libicu-dev
  xvfb xauth
  clang  # the libFuzzer targets: scripts/fuzz.sh
)

missing=()
for p in "${PACKAGES[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
  [[ "$status" == "install ok installed" ]] || missing+=("$p")
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

echo "Installing: ${missing[*]}"
SUDO=""
[[ $(id -u) -eq 0 ]] || SUDO="sudo"
export DEBIAN_FRONTEND=noninteractive
# Package scripts must not need (or start) a running service: forbid service starts while
# installing, and restore whatever policy was there before.
policy=/usr/sbin/policy-rc.d
saved=""
if [[ -e $policy ]]; then saved=$(mktemp); $SUDO cp -p "$policy" "$saved"; fi
restore() { if [[ -n "$saved" ]]; then $SUDO mv "$saved" "$policy"; else $SUDO rm -f "$policy"; fi; }
trap restore EXIT
printf '#!/bin/sh\nexit 101\n' | $SUDO tee "$policy" >/dev/null
$SUDO chmod +x "$policy"

$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
