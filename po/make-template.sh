#!/usr/bin/env bash
# Makes the translators' template catalogue from the program's marked texts.
#   po/make-template.sh SOURCE_DIR OUTPUT.pot
# Every text in src/core/text/messages.h is taken; elsewhere the texts marked
# with N_("..."), Tr("...") or wx's _("...").
set -euo pipefail
src=$(cd "$1" && pwd)
out=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$src"

common=(--language=C++ --from-code=UTF-8 --sort-by-file --add-comments=TRANSLATORS:
        --package-name=TesselWick --package-version=1.0 --msgid-bugs-address=
        --copyright-holder="the TesselWick authors")
# messages.h holds only texts for the screen: all of them go in.
xgettext "${common[@]}" --extract-all -o "$work/texts.pot" src/core/text/messages.h 2>"$work/log" ||
  { cat "$work/log" >&2; exit 1; }
mapfile -t marked < <(grep -rlE '\b(N_|Tr|_)\("' src --include='*.cpp' --include='*.h' |
                      grep -v '^src/core/text/messages.h$' | sort)
xgettext "${common[@]}" --keyword=_ --keyword=N_ --keyword=Tr -o "$work/marked.pot" \
  "${marked[@]}" 2>>"$work/log" || { cat "$work/log" >&2; exit 1; }
# The program's messages break lines with CR LF, which the catalogue tools
# refuse; the catalogue has LF alone, and the lookup drops the CR.
sed -i 's/\\r\\n/\\n/g' "$work/texts.pot"
msgcat --sort-by-file "$work/texts.pot" "$work/marked.pot" >"$work/all.pot"
# A fixed date, so that the file changes only when the texts do.
sed 's/^"POT-Creation-Date: .*"$/"POT-Creation-Date: 2026-01-01 00:00+0000\\n"/' "$work/all.pot" >"$out"
