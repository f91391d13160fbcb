#!/usr/bin/env bash
# Drives the kefconvert tool as a user does: exit statuses, messages, output paths, the
# report in both forms, in-place upgrades, folders, checks and reruns.
# usage: cli_test.sh KEFCONVERT SOURCE_DIR
set -u
tool=$1
source_dir=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

. "$(dirname "$0")/../support/checks.sh"

# Every file below a folder with its size, link count, inode, time of change and checksum:
# what must stay the same when nothing is written.
snapshot() {  # snapshot FOLDER
  (cd "$1" && find . -printf '%p %y %s %n %i %T@ %C@\n' | sort &&
    find . -type f -exec cksum {} + | sort)
}

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
check "not a project file: no output file" no "$([ -e "$work/lower_tmp.kef" ] && echo yes || echo no)"

"$tool" "$work/bom.kef" 2>"$work/err" >/dev/null
check "byte order mark is explained" \
  "kefconvert: $work/bom.kef: note: it begins with a UTF-8 byte order mark; use --codepage 65001, or save it in the ANSI code page" \
  "$(sed -n 2p "$work/err")"

out=$("$tool" "$work/bad.kef" "$work/lower.kef" "$work/ok.kef" 2>"$work/err"); status=$?
check "failure outranks the rest and the tool goes on: status" 2 "$status"
check "failure: message with line" \
  "kefconvert: $work/bad.kef:5: Type mismatch (error 13)" "$(head -n 1 "$work/err")"
check "failure: later files still converted" "$work/ok_tmp.kef" "$out"

printf 'older' > "$work/bad_tmp.kef"
"$tool" "$work/bad.kef" >/dev/null 2>&1
check "failure leaves an older converted file as it was" older "$(cat "$work/bad_tmp.kef")"
rm "$work/bad_tmp.kef"

"$tool" "$work/missing.kef" 2>"$work/err"; status=$?
check "missing file: status" 2 "$status"
check "missing file: message without line" \
  "kefconvert: $work/missing.kef: File not found (error 53)" "$(head -n 1 "$work/err")"

# --- error 321 says why, on a second line
while IFS='|' read -r text line reason; do
  printf "$text" > "$work/format.kef"
  "$tool" "$work/format.kef" 2>"$work/err" >/dev/null
  check "error 321: $reason" \
    "kefconvert: $work/format.kef:$line: Invalid file format (error 321)|kefconvert: $work/format.kef:$line: note: $reason" \
    "$(paste -s -d '|' "$work/err")"
done <<'EOF'
<Project>\n<Database>\n<Project>\n|3|a second project marker: <Project> stands on the first line only
<Project>\n<Database>\n<Table>\n<Database>\n|4|a second database section: a project has one <Database>
<Project>\nName=x\n<Table>\n|3|a table before the database section: <Database> comes first
<Project>\n<Database>\n<Field>\n|3|a field before any table: a <Field> belongs to the <Table> above it
<Project>\nName=x\n|2|the file ends before its database section: <Database> is missing
<Project>\n<database>\n|2|a marker in other letter case: write <Database> alone on its line
<Project>\n<Database>\n<Table>\n<Field>\t\n|4|a marker with a tab beside it: write <Field> alone on its line
EOF

# --- errors about the converted file name that file, with the system's words
mkdir -p "$work/taken" "$work/taken/ok_tmp.kef"
cp "$work/ok.kef" "$work/taken/ok.kef"
"$tool" "$work/taken/ok.kef" 2>"$work/err" >/dev/null; status=$?
check "converted file cannot be written: status" 2 "$status"
check "converted file cannot be written: names it" \
  "kefconvert: $work/taken/ok_tmp.kef: Path/File access error (error 75)" "$(head -n 1 "$work/err")"
check "converted file cannot be written: the system's reason" \
  "kefconvert: $work/taken/ok_tmp.kef: note: the converted file of $work/taken/ok.kef cannot be written: Is a directory" \
  "$(sed -n 2p "$work/err")"
(cd "$work" && "$tool" abc) 2>"$work/err" >/dev/null
check "name too short: error 5" "kefconvert: abc: Invalid procedure call or argument (error 5)" \
  "$(head -n 1 "$work/err")"

"$tool" --codepage 1251 "$work/ok.kef" >/dev/null 2>&1; check "--codepage 1251 accepted" 0 "$?"
for page in 932 cp936 CP949 windows-950 utf-8 65001 windows-1250; do
  "$tool" --codepage "$page" "$work/ok.kef" >/dev/null 2>&1; check "--codepage $page accepted" 0 "$?"
