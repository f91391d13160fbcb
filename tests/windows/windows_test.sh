#!/usr/bin/env bash
# Runs a Windows build under Wine as Windows hosts use it: KEFConvert.dll registered with
# regsvr32, created by a script and by a C++ client, its resources read back, its output
# compared byte for byte with the Linux build's, and unregistered again. Every program
# prints one line per check and this script compares the lines; exit statuses alone prove
# little (a VBScript runtime error under Wine ends the script with status 0).
#
# usage: windows_test.sh WINDOWS_BUILD LINUX_BUILD [READER_BUILD]
#   WINDOWS_BUILD  build folder of the i686-w64-mingw32 or the x86_64-w64-mingw32 toolchain
#                  (KEFConvert.dll, kefconvert.exe)
#   LINUX_BUILD    build folder of the native build (kefconvert)
#   READER_BUILD   a 64-bit build folder, used when WINDOWS_BUILD is 32-bit and this machine
#                  cannot start 32-bit programs (a kernel without 32-bit support): then the
#                  32-bit build is read, not run, its resources by the 64-bit reader
# The DLL's machine decides the rest: a 32-bit DLL runs in a 32-bit Wine prefix (Debian: wine
# wine32:i386), a 64-bit one in a 64-bit prefix with 64-bit programs (Debian: wine64), the
# regsvr32, cscript and reg of the 64-bit view. The prefix is WINDOWS_BUILD/wineprefix, made
# fresh.
set -u
win_build=$(cd "$1" && pwd)
linux_build=$(cd "$2" && pwd)
reader_build=${3:+$(cd "$3" && pwd)}
source_dir=$(cd "$(dirname "$0")/../.." && pwd)
tests=$source_dir/tests/windows

dll=$win_build/KEFConvert.dll
win_tool=$win_build/kefconvert.exe
linux_tool=$linux_build/kefconvert
for file in "$dll" "$win_tool" "$linux_tool"; do
  if [ ! -f "$file" ]; then echo "missing $file: build both first"; exit 2; fi
done

# The machine field of a PE file's header.
pe_machine() {  # pe_machine FILE
  local header
  header=$(od -An -tu4 -j60 -N4 "$1" | tr -d ' ')
  od -An -tx2 -j$((header + 4)) -N2 "$1" | tr -d ' '
}
case $(pe_machine "$dll") in
  014c) wine=wine typelib_platform=win32 resources_expected=resource_check.expected
        export WINEARCH=win32 ;;
  8664) wine=/usr/lib/wine/wine64 typelib_platform=win64
        resources_expected=resource_check_x64.expected
        export WINEARCH=win64 ;;
  *) echo "$dll is neither an x86 nor an x64 DLL"; exit 2 ;;
esac
echo "     (a $WINEARCH DLL in a $WINEARCH Wine prefix)"

export WINEPREFIX=$win_build/wineprefix WINEDEBUG=-all
# no .NET or HTML engine needed: skip the offer to install them
export WINEDLLOVERRIDES="mscoree,mshtml="
export LC_ALL=C.UTF-8

failures=0
pass() { echo "ok   $1"; }
fail() { echo "FAIL $1"; failures=$((failures + 1)); }

check() {  # check NAME EXPECTED ACTUAL
  if [ "$2" == "$3" ]; then pass "$1"; else
    fail "$1"; echo "  expected: $2"; echo "  actual:   $3"
  fi
}

# Compares what a program printed (CR LF or LF lines) with an expected file, after writing
# the folder of the run as <dir>.
check_lines() {  # check_lines NAME EXPECTED_FILE ACTUAL_FILE
  local actual
  actual=$(tr -d '\r' < "$3")
  if diff -u "$2" <(printf '%s\n' "$actual") > "$3.diff"; then pass "$1"; else
    fail "$1"; cat "$3.diff"
  fi
}

winpath() { "$wine" winepath -w "$1" 2>/dev/null; }

