#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the Debian package from the build tree, checks what it holds, runs
# Debian's validators on it (errors fail, warnings are shown), and runs the
# command-line program as unpacked from it.
#   debian-package-test.sh BUILD-DIR VERSION APP-BUILT(1|0)
set -uo pipefail
build=$1
version=$2
app_built=$3

# (A CPackConfig.cmake may stay behind from a configuration with the app.)
if [[ $app_built != 1 || ! -f "$build/CPackConfig.cmake" ]]; then
  echo "SKIPPED: no package without the application (configure with PACEMARK_BUILD_APP=ON and build it)"
  exit 77
fi
missing=()
for tool in cpack dpkg-deb dpkg-shlibdeps lintian desktop-file-validate appstreamcli; do
  command -v "$tool" >/dev/null || missing+=("$tool")
done
if [[ ${#missing[@]} -gt 0 ]]; then
  echo "SKIPPED: missing ${missing[*]} (scripts/install-deps.sh installs them)"
  exit 77
fi

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
failed=0
fail() { echo "FAIL: $*"; failed=1; }

# --- build ---------------------------------------------------------------
if ! cpack -G DEB --config "$build/CPackConfig.cmake" -B "$scratch/out" >"$scratch/cpack.log" 2>&1; then
  cat "$scratch/cpack.log"; echo "FAIL: cpack could not build the package"; exit 1
fi
shopt -s nullglob
debs=("$scratch"/out/*.deb)
[[ ${#debs[@]} -eq 1 ]] || { echo "FAIL: expected one .deb, got: ${debs[*]}"; exit 1; }
deb=${debs[0]}
echo "package: $(basename "$deb") ($(stat -c %s "$deb") bytes)"
[[ $(dpkg-deb -f "$deb" Package) == pacemark ]] || fail "package name is $(dpkg-deb -f "$deb" Package)"
[[ $(dpkg-deb -f "$deb" Version) == "$version" ]] || fail "version is $(dpkg-deb -f "$deb" Version), expected $version"

# Dependencies: computed from the libraries, plus what is loaded by name.
depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
for dependency in fonts-inter qt6-translations-l10n libc6 libqt6widgets6 libavcodec libcairo2 libx265; do
  [[ "$depends" == *"$dependency"* ]] || fail "Depends lacks $dependency"
done

# --- contents ------------------------------------------------------------
dpkg-deb --contents "$deb" | awk '$1 !~ /^d/ { print $6 }' | sed 's|^\./|/|' | sort >"$scratch/files"
expected=(
  /usr/bin/pacemark
  /usr/bin/pacemark-cli
  /usr/share/applications/org.pacemark.Pacemark.desktop
  /usr/share/metainfo/org.pacemark.Pacemark.metainfo.xml
  /usr/share/mime/packages/pacemark.xml
  /usr/share/icons/hicolor/scalable/apps/pacemark.svg
  /usr/share/man/man1/pacemark.1.gz
  /usr/share/man/man1/pacemark-cli.1.gz
  /usr/share/doc/pacemark/copyright
  /usr/share/doc/pacemark/changelog.gz
)
icon_sizes=(16 24 32 48 64 128 256 512)
for size in "${icon_sizes[@]}"; do expected+=("/usr/share/icons/hicolor/${size}x${size}/apps/pacemark.png"); done
printf '%s\n' "${expected[@]}" | sort >"$scratch/expected"
if ! diff -u "$scratch/expected" "$scratch/files" >"$scratch/files.diff"; then
  fail "the file list differs (- expected, + in the package):"; cat "$scratch/files.diff"
fi

root=$scratch/root
dpkg-deb --extract "$deb" "$root"

# The release history names the version being packaged (a forgotten entry
# would describe an older program).
changelog=$(gzip -dc "$root/usr/share/doc/pacemark/changelog.gz")
[[ "${changelog%%$'\n'*}" == "pacemark ($version) "* ]] || fail "the changelog does not start with version $version"
grep -q "<release version=\"$version\"" "$root/usr/share/metainfo/org.pacemark.Pacemark.metainfo.xml" ||
  fail "the AppStream metadata has no release $version"

# --- validators ----------------------------------------------------------
desktop=$root/usr/share/applications/org.pacemark.Pacemark.desktop
desktop-file-validate "$desktop" || fail "desktop-file-validate reports errors"
grep -q '^Exec=pacemark %F$' "$desktop" || fail "Exec does not pass %F"
# appstreamcli's status also counts warnings; its "E:" lines are the errors.
appstreamcli validate --no-net "$root/usr/share/metainfo/org.pacemark.Pacemark.metainfo.xml" >"$scratch/appstream" 2>&1
sed 's/^/appstreamcli: /' "$scratch/appstream"
! grep -q '^E:' "$scratch/appstream" || fail "appstreamcli validate reports errors"
# lintian refuses nothing as root but says so; its own tags are what counts.
lintian --fail-on error --display-info --tag-display-limit 0 "$deb" >"$scratch/lintian" 2>&1
lintian_status=$?
grep -E '^[EWI]: ' "$scratch/lintian" | sort | uniq | sed 's/^/lintian: /'
[[ $lintian_status -eq 0 ]] || fail "lintian reports errors (status $lintian_status)"
# The licence is stated in Debian's machine-readable form: any finding about
# the copyright file, at any level, is a fault of ours.
! grep -E '^[EWIP]: .*copyright' "$scratch/lintian" >/dev/null || fail "lintian has findings about the copyright file"
maintainer=$(dpkg-deb -f "$deb" Maintainer)
# A real name and address, not a placeholder.
[[ "$maintainer" =~ ^[^@\<]+\ \<[^@\>]+@[^@\>]+\>$ && "$maintainer" != *example.* ]] ||
  fail "the maintainer field is '$maintainer'"

# --- the unpacked program ------------------------------------------------
version_text=$("$root/usr/bin/pacemark-cli" --version) || fail "pacemark-cli --version failed"
[[ "$version_text" == "pacemark-cli $version" ]] || fail "pacemark-cli --version says '$version_text'"

[[ $failed -eq 0 ]] && echo "package checked: $(basename "$deb")"
exit $failed
