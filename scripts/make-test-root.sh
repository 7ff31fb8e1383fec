#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Makes the fresh Debian 12 root that the package test installs the package into: the
# apt variant with the package's dependencies and recommendations (so the test needs no
# network) and man-db. It is made once and kept, as a tarball, in
# /var/cache/vantrel-tests (VANTREL_TEST_ROOT_CACHE); made again only when the package
# asks for other packages. xchm's own package is kept in the root as /root/xchm.deb, so
# the test can remove and reinstall the viewer.
#   scripts/make-test-root.sh DEBFOLDER     (the folder of make deb's vantrel_*.deb)
set -euo pipefail

debs=${1:?usage: make-test-root.sh DEBFOLDER}
cache=${VANTREL_TEST_ROOT_CACHE:-/var/cache/vantrel-tests}
packages=("$debs"/vantrel_*.deb)
deb=${packages[0]}

# Package names of Depends and Recommends, the first of each set of alternatives.
wanted=$( (dpkg-deb -f "$deb" Depends; dpkg-deb -f "$deb" Recommends; echo man-db) |
          tr ',' '\n' | sed 's/|.*//; s/(.*)//; s/[[:space:]]//g' | grep -v '^$' | sort -u | xargs)

if [ -f "$cache/debian12-root.tar" ] && [ "$(cat "$cache/debian12-root.packages" 2>/dev/null)" = "$wanted" ]; then
  echo "Debian 12 root for the package test: $cache/debian12-root.tar (kept)"
  exit 0
fi

if ! command -v mmdebstrap >/dev/null; then
  sudo_cmd=""
  [ "$(id -u)" -ne 0 ] && sudo_cmd="sudo"
  $sudo_cmd apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -qq --no-install-recommends mmdebstrap
fi

echo "Making the Debian 12 root for the package test with: $wanted"
mkdir -p "$cache"
rm -f "$cache/debian12-root.tar.new"
# The hook is shell text that mmdebstrap runs with the root as $1.
# shellcheck disable=SC2016
mmdebstrap --quiet --variant=apt --format=tar --include="${wanted// /,}" \
  --customize-hook='cp "$1"/var/cache/apt/archives/xchm_*.deb "$1"/root/xchm.deb' \
  bookworm "$cache/debian12-root.tar.new" \
  "deb http://deb.debian.org/debian bookworm main" \
  "deb http://deb.debian.org/debian bookworm-updates main" \
  "deb http://deb.debian.org/debian-security bookworm-security main"
mv "$cache/debian12-root.tar.new" "$cache/debian12-root.tar"
echo "$wanted" > "$cache/debian12-root.packages"
echo "Debian 12 root for the package test: $cache/debian12-root.tar"
