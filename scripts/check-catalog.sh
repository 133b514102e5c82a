#!/usr/bin/env bash
# Checks that the English catalog translates every text the code marks for translation
# (Tr("…") and TrMark("…")), with no fuzzy or empty entry: a new message cannot ship
# untranslated. Usage: check-catalog.sh SOURCE_DIR PO_FILE OUTPUT_POT
set -euo pipefail
source_dir=$1
po_file=$2
pot_file=$3
cd "$source_dir"
mapfile -t sources < <(find src -name '*.cpp' -o -name '*.h' | LC_ALL=C sort)
# The gettext tools' warnings this catalog has by design, left out of what they print: Russian
# (non-ASCII) ids, and the Windows line ends ("\r") of the sent-request texts and questions.
warnings=$(mktemp)
trap 'rm -f "$warnings"' EXIT
quietly() {
    local status=0
    "$@" 2>"$warnings" || status=$?
    grep -v -e "should not contain the '\\\\r' escape sequence" -e 'non-ASCII' \
        -e 'This will cause problems' -e 'different from yours' -e 'Consider using a pure ASCII' \
        -e '^ \{20,\}' "$warnings" >&2 || true
    return "$status"
}
quietly xgettext --language=C++ --from-code=UTF-8 --keyword=Tr --keyword=TrMark \
    --keyword=TrFormat:1 --keyword=TrQ --keyword=TrQFormat:1 --no-location --no-wrap --sort-output --output="$pot_file" \
    "${sources[@]}"
touch "$pot_file" # xgettext writes nothing when no text is marked
fuzzy=$(quietly msgattrib --only-fuzzy --no-obsolete "$po_file" | grep -c '^msgid ' || true)
if [ "$fuzzy" -gt 0 ]; then
    echo "$po_file: $fuzzy fuzzy entries; translate them and drop the fuzzy mark:" >&2
    quietly msgattrib --only-fuzzy --no-obsolete "$po_file" >&2
    exit 1
fi
# The catalog brought up to the marked texts: each text it lacks comes out untranslated.
merged=$(quietly msgmerge --quiet --no-fuzzy-matching --no-wrap "$po_file" "$pot_file")
missing=$(quietly msgattrib --untranslated --no-obsolete --no-wrap - <<<"$merged")
if grep -q '^msgid ' <<<"$missing"; then
    echo "$po_file has no English text for:" >&2
    # The entries after the catalog's header.
    grep -v '^#' <<<"$missing" | sed '1,/^$/d' >&2
    exit 1
fi