done
"$tool" --codepage=cp437 "$work/ok.kef" >/dev/null 2>"$work/err"; status=$?
check "--codepage cp437 refused" 64 "$status"
check "--codepage cp437: names the accepted pages" \
  "kefconvert: unsupported code page 'cp437' (use 874, 1250 to 1258, 932, 936, 949, 950 and 65001, or names such as cp932, windows-1252 and utf-8)" \
  "$(cat "$work/err")"

printf '\xEF\xBB\xBF<Project>\r\n<Database>\r\n' > "$work/marked.kef"
"$tool" --codepage 65001 "$work/marked.kef" >/dev/null 2>&1; status=$?
check "byte order mark in 65001: converted" 0 "$status"
check "byte order mark in 65001: kept" "efbbbf3c50726f6a656374" \
  "$(head -c 11 "$work/marked_tmp.kef" | od -An -tx1 | tr -d ' \n')"

printf '<Project>\r\nName=Gr\xC3\xB6\xC3\x9Fe\r\n<Database>\r\n' > "$work/utf8.kef"
"$tool" "$work/utf8.kef" >/dev/null 2>"$work/err"
check "UTF-8 read as 1252: note" \
  "kefconvert: $work/utf8.kef: note: looks like UTF-8; use --codepage 65001" "$(cat "$work/err")"
"$tool" --codepage 65001 "$work/utf8.kef" >/dev/null 2>"$work/err"
check "UTF-8 read as 65001: no note" "" "$(cat "$work/err")"
"$tool" >/dev/null 2>&1; check "no file: usage error" 64 "$?"
"$tool" --bogus "$work/ok.kef" >/dev/null 2>&1; check "unknown option: usage error" 64 "$?"
"$tool" -i --check "$work/ok.kef" >/dev/null 2>&1; check "-i with --check: usage error" 64 "$?"
"$tool" -o x.kef "$work/ok.kef" "$work/bad.kef" >/dev/null 2>&1
check "-o with two files: usage error" 64 "$?"
"$tool" --in-place=a/b "$work/ok.kef" >/dev/null 2>&1
check "backup suffix with a separator: usage error" 64 "$?"
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
check "SIGTERM: no converted file, as after any failure" "absent" \
  "$([ -e "$work/held_tmp.kef" ] && echo present || echo absent)"
check "SIGTERM: no hidden file left" "" "$(ls -A "$work" | grep '^\.')"

# over the file-size limit: "Disk full", and the tool goes on with the next file
{
  printf '<Project>\r\n<Database>\r\n<Table>\r\n'
  for i in $(seq 200); do printf '<Field>\r\nName=f%d\r\n' "$i"; done
} > "$work/big.kef"
out=$(ulimit -f 16; "$tool" "$work/big.kef" "$work/ok.kef" 2>"$work/err"); status=$?
check "file-size limit: status" 2 "$status"
check "file-size limit: message names the converted file" \
  "kefconvert: $work/big_tmp.kef: Disk full (error 61)" "$(head -n 1 "$work/err")"
check "file-size limit: next file converted" "$work/ok_tmp.kef" "$out"
check "file-size limit: no converted file, no hidden file" "absent|" \
  "$([ -e "$work/big_tmp.kef" ] && echo present || echo absent)|$(ls -A "$work" | grep '^\.')"

if [ -f "$source_dir/examples/shop.kef" ]; then
  cp "$source_dir/examples/shop.kef" "$work/shop.kef"
  "$tool" "$work/shop.kef" >/dev/null; check "sample converts" 0 "$?"
  cmp -s "$source_dir/examples/shop.kef" "$work/shop.kef"; check "sample left as it was" 0 "$?"
fi

# --- the readable report: after the path, one line per event
printf '<Project>\r\nProjLang=1\r\nCaptoin=Oops\r\njust text\r\n<Database>\r\n' > "$work/events.kef"
"$tool" --report "$work/events.kef" > "$work/out" 2>"$work/err"
check "--report: path, then each event" \
  "$work/events_tmp.kef