# What a 32-bit build can be checked for without running it: the four server exports
# undecorated, only system DLLs imported (a MinGW runtime DLL would be missing on a host),
# and its resources and type library as a 64-bit program reads them.
check_32bit_build_unrun() {
  local dump name
  echo "     (this machine cannot start 32-bit programs: the 32-bit build is read, not run)"
  dump=$(i686-w64-mingw32-objdump -p "$dll")
  check "exports: the four server functions, undecorated" \
    "DllCanUnloadNow DllGetClassObject DllRegisterServer DllUnregisterServer" \
    "$(sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/s/^[[:space:]]*\[ *[0-9]*\] //p' <<< "$dump" | paste -s -d ' ')"
  for name in "$dll" "$win_tool"; do
    check "$(basename "$name") imports only system DLLs" "" \
      "$(i686-w64-mingw32-objdump -p "$name" | sed -n 's/^[[:space:]]*DLL Name: //p' |
         grep -v -i -x -E '(advapi32|kernel32|msvcrt|oleaut32|ole32|user32|shell32)\.dll' | paste -s -d ' ')"
  done
  if [ -z "$reader_build" ]; then
    echo "     (no 64-bit READER_BUILD given: resources not read)"
    return
  fi
  wine=/usr/lib/wine/wine64
  export WINEARCH=win64
  rm -rf "$WINEPREFIX" && mkdir -p "$work"
  "$wine" wineboot --init > "$work/wineboot.log" 2>&1
  wineserver --wait
  "$wine" "$reader_build/tests/windows/resource_check.exe" "$(winpath "$dll")" \
    > "$work/resources.txt" 2>&1
  check_lines "version information and type library read back by a 64-bit program" \
    "$tests/$resources_expected" "$work/resources.txt"
  wineserver --kill 2>/dev/null
}

# The data of value NAME ("(Default)" for the default value) of registry key KEY (in the
# 32-bit view with /reg:32), or "absent".
reg_value_once() {  # reg_value_once KEY NAME [/reg:32]
  local out
  out=$("$wine" reg query "$1" ${3:+"$3"} 2>/dev/null | tr -d '\r') || { echo absent; return; }
  awk -v name="$2" '$1 == name && $2 == "REG_SZ" { sub(/^[ \t]*[^ \t]+[ \t]+REG_SZ[ \t]+/, ""); print; found = 1 }
                    END { if (!found) print "absent" }' <<< "$out"
}
reg_value() {  # reg_value KEY NAME [/reg:32]; a busy machine's Wine once answered "absent" early
  local value
  value=$(reg_value_once "$@")
  if [ "$value" = absent ]; then wineserver --wait 2>/dev/null; sleep 1; value=$(reg_value_once "$@"); fi
  echo "$value"
}

work=$win_build/wine-test
rm -rf "$work" "$WINEPREFIX"
mkdir -p "$work"
if [ "$WINEARCH" == win32 ] && ! "$wine" --version > /dev/null 2>&1; then
  check_32bit_build_unrun
  if [ "$failures" -ne 0 ]; then echo "$failures check(s) failed"; exit 1; fi
  echo "all checks that need no 32-bit process passed"
  exit 0
fi
start=$(date +%s)
"$wine" wineboot --init > "$work/wineboot.log" 2>&1
wineserver --wait
echo "     (fresh Wine prefix in $(( $(date +%s) - start ))s)"

clsid='{4086AB62-87E5-49EB-AFDC-30E58A63B0CF}'
iid='{22D1C84A-96FF-47E8-A720-DC42A7EF7517}'
libid='{885579CE-7926-4AF9-84F4-425DEC5ACFAA}'
dll_win=$(winpath "$dll")

# --- the resources, before anything is registered
"$wine" "$win_build/tests/windows/resource_check.exe" "$dll_win" > "$work/resources.txt" 2>&1
check_lines "version information and type library read back" \
  "$tests/$resources_expected" "$work/resources.txt"

# --- registration
"$wine" regsvr32 /s "$dll_win" > "$work/regsvr32.log" 2>&1
check "regsvr32 registers the DLL: status" 0 $?
check "ProgID names the class" "$clsid" "$(reg_value 'HKCR\KEFConvert.Convert\CLSID' '(Default)')"
check "class: in-process server is the DLL" "$dll_win" \
  "$(reg_value "HKCR\\CLSID\\$clsid\\InprocServer32" '(Default)')"
