#!/usr/bin/env bash
# The catalog check passes on the tree as it is and fails, naming the text, for a message added
# without an English entry and for an entry left fuzzy. Usage: test_check_catalog.sh SOURCE_DIR
set -euo pipefail
source_dir=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp -r "$source_dir/src" "$source_dir/po" "$work/"
check() { bash "$source_dir/scripts/check-catalog.sh" "$work" "$work/po/en.po" "$work/messages.pot"; }

check || { echo "FAIL: the tree as it is does not pass"; exit 1; }

cat >"$work/src/cli/Untranslated.cpp" <<'CPP'
#include "base/Translate.h"
std::string Untranslated() { return cq::Tr("Сообщение без перевода"); }
CPP
if check 2>"$work/err"; then
    echo "FAIL: a message without an English entry passed"
    exit 1
fi
grep -q "Сообщение без перевода" "$work/err" || { echo "FAIL: the message is not named"; cat "$work/err"; exit 1; }
rm "$work/src/cli/Untranslated.cpp"

# An entry made fuzzy, as msgmerge leaves one whose id changed.
python3 - "$work/po/en.po" <<'PY'
import sys
path = sys.argv[1]
text = open(path, encoding="utf-8").read()
first = text.index("\n\nmsgid ") + 2  # the first entry after the header
open(path, "w", encoding="utf-8").write(text[:first] + "#, fuzzy\n" + text[first:])
PY
if check 2>"$work/err"; then
    echo "FAIL: a fuzzy entry passed"
    exit 1
fi
grep -q "fuzzy" "$work/err" || { echo "FAIL: the fuzzy entry is not named"; cat "$work/err"; exit 1; }
echo "the catalog check holds"
