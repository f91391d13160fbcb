#!/usr/bin/env bash
# Registration end to end: register the library in a registry store, create the class by
# ProgID through the store and convert, unregister, and see creation fail.
# usage: host_test.sh KEFCONVERT_HOST LIBKEFCONVERT VERSION
set -u
host=$1
library=$2
version=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export KEFCONVERT_REGISTRY=$work/store/registry.reg

. "$(dirname "$0")/../support/checks.sh"

mkdir "$work/store"
printf 'REGEDIT4\n\n[HKEY_CLASSES_ROOT\\Other.Thing\\CLSID]\n@="{11111111-2222-3333-4444-555555555555}"\n' \
  > "$KEFCONVERT_REGISTRY"
cp "$KEFCONVERT_REGISTRY" "$work/before.reg"
printf '<Project>\r\nName=Shop\r\n<Database>\r\n' > "$work/shop.kef"
printf '<Project>\r\n<Database>\r\n<Table>\r\n<Field>\r\nType=x\r\n.\r\n' > "$work/bad.kef"
printf 'notes\r\n' > "$work/notes.kef"

"$host" --register "$library"; status=$?
check "register: status" 0 "$status"
check "register: ProgID recorded" '@="{4086AB62-87E5-49EB-AFDC-30E58A63B0CF}"' \
  "$(grep -A1 -F '[HKEY_CLASSES_ROOT\KEFConvert.Convert\CLSID]' "$KEFCONVERT_REGISTRY" | sed -n 2p)"
check "register: apartment threaded" 1 "$(grep -c -F '"ThreadingModel"="Apartment"' "$KEFCONVERT_REGISTRY")"

out=$("$host" "$work/shop.kef" 2>"$work/err"); status=$?
check "convert by ProgID: status" 0 "$status"
check "convert by ProgID: prints the converted file" "$work/shop_tmp.kef" "$out"
check "convert by ProgID: file written" yes "$([ -s "$work/shop_tmp.kef" ] && echo yes)"

out=$("$host" "$work/notes.kef" "$work/bad.kef" 2>"$work/err"); status=$?
check "failures: status" 2 "$status"
check "failures: not a project file" \
  "kefconvert-host: $work/notes.kef: not a project file of the old layout" "$(sed -n 1p "$work/err")"
check "failures: the error's description and HRESULT" \
  "kefconvert-host: $work/bad.kef: Type mismatch (line 5) (0x800A000D)" "$(sed -n 2p "$work/err")"

# over the file-size limit: "Disk full", and the host goes on with the next file
{
  printf '<Project>\r\n<Database>\r\n<Table>\r\n'
  for i in $(seq 200); do printf '<Field>\r\nName=f%d\r\n' "$i"; done
} > "$work/big.kef"
out=$(ulimit -f 16; "$host" "$work/big.kef" "$work/shop.kef" 2>"$work/err"); status=$?
check "file-size limit: status" 2 "$status"
check "file-size limit: Disk full" \
  "kefconvert-host: $work/big.kef: Disk full (0x800A003D)" "$(cat "$work/err")"
check "file-size limit: next file converted" "$work/shop_tmp.kef" "$out"

# SIGTERM while the project file is read: the conversion is abandoned, as after a failure
mkfifo "$work/held.kef"
(printf '<Project>\r\n<Database>\r\n'; exec sleep 20) > "$work/held.kef" 2>/dev/null &
writer=$!
"$host" "$work/held.kef" >/dev/null 2>&1 &
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

"$host" --unregister "$library"; status=$?
check "unregister: status" 0 "$status"
check "unregister: other entries survive, ours are gone" "$(cat "$work/before.reg")" \
  "$(cat "$KEFCONVERT_REGISTRY")"

"$host" "$work/shop.kef" 2>"$work/err"; status=$?
check "after unregistering: status" 3 "$status"
check "after unregistering: class not registered" \
  "kefconvert-host: cannot create KEFConvert.Convert (0x80040154): class not registered" \
  "$(cat "$work/err")"

"$host" 2>/dev/null; check "no arguments: status" 64 "$?"
out=$("$host" --version); status=$?
check "--version: status" 0 "$status"
check "--version: names the program and the version" "kefconvert-host $version" "$out"
out=$("$host" --help); status=$?
check "--help: status" 0 "$status"
check "--help: usage first" 1 "$(sed -n 1p <<< "$out" | grep -c '^usage: kefconvert-host FILE\.\.\.')"
check "--help: names the exit statuses" 1 "$(grep -c '^Exit status: 0 all converted' <<< "$out")"

# A library whose path holds a line break is refused; the store stays as it was.
mkdir "$work/a
b"
cp "$library" "$work/a
b/libKEFConvert.so"
cp "$KEFCONVERT_REGISTRY" "$work/before-newline.reg"
"$host" --register "$work/a
b/libKEFConvert.so" 2>"$work/err"; status=$?
check "path with a line break: status" 2 "$status"
check "path with a line break: E_INVALIDARG" 1 "$(grep -c '(0x80070057): the store cannot hold a path with a line break' "$work/err")"
check "path with a line break: store unchanged" "$(cat "$work/before-newline.reg")" \
  "$(cat "$KEFCONVERT_REGISTRY")"

finish