$work/events.kef:2: dropped: ProjLang (no counterpart in the new layout)
$work/events.kef:3: unknown-key: Captoin (not a key of the project section; written under its own name)
$work/events.kef:4: stray-text (text without \"=\" kept inside the element, which XML readers reject)" \
  "$(cat "$work/out")"
"$tool" "$work/events.kef" > "$work/out"
check "without --report: the path alone" "$work/events_tmp.kef" "$(cat "$work/out")"

# --- several files: the summary, -q, files already converted and converted files
mkdir -p "$work/batch"
cp "$work/ok.kef" "$work/lower.kef" "$work/bad.kef" "$work/batch/"
cp "$work/ok_tmp.kef" "$work/batch/new.kef"
(cd "$work/batch" && "$tool" bad.kef lower.kef new.kef ok.kef) >/dev/null 2>"$work/err"
check "summary: last line on stderr" \
  "kefconvert: 1 converted, 1 skipped, 1 not a project file, 1 failed" "$(tail -n 1 "$work/err")"
check "already converted: a note" "kefconvert: new.kef: note: already converted (its first line is the new layout's); skipped" \
  "$(grep 'new.kef' "$work/err")"
check "already converted: nothing written" no "$([ -e "$work/batch/new_tmp.kef" ] && echo yes || echo no)"
(cd "$work/batch" && "$tool" -q bad.kef lower.kef new.kef ok.kef) >/dev/null 2>"$work/err"
check "-q: no notes and no summary" \
  "kefconvert: bad.kef:5: Type mismatch (error 13)|kefconvert: lower.kef: not a project file of the old layout (first line is not <Project>)" \
  "$(paste -s -d '|' "$work/err")"
(cd "$work/batch" && "$tool" new.kef ok.kef) >/dev/null 2>&1
check "already converted does not change the exit status" 0 "$?"
"$tool" "$work/ok.kef" 2>"$work/err" >/dev/null
check "one file: no summary" "" "$(cat "$work/err")"

# --- rerun: the outputs of the first run are not converted again
mkdir -p "$work/rerun"
cp "$work/ok.kef" "$work/rerun/a.kef"
cp "$source_dir/examples/shop.kef" "$work/rerun/shop.kef"
first=$(cd "$work/rerun" && "$tool" *.kef 2>/dev/null); first_status=$?
second=$(cd "$work/rerun" && "$tool" *.kef 2>"$work/err"); second_status=$?
check "rerun: first run" "0 a_tmp.kef shop_tmp.kef" "$first_status $(echo $first)"
check "rerun: second run exits 0 and converts only the projects" "0 a_tmp.kef shop_tmp.kef" \
  "$second_status $(echo $second)"
check "rerun: no converted file of a converted file" "a.kef a_tmp.kef shop.kef shop_tmp.kef" \
  "$(cd "$work/rerun" && echo *)"
check "rerun: converted files named" \
  "kefconvert: a_tmp.kef: note: a converted file (its name ends in _tmp.kef); not converted again" \
  "$(head -n 1 "$work/err")"

# --- two arguments, one converted file: the second is refused
mkdir -p "$work/same"
cp "$work/ok.kef" "$work/same/shop.kef"
cp "$work/ok.kef" "$work/same/shop.txt"
(cd "$work/same" && "$tool" shop.kef shop.txt ./shop.kef) >"$work/out" 2>"$work/err"; status=$?
check "same converted file: the second is refused" \
  "2|kefconvert: shop.txt: File already exists (error 58)|kefconvert: shop.txt: note: its converted file shop_tmp.kef is that of shop.kef, given before; not converted" \
  "$status|$(sed -n 1,2p "$work/err" | paste -s -d '|')"
check "same file twice: skipped" \
  "kefconvert: ./shop.kef: note: given before as shop.kef; not converted again" "$(sed -n 3p "$work/err")"

# --- one file through a link to it and through a linked folder: converted once
mkdir -p "$work/twonames/real"
cp "$work/ok.kef" "$work/twonames/real/shop.kef"
ln -s real "$work/twonames/via"
ln -s real/shop.kef "$work/twonames/link.kef"
(cd "$work/twonames" && "$tool" real/shop.kef via/shop.kef link.kef) >"$work/out" 2>"$work/err"
check "same file through links: each later name skipped" \
  "kefconvert: via/shop.kef: note: given before as real/shop.kef; not converted again|kefconvert: link.kef: note: given before as real/shop.kef; not converted again" \
  "$(sed -n 1,2p "$work/err" | paste -s -d '|')"

# --- in place, with a backup
mkdir -p "$work/inplace"
cp "$source_dir/examples/shop.kef" "$work/inplace/shop.kef"
cp "$work/bad.kef" "$work/inplace/bad.kef"
inode=$(stat -c %i "$work/inplace/shop.kef")
(cd "$work/inplace" && "$tool" -o - shop.kef) > "$work/expected"
out=$(cd "$work/inplace" && "$tool" -i shop.kef 2>"$work/err"); status=$?
check "in place: status and path" "0 shop.kef" "$status $out"
cmp -s "$work/expected" "$work/inplace/shop.kef"; check "in place: the file holds the converted text" 0 "$?"
cmp -s "$source_dir/examples/shop.kef" "$work/inplace/shop.kef.bak"
check "in place: the backup holds the original bytes" 0 "$?"
check "in place: the backup is the original file, not a copy" "$inode" \
  "$(stat -c %i "$work/inplace/shop.kef.bak")"
check "in place: no converted file beside it" "bad.kef shop.kef shop.kef.bak" "$(cd "$work/inplace" && echo *)"

cp "$source_dir/examples/shop.kef" "$work/inplace/other.kef"
printf 'kept' > "$work/inplace/other.kef.bak"
(cd "$work/inplace" && "$tool" -i other.kef) >/dev/null 2>"$work/err"; status=$?
check "in place: an existing backup refuses the file" \
  "2|kefconvert: other.kef.bak: File already exists (error 58)" "$status|$(head -n 1 "$work/err")"
check "in place: the refused file is as it was" "$(cksum < "$source_dir/examples/shop.kef")" \
  "$(cksum < "$work/inplace/other.kef")"
check "in place: the existing backup is as it was" kept "$(cat "$work/inplace/other.kef.bak")"

(cd "$work/inplace" && "$tool" --in-place=.orig bad.kef) >/dev/null 2>&1; status=$?
check "in place: a failure leaves the file, no backup and no converted file" \
  "2 $(cksum < "$work/bad.kef") bad.kef other.kef other.kef.bak shop.kef shop.kef.bak" \
  "$status $(cksum < "$work/inplace/bad.kef") $(cd "$work/inplace" && echo *)"

cp "$source_dir/examples/shop.kef" "$work/inplace/left.kef"
ln "$work/inplace/left.kef" "$work/inplace/left.kef.bak"
(cd "$work/inplace" && "$tool" -i left.kef) >/dev/null 2>&1
check "in place: a backup left by an interrupted run, still the file itself, serves" \
  "0 $(cksum < "$source_dir/examples/shop.kef") $(cksum < "$work/expected")" \
  "$? $(cksum < "$work/inplace/left.kef.bak") $(cksum < "$work/inplace/left.kef")"

mkdir -p "$work/linked"
cp "$source_dir/examples/shop.kef" "$work/linked/real.kef"
ln -s real.kef "$work/linked/link.kef"
(cd "$work/linked" && "$tool" -i link.kef) >/dev/null 2>&1
check "in place through a symbolic link: the backup is the file it named" \
  "0 regular file $(cksum < "$source_dir/examples/shop.kef") $(stat -c %i "$work/linked/real.kef")" \
  "$? $(stat -c %F "$work/linked/link.kef.bak") $(cksum < "$work/linked/link.kef.bak") $(stat -c %i "$work/linked/link.kef.bak")"

rm "$work/inplace/bad.kef" "$work/inplace/other.kef"* "$work/inplace/left.kef"*
before=$(snapshot "$work/inplace")
out=$(cd "$work/inplace" && "$tool" -i *.kef 2>"$work/err"); status=$?
check "in place, run again: exits 0, converts nothing" "0 " "$status $out"
check "in place, run again: already converted" \
  "kefconvert: shop.kef: note: already converted (its first line is the new layout's); skipped" \
  "$(cat "$work/err")"
check "in place, run again: nothing touched" "$before" "$(snapshot "$work/inplace")"

# --- folders, and --check, which writes nothing
mkdir -p "$work/tree/b/deeper" "$work/tree/a" "$work/tree/empty"
cp "$source_dir/examples/shop.kef" "$work/tree/b/deeper/shop.kef"
cp "$work/ok.kef" "$work/tree/a/Upper.KEF"
cp "$work/ok.kef" "$work/tree/z.kef"
cp "$work/ok_tmp.kef" "$work/tree/a/old_tmp.kef"
cp "$work/bad.kef" "$work/tree/b/bad.kef"
printf 'notes\n' > "$work/tree/notes.txt"
before=$(snapshot "$work/tree")
"$tool" --check "$work/tree" >"$work/out" 2>"$work/err"; status=$?
check "--check: the folder is unchanged" "$before" "$(snapshot "$work/tree")"
check "--check: errors and the summary, nothing on stdout" \
  "2||kefconvert: $work/tree/b/bad.kef:5: Type mismatch (error 13)|kefconvert: 3 converted, 0 skipped, 0 not project files, 1 failed" \
  "$status|$(cat "$work/out")|$(paste -s -d '|' "$work/err")"
"$tool" --check --report "$work/tree/b/deeper/shop.kef" >"$work/out" 2>&1
check "--check --report: the events" \
  "$work/tree/b/deeper/shop.kef:2: rewritten: Version (value \"1.3.0.1\" written as \"2.0.0.0\")" \
  "$(head -n 1 "$work/out")"
"$tool" "$work/tree" >"$work/out" 2>/dev/null; status=$?
check "folder: every project file below it, in name order, converted files left out" \
  "2 $work/tree/a/Upper_tmp.kef $work/tree/b/deeper/shop_tmp.kef $work/tree/z_tmp.kef" \
  "$status $(echo $(cat "$work/out"))"
check "folder: no converted file of a converted file" no \
  "$([ -e "$work/tree/a/old_tmp_tmp.kef" ] && echo yes || echo no)"
"$tool" "$work/tree/empty" >/dev/null 2>"$work/err"
check "empty folder: exit 0 and a note" \
  "0 kefconvert: $work/tree/empty: note: no project files (*.kef) in this folder" "$? $(cat "$work/err")"

# --- one project to a named file, or to standard output
"$tool" -o "$work/named.kef" "$work/ok.kef" >"$work/out"
check "-o FILE: prints FILE" "$work/named.kef" "$(cat "$work/out")"
cmp -s "$work/named.kef" "$work/ok_tmp.kef"; check "-o FILE: the converted text" 0 "$?"
"$tool" -o - "$work/ok.kef" >"$work/out"
cmp -s "$work/out" "$work/ok_tmp.kef"; check "-o -: the converted text on stdout, byte for byte" 0 "$?"
"$tool" -o - "$work/bad.kef" >"$work/out" 2>/dev/null
check "-o -: a failure writes nothing" "2 0" "$? $(stat -c %s "$work/out")"

# --- the JSON report, read by a JSON parser
mkdir -p "$work/json"
printf '<Project>\r\nName=Shop\r\nCapt\xE9oin=Oops\r\n<Database>\r\nADOVer=2.7\r\n' > "$work/json/$(printf 'caf\xE9.kef')"
printf '<Project>\r\nProjLang=1\r\n<Database>\r\n<Table>\r\n<table>\r\n' > "$work/json/format.kef"
cp "$work/lower.kef" "$work/ok_tmp.kef" "$work/json/"
(cd "$work/json" && "$tool" --report=json *.kef) >"$work/out" 2>/dev/null
check "--report=json: exit status" 2 "$?"
python3 - "$work/out" > "$work/json.check" 2>&1 <<'PYTHON'
import json, os, sys

def shape(value):
    """The JSON types of a value, with object keys in order."""
    if isinstance(value, dict):
        return "{" + ", ".join(f"{key}: {shape(item)}" for key, item in value.items()) + "}"
    if isinstance(value, list):
        return "[" + ", ".join(sorted(set(shape(item) for item in value))) + "]"
    return {str: "string", int: "number", type(None): "null"}[type(value)]

with open(sys.argv[1], encoding="utf-8") as lines:
    for line in lines:
        record = json.loads(line)
        print(os.fsencode(record["file"]), record["status"], shape(record))
        for event in record["events"]:
            print("  ", event["line"], event["kind"], event["section"],
                  None if event["key"] is None else os.fsencode(event["key"]))
PYTHON
check "--report=json: one object per file, in the documented shape" \
  "b'caf\\xe9.kef' converted {file: string, status: string, output: string, error: null, events: [{line: number, kind: string, section: string, key: string, message: string}]}
   3 unknown-key project b'Capt\\xe9oin'
   5 dropped database b'ADOVer'
b'format.kef' failed {file: string, status: string, output: null, error: {number: number, line: number, description: string}, events: [{line: number, kind: string, section: string, key: string, message: string}]}
   2 dropped project b'ProjLang'
b'lower.kef' not-a-project {file: string, status: string, output: null, error: null, events: []}
b'ok_tmp.kef' skipped {file: string, status: string, output: null, error: null, events: []}" \
  "$(cat "$work/json.check")"
check "--report=json: the failure" '"error": {"number": 321, "line": 5, "description": "Invalid file format"}' \
  "$(grep -o '"error": {[^}]*}' "$work/out")"

finish
