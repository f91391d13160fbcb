#!/usr/bin/env bash
# Drives the kefconvert tool as a user does: exit statuses, messages, output paths.
# usage: cli_test.sh KEFCONVERT SOURCE_DIR
set -u
tool=$1
source_dir=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

. "$(dirname "$0")/../support/checks.sh"

printf '<Project>\r\nName=Shop\r\n<Database>\r\n' > "$work/ok.kef"
printf '<project>\r\nName=Shop\r\n' > "$work/lower.kef"
printf '\xEF\xBB\xBF<Project>\r\n' > "$work/bom.kef"
printf '<Project>\r\n<Database>\r\n<Table>\r\n<Field>\r\nType=abc\r\n' > "$work/bad.kef"

out=$("$tool" "$work/ok.kef" 2>"$work/err"); status=$?
check "converted: status" 0 "$status"
check "converted: prints the output path" "$work/ok_tmp.kef" "$out"
check "converted: nothing on stderr" "" "$(cat "$work/err")"

out=$("$tool" "$work/lower.kef" 2>"$work/err"); status=$?
check "not a project file: status" 1 "$status"
check "not a project file: message" \
  "kefconvert: $work/lower.kef: not a project file of the old layout (first line is not <Project>)" \
  "$(head -n 1 "$work/err")"
check "not a project file: names the first line" \
  "kefconvert: $work/lower.kef: note: its first line is \"<project>\"" "$(sed -n 2p "$work/err")"
check "not a project file: empty output file" "0" "$(stat -c %s "$work/lower_tmp.kef")"

"$tool" "$work/bom.kef" 2>"$work/err" >/dev/null
check "byte order mark is explained" \
  "kefconvert: $work/bom.kef: note: it begins with a UTF-8 byte order mark; save it in the ANSI code page" \
  "$(sed -n 2p "$work/err")"

out=$("$tool" "$work/bad.kef" "$work/lower.kef" "$work/ok.kef" 2>"$work/err"); status=$?
check "failure outranks the rest and the tool goes on: status" 2 "$status"
check "failure: message with line" \
  "kefconvert: $work/bad.kef:5: Type mismatch (error 13)" "$(head -n 1 "$work/err")"
check "failure: later files still converted" "$work/ok_tmp.kef" "$out"

"$tool" "$work/missing.kef" 2>"$work/err"; status=$?
check "missing file: status" 2 "$status"
check "missing file: message without line" \
  "kefconvert: $work/missing.kef: File not found (error 53)" "$(cat "$work/err")"

"$tool" --codepage 1251 "$work/ok.kef" >/dev/null 2>&1; check "--codepage 1251 accepted" 0 "$?"
"$tool" --codepage 65001 "$work/ok.kef" >/dev/null 2>&1; check "--codepage 65001 refused" 64 "$?"
"$tool" >/dev/null 2>&1; check "no file: usage error" 64 "$?"
"$tool" --bogus "$work/ok.kef" >/dev/null 2>&1; check "unknown option: usage error" 64 "$?"
check "--version" "kefconvert 1.0.0" "$("$tool" --version)"
"$tool" --help | grep -q "_tmp.kef"; check "--help names the output file" 0 "$?"

# a FIFO gives its bytes once: the explanation comes from what the conversion read
mkfifo "$work/fifo.kef"
printf 'hello\r\n' > "$work/fifo.kef" &
timeout 10 "$tool" "$work/fifo.kef" >/dev/null 2>"$work/err"; status=$?
check "FIFO project file: not a project file, without blocking" 1 "$status"
check "FIFO project file: names the first line" \
  "kefconvert: $work/fifo.kef: note: its first line is \"hello\"" "$(sed -n 2p "$work/err")"

# SIGTERM while the project file is read: the conversion is abandoned, as after a failure
mkfifo "$work/held.kef"
(printf '<Project>\r\n<Database>\r\n'; exec sleep 20) > "$work/held.kef" 2>/dev/null &
writer=$!
"$tool" "$work/held.kef" >/dev/null 2>&1 &
converting=$!
for _ in $(seq 100); do
  ls -A "$work" | grep -q '^\.held_tmp\.kef\.' && break
  sleep 0.05
done
kill -TERM "$converting"; wait "$converting"; status=$?
kill "$writer" 2>/dev/null; wait "$writer" 2>/dev/null
check "SIGTERM: status 128+15" 143 "$status"
check "SIGTERM: converted file empty" "0" "$(stat -c %s "$work/held_tmp.kef" 2>&1)"
check "SIGTERM: no hidden file left" "" "$(ls -A "$work" | grep '^\.')"

# over the file-size limit: "Disk full", and the tool goes on with the next file
{
  printf '<Project>\r\n<Database>\r\n<Table>\r\n'
  for i in $(seq 200); do printf '<Field>\r\nName=f%d\r\n' "$i"; done
} > "$work/big.kef"
out=$(ulimit -f 16; "$tool" "$work/big.kef" "$work/ok.kef" 2>"$work/err"); status=$?
check "file-size limit: status" 2 "$status"
check "file-size limit: message" "kefconvert: $work/big.kef: Disk full (error 61)" "$(cat "$work/err")"
check "file-size limit: next file converted" "$work/ok_tmp.kef" "$out"
check "file-size limit: converted file empty" "0" "$(stat -c %s "$work/big_tmp.kef")"

if [ -f "$source_dir/examples/shop.kef" ]; then
  cp "$source_dir/examples/shop.kef" "$work/shop.kef"
  "$tool" "$work/shop.kef" >/dev/null; check "sample converts" 0 "$?"
  cmp -s "$source_dir/examples/shop.kef" "$work/shop.kef"; check "sample left as it was" 0 "$?"
fi

finish
