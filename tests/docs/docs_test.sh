#!/usr/bin/env bash
# Keeps the documentation honest: the --help text and the manual page list the same
# errors and exit statuses, the version agrees everywhere it is written, and the README's
# examples are the files that tests run.
# usage: docs_test.sh KEFCONVERT SOURCE_DIR PROJECT_VERSION
set -u
tool=$1
source_dir=$2
version=$3
man_page=$source_dir/man/kefconvert.1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

. "$(dirname "$0")/../support/checks.sh"

"$tool" --help > "$work/help"

# "   13  Type mismatch    a field's Type ..." -> "13 Type mismatch"
help_errors=$(sed -n '/^Error numbers:/,/^$/p' "$work/help" |
  sed -n 's/^ *\([0-9][0-9]*\)  \(.*\)$/\1 \2/p' | sed 's/  .*//')
# ".It Sy 13 No Type mismatch" -> "13 Type mismatch"
man_errors=$(sed -n 's/^\.It Sy \([0-9][0-9]*\) No \(.*\)$/\1 \2/p' "$man_page")
check "error tables of --help and the manual page agree" "$man_errors" "$help_errors"
check "the manual page lists twelve errors" 12 "$(printf '%s\n' "$man_errors" | wc -l)"

help_statuses=$(sed -n '/^Exit status:/,/^$/p' "$work/help" | sed -n 's/^ *\([0-9][0-9]*\)  .*/\1/p')
man_statuses=$(sed -n '/^\.Sh EXIT STATUS/,/^\.El/p' "$man_page" | sed -n 's/^\.It \([0-9][0-9]*\)$/\1/p')
check "exit statuses of --help and the manual page agree" "$man_statuses" "$help_statuses"

for option in --codepage -i --in-place --check -o --report -q --quiet --help -h --version; do
  grep -q -e "^  .*$option" "$work/help"; check "--help names $option" 0 "$?"
  grep -q -E "^\.It .*Fl ${option#-}( |$)" "$man_page"; check "the manual page names $option" 0 "$?"
done

check "--version prints the project version" "kefconvert $version" "$("$tool" --version)"
check "the manual page footer names the version" ".Os kefconvert $version" \
  "$(grep '^\.Os' "$man_page")"
check "the newest CHANGELOG release is the project version" "$version" \
  "$(sed -n 's/^## \[\([0-9][^]]*\)\].*/\1/p' "$source_dir/CHANGELOG.md" | head -n 1)"

# Every README block announced by "<!-- file: PATH -->" is that file, line ends aside.
readme=$source_dir/README.md
blocks=0
while IFS= read -r path; do
  blocks=$((blocks + 1))
  shown=$(awk -v path="$path" '
    $0 == "<!-- file: " path " -->" { found = 1; next }
    found && /^```/ { if (inside) exit; inside = 1; next }
    inside { print }' "$readme")
  check "README shows $path as it is" "$(tr -d '\r' < "$source_dir/$path")" "$shown"
done < <(sed -n 's/^<!-- file: \(.*\) -->$/\1/p' "$readme")
[ "$blocks" -ge 3 ]
check "README shows the example project, its conversion and the API example" 0 "$?"

# The README's before/after example is what the tool writes.
cp "$source_dir/tests/docs/one_table.kef" "$work/one_table.kef"
check "README example converts" "$work/one_table_tmp.kef" "$("$tool" "$work/one_table.kef")"
cmp -s "$work/one_table_tmp.kef" "$source_dir/tests/docs/one_table.expected"
check "README example: converted text is the one shown" 0 "$?"

finish