if [ "$WINEARCH" == win64 ]; then
  check "class: registered in the 64-bit view only" absent \
    "$(reg_value "HKCR\\CLSID\\$clsid\\InprocServer32" '(Default)' /reg:32)"
fi
check "class: apartment threading" Apartment \
  "$(reg_value "HKCR\\CLSID\\$clsid\\InprocServer32" ThreadingModel)"
check "class: ProgID" KEFConvert.Convert "$(reg_value "HKCR\\CLSID\\$clsid\\ProgID" '(Default)')"
check "class: type library" "$libid" "$(reg_value "HKCR\\CLSID\\$clsid\\TypeLib" '(Default)')"
check "interface: type library" "$libid" \
  "$(reg_value "HKCR\\Interface\\$iid\\TypeLib" '(Default)')"
check "interface: automation marshaler" '{00020424-0000-0000-C000-000000000046}' \
  "$(reg_value "HKCR\\Interface\\$iid\\ProxyStubClsid32" '(Default)')"
check "type library 2.0: name" KEFConvert "$(reg_value "HKCR\\TypeLib\\$libid\\2.0" '(Default)')"
check "type library 2.0: $typelib_platform file" "$dll_win" \
  "$(reg_value "HKCR\\TypeLib\\$libid\\2.0\\0\\$typelib_platform" '(Default)')"

# --- a script host, late-bound by name
unicode_name='Проект-Ωμέγα-中文'
mkdir -p "$work/script"
cp "$tests"/corpus/*.kef "$source_dir/examples/shop.kef" "$work/script/"
cp "$source_dir/examples/shop.kef" "$work/script/$unicode_name.kef"
script_dir=$(winpath "$work/script")
"$wine" cscript //nologo "$(winpath "$tests/component_checks.vbs")" "$script_dir" "$unicode_name" \
  > "$work/script.txt" 2>&1
check_lines "VBScript: CreateObject and ConvertProject" \
  "$tests/component_checks.expected" "$work/script.txt"

# --- a C++ client: the eighth slot, IDispatch::Invoke, GetErrorInfo
mkdir -p "$work/client"
cp "$tests"/corpus/*.kef "$source_dir/examples/shop.kef" "$work/client/"
client_dir=$(winpath "$work/client")
"$wine" "$win_build/tests/windows/com_client.exe" "$client_dir" > "$work/client.txt" 2>&1
check_lines "C++ client: CoCreateInstance, slot 8, Invoke, GetErrorInfo" \
  "$tests/com_client.expected" "$work/client.txt"

# --- the same bytes as the Linux build, through the component and through the tool
corpus=()
for file in "$tests"/corpus/*.kef "$source_dir/examples/shop.kef"; do corpus+=("$(basename "$file")"); done
for side in linux dll exe; do
  mkdir -p "$work/$side"
  cp "$tests"/corpus/*.kef "$source_dir/examples/shop.kef" "$work/$side/"
done
outcome_of_linux_tool() {  # NAME: ok | null | error N, as convert_files.vbs prints it
  local status message
  message=$("$linux_tool" "$work/linux/$1" 2>&1 >/dev/null)
  status=$?
  case $status in
    0) echo "$1: ok" ;;
    1) echo "$1: null" ;;
    *) echo "$1: error $(sed -n 's/.*(error \([0-9]*\)).*/\1/p' <<< "$message" | head -n 1)" ;;
  esac
}
for name in "${corpus[@]}"; do outcome_of_linux_tool "$name"; done > "$work/linux.txt"
"$wine" cscript //nologo "$(winpath "$tests/convert_files.vbs")" "$(winpath "$work/dll")" \
  "${corpus[@]}" > "$work/dll.txt" 2>&1
check_lines "component: same outcome as the Linux build for every corpus file" \
  "$work/linux.txt" "$work/dll.txt"
