#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The file types of the package recognise activity files by their content, as
# a file manager does when a name has no telling extension: the system's
# definitions plus ours are compiled into a private database and asked through
# GIO, which sniffs the first bytes when the name says nothing.
#   mime-types-test.sh PACEMARK-MIME.xml SAMPLE.fit
set -uo pipefail
definitions=$1
sample_fit=$2
for tool in update-mime-database gio; do
  command -v "$tool" >/dev/null || { echo "SKIPPED: $tool is not installed (shared-mime-info, libglib2.0-bin)"; exit 77; }
done
system=/usr/share/mime/packages/freedesktop.org.xml
[[ -f $system ]] || { echo "SKIPPED: no $system (shared-mime-info)"; exit 77; }

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
mkdir -p "$scratch/share/mime/packages" "$scratch/home" "$scratch/files"
cp "$system" "$scratch/share/mime/packages/"
cp "$definitions" "$scratch/share/mime/packages/pacemark.xml"
# (It notes that the folder is not on the search path; the queries set it.)
if ! output=$(update-mime-database "$scratch/share/mime" 2>&1); then
  echo "FAIL: update-mime-database rejects the definitions:"; echo "$output"; exit 1
fi

files=$scratch/files
cp "$sample_fit" "$files/ride"
# No file name here has an extension: the type must come from the content.
cat > "$files/track-v11" <<'GPX'
<?xml version="1.0" encoding="UTF-8"?>
<gpx version="1.1" creator="test" xmlns="http://www.topografix.com/GPX/1/1">
  <trk><trkseg><trkpt lat="55.75" lon="37.61"><ele>150</ele></trkpt></trkseg></trk>
</gpx>
GPX

expect() {  # expect FILE TYPE
  local type
  type=$(XDG_DATA_HOME=$scratch/home XDG_DATA_DIRS=$scratch/share \
         gio info --attributes=standard::content-type "$files/$1" | sed -n 's/^ *standard::content-type: //p')
  if [[ "$type" == "$2" ]]; then
    echo "ok: $1 is $type"
  else
    echo "FAIL: $1 is '$type', expected $2"; failed=1
  fi
}
failed=0
expect ride application/vnd.ant.fit
expect track-v11 application/gpx+xml
exit $failed
