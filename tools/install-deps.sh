#!/bin/sh
# Installs what building and testing need on Debian 12; a no-op when present.
set -e
# nlohmann-json3-dev writes the run summary; python3-jsonschema checks it
# against docs/summary.schema.json in the tests; dpkg-dev (dpkg-shlibdeps)
# and file let CPack build the Debian package with its real dependencies.
pkgs="cmake ninja-build g++ libgtest-dev nlohmann-json3-dev python3 python3-jsonschema dpkg-dev file"
missing=""
for p in $pkgs; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
[ -z "$missing" ] && exit 0
if [ "$(id -u)" -eq 0 ]; then SUDO=""; else SUDO="sudo"; fi
$SUDO apt-get update
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y --no-install-recommends $missing
