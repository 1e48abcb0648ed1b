#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The manual pages render without a single warning from man or groff, at a
# narrow and a wide terminal.
#   manual-pages-test.sh PAGE...
set -uo pipefail
for tool in man groff; do
  command -v "$tool" >/dev/null || { echo "SKIPPED: $tool is not installed (man-db, groff)"; exit 77; }
done
# man drops to an unprivileged user and sandboxes its helpers; neither works in
# every container, and neither matters for a local file.
export MAN_DISABLE_SECCOMP=1 LC_ALL=C.UTF-8
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
failed=0
for page in "$@"; do
  for width in 60 100; do
    text=$(MANWIDTH=$width man --warnings -E UTF-8 -l "$page" 2>"$scratch/warnings")
    warnings=$(cat "$scratch/warnings")
    if [[ -n "$warnings" ]]; then
      echo "FAIL: man warns about $page at width $width:"; echo "$warnings"; failed=1
    fi
    # The page must have rendered: its name section and no leftover requests.
    if ! grep -q "^ИМЯ" <<<"$text"; then echo "FAIL: $page rendered without its ИМЯ section"; failed=1; fi
    if grep -qE '^\s*\.[A-Z]{1,2}\b|\\f[BIRP]' <<<"$text"; then
      echo "FAIL: $page shows raw roff:"; grep -nE '^\s*\.[A-Z]{1,2}\b|\\f[BIRP]' <<<"$text"; failed=1
    fi
  done
  warnings=$(groff -man -ww -z -k -Tutf8 "$page" 2>&1)
  if [[ -n "$warnings" ]]; then echo "FAIL: groff warns about $page:"; echo "$warnings"; failed=1; fi
done
[[ $failed -eq 0 ]] && echo "manual pages render cleanly: $*"
exit $failed