(cd "$work/exe" && for name in "${corpus[@]}"; do "$wine" "$win_tool" "$name"; done) > /dev/null 2>&1
converted=0
for name in "${corpus[@]}"; do
  result=${name%????}_tmp.kef
  for side in dll exe; do
    # where the tool writes nothing (a failure, not a project file), the component keeps
    # its contract of an empty converted file
    if [ ! -e "$work/linux/$result" ]; then
      if { [ $side = dll ] && [ -f "$work/dll/$result" ] && [ ! -s "$work/dll/$result" ]; } ||
        { [ $side = exe ] && [ ! -e "$work/exe/$result" ]; }; then
        converted=$((converted + 1))
      else
        fail "$side: $result should be $([ $side = dll ] && echo empty || echo absent)"
      fi
    elif cmp -s "$work/linux/$result" "$work/$side/$result"; then
      converted=$((converted + 1))
    else
      fail "$side: $result differs from the Linux build's"
    fi
  done
done
check "component and tool write the Linux build's bytes (files compared)" \
  $((2 * ${#corpus[@]})) "$converted"

# --- the system's ANSI code page decides, double-byte ones included: the DLL reads them
# with MultiByteToWideChar, the Linux build with tables from iconv
for case in C.UTF-8:1252:code_page ru_RU.UTF-8:1251:code_page th_TH.UTF-8:874:code_page \
  tr_TR.UTF-8:1254:code_page ja_JP.UTF-8:932:code_page_932 zh_CN.UTF-8:936:code_page_936 \
  ko_KR.UTF-8:949:code_page_949 zh_TW.UTF-8:950:code_page_950; do
  IFS=: read -r locale code_page file <<< "$case"
  rm -rf "$work/cp" && mkdir -p "$work/cp/linux" "$work/cp/dll"
  cp "$tests/corpus/$file.kef" "$work/cp/linux/"
  cp "$tests/corpus/$file.kef" "$work/cp/dll/"
  "$linux_tool" --codepage "$code_page" "$work/cp/linux/$file.kef" > /dev/null
  LC_ALL=$locale "$wine" cscript //nologo "$(winpath "$tests/convert_files.vbs")" \
    "$(winpath "$work/cp/dll")" "$file.kef" > /dev/null 2>&1
  if cmp -s "$work/cp/linux/${file}_tmp.kef" "$work/cp/dll/${file}_tmp.kef"; then
    pass "system locale $locale converts as code page $code_page"
  else
    fail "system locale $locale converts as code page $code_page"
  fi
done

# --- the Windows file layer fails with the numbers of the POSIX one
mkdir -p "$work/errors/folder.kef"
cp "$source_dir/examples/shop.kef" "$work/errors/linked.kef"
ln -f "$work/errors/linked.kef" "$work/errors/linked_tmp.kef"
error_number() { sed -n 's/.*(error \([0-9]*\)).*/\1/p' | head -n 1; }
for case in missing.kef 'no folder/missing.kef' folder.kef linked.kef; do
  linux_number=$(cd "$work/errors" && "$linux_tool" "${case}" 2>&1 >/dev/null | error_number)
  windows_number=$(cd "$work/errors" && "$wine" "$win_tool" "${case}" 2>&1 >/dev/null | error_number)
  check "tool on Windows: error number for $case as on Linux ($linux_number)" \
    "$linux_number" "$windows_number"
done
check "project file reached under another name stays intact" \
  "$(cksum < "$source_dir/examples/shop.kef")" "$(cksum < "$work/errors/linked.kef")"

# --- an older converted file is replaced whole, or left empty by a failed conversion
cp "$tests/corpus/bad_type.kef" "$tests/corpus/carry_first.kef" "$work/errors/"
head -c 5000 /dev/zero | tr '\0' x | tee "$work/errors/bad_type_tmp.kef" \
  > "$work/errors/carry_first_tmp.kef"
(cd "$work/errors" && "$wine" "$win_tool" bad_type.kef carry_first.kef) > /dev/null 2>&1
check "failed conversion leaves an older converted file as it was" 5000 \
  "$(stat -c %s "$work/errors/bad_type_tmp.kef")"
check "conversion replaces a longer older converted file" \
  "$(cksum < "$work/linux/carry_first_tmp.kef")" "$(cksum < "$work/errors/carry_first_tmp.kef")"

# --- the tool takes a name outside the ANSI code page from its UTF-16 command line
cp "$source_dir/examples/shop.kef" "$work/errors/$unicode_name.kef"
check "tool on Windows converts $unicode_name.kef" "$unicode_name""_tmp.kef" \
  "$(cd "$work/errors" && "$wine" "$win_tool" "$unicode_name.kef" 2>&1 | tr -d '\r')"
check "tool on Windows: $unicode_name""_tmp.kef has the Linux build's bytes" \
  "$(cksum < "$work/linux/shop_tmp.kef")" "$(cksum < "$work/errors/$unicode_name""_tmp.kef")"

# --- kefconvert.exe as cmd.exe users run it -------------------------------------------
# The tool expands * and ? itself (cmd.exe leaves them to each program), takes /? for
# --help, and upgrades files in place. This block checks only the command-line tool.
tool_dir=$work/tool
mkdir -p "$tool_dir/sub" "$tool_dir/place"
for name in a.kef b.KEF sub/c.kef place/shop.kef; do cp "$source_dir/examples/shop.kef" "$tool_dir/$name"; done
printf 'x' > "$tool_dir/a.kefold"
run_tool() { (cd "$tool_dir" && "$wine" "$win_tool" "$@" 2>&1; echo "status $?") | tr -d '\r'; }
check "tool on Windows expands *, in name order, in any letter case" \
  "a_tmp.kef|b_tmp.kef|kefconvert: 2 converted, 0 skipped, 0 not project files, 0 failed|status 0" \
  "$(run_tool '*.kef' | paste -s -d '|')"
check "tool on Windows: a rerun skips the converted files and exits 0" \
  "$(printf '%s|' a_tmp.kef \
    'kefconvert: a_tmp.kef: note: a converted file (its name ends in _tmp.kef); not converted again' \
    b_tmp.kef \
    'kefconvert: b_tmp.kef: note: a converted file (its name ends in _tmp.kef); not converted again' \
    'kefconvert: 2 converted, 2 skipped, 0 not project files, 0 failed')status 0" \
  "$(run_tool '*.kef' | paste -s -d '|')"
check "tool on Windows expands ? in a folder" 'sub\c_tmp.kef|status 0' \
  "$(run_tool 'sub\?.kef' | paste -s -d '|')"
check "tool on Windows: a pattern that matches nothing" \
  'kefconvert: none*.kef: File not found (error 53)|kefconvert: none*.kef: note: no file matches this name|status 2' \
  "$(run_tool 'none*.kef' | paste -s -d '|')"
run_tool '/?' > "$work/tool-help.txt"
check "tool on Windows: /? is --help" "usage: kefconvert [--codepage N] [-i | --in-place[=SUFFIX] | --check | -o FILE]" \
  "$(head -n 1 "$work/tool-help.txt")"
check "tool on Windows: --help names the Windows separators for error 5" 1 \
  "$(grep -c "its last four hold a '/', '\\\\' or ':'" "$work/tool-help.txt")"
check "tool on Windows: --help points to no manual page" 0 "$(grep -c 'kefconvert(1)' "$work/tool-help.txt")"
check "tool on Windows: in place" 'place\shop.kef|status 0' "$(run_tool -i 'place\shop.kef' | paste -s -d '|')"
check "tool on Windows: in place, the backup holds the original" \
  "$(cksum < "$source_dir/examples/shop.kef")" "$(cksum < "$tool_dir/place/shop.kef.bak")"
check "tool on Windows: in place, the Linux build's bytes" \
  "$(cksum < "$work/linux/shop_tmp.kef")" "$(cksum < "$tool_dir/place/shop.kef")"
check "tool on Windows: -o - writes the bytes unchanged" "$(cksum < "$work/linux/shop_tmp.kef")" \
  "$(cd "$tool_dir" && "$wine" "$win_tool" -o - sub/c.kef 2>/dev/null | cksum)"
# --- end of the tool's block -----------------------------------------------------------

# --- unregistration
"$wine" regsvr32 /s /u "$dll_win" > "$work/regsvr32-u.log" 2>&1
check "regsvr32 /u unregisters the DLL: status" 0 $?
check "ProgID removed" absent "$(reg_value 'HKCR\KEFConvert.Convert\CLSID' '(Default)')"
check "class removed" absent "$(reg_value "HKCR\\CLSID\\$clsid\\InprocServer32" '(Default)')"
check "interface removed" absent "$(reg_value "HKCR\\Interface\\$iid\\TypeLib" '(Default)')"
check "type library removed" absent "$(reg_value "HKCR\\TypeLib\\$libid\\2.0" '(Default)')"
printf 'On Error Resume Next\r\nSet c = CreateObject("KEFConvert.Convert")\r\nWScript.Echo "CreateObject after unregistering: " & Err.Number\r\n' \
  > "$work/unregistered.vbs"
check "CreateObject fails after unregistering" "CreateObject after unregistering: 429" \
  "$("$wine" cscript //nologo "$(winpath "$work/unregistered.vbs")" 2>&1 | tr -d '\r')"

# --- the other width registered too: unregistering this DLL leaves it working
if [ "$WINEARCH" == win64 ]; then
  other_dll='C:\Tools\x86\KEFConvert.dll'
  "$wine" regsvr32 /s "$dll_win" > "$work/regsvr32-again.log" 2>&1
  # what registering the 32-bit DLL adds: its class in the 32-bit view, its type library file
  "$wine" reg add "HKCR\\CLSID\\$clsid\\InprocServer32" /ve /d "$other_dll" /f /reg:32 > /dev/null 2>&1
  "$wine" reg add "HKCR\\TypeLib\\$libid\\2.0\\0\\win32" /ve /d "$other_dll" /f > /dev/null 2>&1
  "$wine" regsvr32 /s /u "$dll_win" > "$work/regsvr32-u-again.log" 2>&1
  check "beside a 32-bit registration, regsvr32 /u: status" 0 $?
  check "beside a 32-bit registration: this class removed" absent \
    "$(reg_value "HKCR\\CLSID\\$clsid\\InprocServer32" '(Default)')"
  check "beside a 32-bit registration: this type library file removed" absent \
    "$(reg_value "HKCR\\TypeLib\\$libid\\2.0\\0\\win64" '(Default)')"
  check "beside a 32-bit registration: the 32-bit class stays" "$other_dll" \
    "$(reg_value "HKCR\\CLSID\\$clsid\\InprocServer32" '(Default)' /reg:32)"
  check "beside a 32-bit registration: the shared ProgID stays" "$clsid" \
    "$(reg_value 'HKCR\KEFConvert.Convert\CLSID' '(Default)')"
  check "beside a 32-bit registration: the win32 type library file stays" "$other_dll" \
    "$(reg_value "HKCR\\TypeLib\\$libid\\2.0\\0\\win32" '(Default)')"
  # once the 32-bit class is gone too, the last DLL takes the shared keys with it, and the
  # prefix is left clean for the package test
  "$wine" reg delete "HKCR\\CLSID\\$clsid" /f /reg:32 > /dev/null 2>&1
  "$wine" regsvr32 /s "$dll_win" > "$work/regsvr32-last.log" 2>&1
  "$wine" regsvr32 /s /u "$dll_win" > "$work/regsvr32-u-last.log" 2>&1
  check "the last DLL unregistered: ProgID removed" absent \
    "$(reg_value 'HKCR\KEFConvert.Convert\CLSID' '(Default)')"
  check "the last DLL unregistered: type library removed" absent \
    "$(reg_value "HKCR\\TypeLib\\$libid\\2.0" '(Default)')"
fi

wineserver --kill 2>/dev/null
if [ "$failures" -ne 0 ]; then
  echo "$failures check(s) failed"
  exit 1
fi
echo "all Windows checks passed"
