#!/usr/bin/env bash
# Checks the shipped catalogues against the texts marked in the sources today:
# every text translated (none missing, none fuzzy) and every translation with
# the same placeholders ("%1$s", "%d") as its English text.
#   po/check-catalogues.sh SOURCE_DIR LANGUAGE...
set -euo pipefail
src=$1
shift
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$src/po/make-template.sh" "$src" "$work/tesselwick.pot"
status=0
for language in "$@"; do
  po="$src/po/$language.po"
  # msgcmp: every text of the template has a translation (untranslated and
  # fuzzy ones count as missing). msgfmt --check: placeholders and header.
  msgcmp "$po" "$work/tesselwick.pot" || status=1
  msgfmt --check -o /dev/null "$po" || status=1
  fuzzy=$(msgattrib --only-fuzzy --no-obsolete "$po" | grep -c '^msgid' || true)
  if [ "$fuzzy" -gt 0 ]; then
    echo "$po: $fuzzy fuzzy translations" >&2
    status=1
  fi
done
[ "$status" -eq 0 ] && echo "catalogues complete: $*"
exit "$status"
