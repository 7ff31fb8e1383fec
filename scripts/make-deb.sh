#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the Debian package from a copy of this tree under BUILD/deb (dpkg-buildpackage
# writes its results beside the source folder), then checks it with lintian.
#   scripts/make-deb.sh BUILD     -> BUILD/deb/vantrel_VERSION_ARCH.deb, BUILD/deb/lintian.txt
set -euo pipefail

tree=$(cd "$(dirname "$0")/.." && pwd)
build=$(mkdir -p "${1:?usage: make-deb.sh BUILD}" && cd "$1" && pwd)
out=$build/deb

# The tools of a package build, and the package's own build dependencies.
needed=(dpkg-dev debhelper lintian)
missing=()
for p in "${needed[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
sudo_cmd=""
[ "$(id -u)" -ne 0 ] && sudo_cmd="sudo"
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  $sudo_cmd apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
if ! unmet=$(cd "$tree" && dpkg-checkbuilddeps 2>&1); then
  packages=$(sed -n 's/.*Unmet build dependencies: //p' <<<"$unmet" | sed 's/([^)]*)//g')
  echo "Installing the build dependencies: $packages"
  # shellcheck disable=SC2086
  DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -qq --no-install-recommends $packages
fi

version=$(cd "$tree" && dpkg-parsechangelog -S Version)
source=$out/vantrel-$version
rm -rf "$out"
mkdir -p "$source"
# The files of the tree as git sees them (tracked and new, without what .gitignore names);
# a tree without git is copied without its build folders.
if git -C "$tree" rev-parse --is-inside-work-tree >/dev/null 2>&1; then
  (cd "$tree" && git ls-files -z --cached --others --exclude-standard |
     while IFS= read -r -d '' file; do [ -e "$file" ] && printf '%s\0' "$file"; done |
     tar --null -T - -cf -) | tar -xf - -C "$source"
else
  (cd "$tree" && tar --exclude=./build --exclude='./build-*' --exclude=./debian/vantrel -cf - .) |
    tar -xf - -C "$source"
fi

# ccache, where there is one, makes a repeated package build quick.
if command -v ccache >/dev/null; then
  export CMAKE_CXX_COMPILER_LAUNCHER=ccache CCACHE_BASEDIR=$out
fi
DEB_BUILD_OPTIONS="parallel=$(nproc) ${DEB_BUILD_OPTIONS:-}"
export DEB_BUILD_OPTIONS
(cd "$source" && nice dpkg-buildpackage -us -uc -b)

deb=$(ls "$out"/vantrel_"$version"_*.deb)
echo
echo "== $deb"
dpkg-deb --info "$deb" | sed -n '/Package:/,$p'
echo
echo "== lintian"
# lintian advises against running as root: as root, it runs as nobody.
as_user=()
[ "$(id -u)" -eq 0 ] && as_user=(runuser -u nobody --)
status=0
(cd /tmp && "${as_user[@]}" lintian --fail-on error --tag-display-limit 0 "$deb") > "$out/lintian.txt" 2>&1 || status=$?
if [ -s "$out/lintian.txt" ]; then cat "$out/lintian.txt"; else echo "(nothing to report)"; fi
exit $status
