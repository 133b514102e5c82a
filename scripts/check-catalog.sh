#!/usr/bin/env bash
# Checks that the English catalog translates every text the code marks for translation
# (Tr("…"), TrMark("…") and the window's TrQ("…")), with no fuzzy or empty entry: a new
# message cannot ship untranslated. Usage: check-catalog.sh SOURCE_DIR PO_FILE OUTPUT_POT
set -euo pipefail
source_dir=$1
po_file=$2
pot_file=$3
cd "$source_dir"
mapfile -t sources < <(find src -name '*.cpp' -o -name '*.h' | LC_ALL=C sort)
# Without the warning about non-ASCII ids: Russian ids are this catalog's design.
xgettext --language=C++ --from-code=UTF-8 --keyword=Tr --keyword=TrMark --keyword=TrFormat:1 --keyword=TrQ --keyword=TrQFormat:1 --no-location --no-wrap \
    --sort-output --output="$pot_file" "${sources[@]}" 2> >(grep -v -e 'non-ASCII' -e 'This will cause problems' -e 'different from yours' -e 'Consider using a pure ASCII' -e '^ \{20,\}' >&2)
touch "$pot_file" # xgettext writes nothing when no text is marked
fuzzy=$(msgattrib --only-fuzzy --no-obsolete "$po_file" | grep -c '^msgid ' || true)
if [ "$fuzzy" -gt 0 ]; then
    echo "$po_file: $fuzzy fuzzy entries; translate them and drop the fuzzy mark:" >&2
    msgattrib --only-fuzzy --no-obsolete "$po_file" >&2
    exit 1
fi
# The catalog brought up to the marked texts: each text it lacks comes out untranslated.
missing=$(msgmerge --quiet --no-fuzzy-matching --no-wrap "$po_file" "$pot_file" |
    msgattrib --untranslated --no-obsolete --no-wrap)
if grep -q '^msgid ' <<<"$missing"; then
    echo "$po_file has no English text for:" >&2
    # The entries after the catalog's header.
    grep -v '^#' <<<"$missing" | sed '1,/^$/d' >&2
    exit 1
fi
