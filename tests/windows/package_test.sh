#!/usr/bin/env bash
# Checks the Windows ZIP as a user gets it: exactly the files it promises, the DLL of each
# width in its folder, and, extracted into a folder named like "Program Files (x86)",
# register.cmd registering both DLLs into their registry views, 64-bit and 32-bit cscript
# converting the sample through them, the tool converting it too, and unregister.cmd
# removing everything.
#
# usage: package_test.sh ZIP PREFIX
#   ZIP     KEFConvert-VERSION-win.zip
#   PREFIX  a 64-bit Wine prefix, which has the 32-bit programs too (made if missing; the
#           64-bit run of windows_test.sh leaves one in its build folder)
# Needs wine64 and wine32:i386. On a machine that cannot start 32-bit programs (a kernel
# without 32-bit support) the 32-bit side is left out, and with it register.cmd, which runs
# both widths' regsvr32: the x64 DLL is registered from its folder by the 64-bit regsvr32.
set -u
zip=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
source_dir=$(cd "$(dirname "$0")/../.." && pwd)
tests=$source_dir/tests/windows
golden=$source_dir/tests/golden/shop_tmp.kef

mkdir -p "$2"
export WINEPREFIX=$(cd "$2" && pwd) WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
export LC_ALL=C.UTF-8
wine64=/usr/lib/wine/wine64

failures=0
check() {  # check NAME EXPECTED ACTUAL
  if [ "$2" == "$3" ]; then echo "ok   $1"; else
    echo "FAIL $1"; echo "  expected: $2"; echo "  actual:   $3"
    failures=$((failures + 1))
  fi
}
winpath() { "$wine64" winepath -w "$1" 2>/dev/null; }
pe_machine() {  # pe_machine FILE: the machine field of a PE file's header
  local header
  header=$(od -An -tu4 -j60 -N4 "$1" | tr -d ' ')
  od -An -tx2 -j$((header + 4)) -N2 "$1" | tr -d ' '
}
# What a command prompt (32- or 64-bit cmd.exe) printed running SCRIPT, lines joined by
# "|", and its exit status.
run_cmd() {  # run_cmd CMD SCRIPT
  local output status
  output=$("$wine64" "$1" /c call "$(winpath "$2")" 2>&1)
  status=$?
  tr -d '\r' <<< "$output" | tr '\n' '|'
  echo "status $status"
}
# The data of value NAME ("(Default)") of registry key KEY in VIEW (32 or 64), or "absent".
reg_value() {  # reg_value VIEW KEY NAME
  local out
  out=$("$wine64" reg query "$2" "/reg:$1" 2>/dev/null | tr -d '\r') || { echo absent; return; }
  awk -v name="$3" '$1 == name && $2 == "REG_SZ" { sub(/^[ \t]*[^ \t]+[ \t]+REG_SZ[ \t]+/, ""); print; found = 1 }
                    END { if (!found) print "absent" }' <<< "$out"
}

version=$(sed -n 's/^project(kefconvert VERSION \([0-9.]*\).*/\1/p' "$source_dir/CMakeLists.txt")
top=KEFConvert-$version-win
check "file name" "$top.zip" "$(basename "$zip")"
check "contents" "$top/README.txt $top/kefconvert.exe $top/register.cmd $top/unregister.cmd $top/x64/ $top/x64/KEFConvert.dll $top/x86/ $top/x86/KEFConvert.dll" \
  "$(cmake -E tar tf "$zip" | LC_ALL=C sort | tr '\n' ' ' | sed 's/ $//')"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
folder="$work/Program Files (x86)"
mkdir -p "$folder"
(cd "$folder" && cmake -E tar xf "$zip")
package=$folder/$top
check "x86/KEFConvert.dll is a 32-bit DLL" 014c "$(pe_machine "$package/x86/KEFConvert.dll")"
check "x64/KEFConvert.dll is a 64-bit DLL" 8664 "$(pe_machine "$package/x64/KEFConvert.dll")"
check "kefconvert.exe is a 32-bit program" 014c "$(pe_machine "$package/kefconvert.exe")"
check "README.txt is the README in CR LF lines" "$(cksum < "$source_dir/README.md")" \
  "$(tr -d '\r' < "$package/README.txt" | cksum)"

if [ ! -f "$WINEPREFIX/system.reg" ]; then
  "$wine64" wineboot --init > "$work/wineboot.log" 2>&1
  wineserver --wait
fi

clsid='{4086AB62-87E5-49EB-AFDC-30E58A63B0CF}'
libid='{885579CE-7926-4AF9-84F4-425DEC5ACFAA}'
x86_dll=$(winpath "$package/x86/KEFConvert.dll")
x64_dll=$(winpath "$package/x64/KEFConvert.dll")

wow64=yes
/usr/lib/wine/wine --version > /dev/null 2>&1 || wow64=no
if [ $wow64 = no ]; then
  echo "     (this machine cannot start 32-bit programs: only the 64-bit side runs)"
fi

# --- register.cmd from a 64-bit command prompt
if [ $wow64 = yes ]; then
  check "register.cmd registers both DLLs" \
    "Registered x86\\KEFConvert.dll|Registered x64\\KEFConvert.dll|status 0" \
    "$(run_cmd 'C:\windows\system32\cmd.exe' "$package/register.cmd")"
  check "32-bit view: in-process server is x86\\KEFConvert.dll" "$x86_dll" \
    "$(reg_value 32 "HKCR\\CLSID\\$clsid\\InprocServer32" '(Default)')"
else
  "$wine64" regsvr32 /s "$x64_dll" > /dev/null 2>&1
  check "regsvr32 registers x64\\KEFConvert.dll from its folder: status" 0 $?
fi
check "64-bit view: in-process server is x64\\KEFConvert.dll" "$x64_dll" \
  "$(reg_value 64 "HKCR\\CLSID\\$clsid\\InprocServer32" '(Default)')"
if [ $wow64 = yes ]; then
  check "type library: win32 file" "$x86_dll" \
    "$(reg_value 64 "HKCR\\TypeLib\\$libid\\2.0\\0\\win32" '(Default)')"
fi
check "type library: win64 file" "$x64_dll" \
  "$(reg_value 64 "HKCR\\TypeLib\\$libid\\2.0\\0\\win64" '(Default)')"

# --- each script host converts the sample through the DLL of its width
hosts=system32
if [ $wow64 = yes ]; then hosts="system32 syswow64"; fi
for host in $hosts; do
  mkdir -p "$work/$host"
  cp "$source_dir/examples/shop.kef" "$work/$host/"
  check "$host\\cscript converts shop.kef" "shop.kef: ok" \
    "$("$wine64" "C:\\windows\\$host\\cscript.exe" //nologo "$(winpath "$tests/convert_files.vbs")" \
         "$(winpath "$work/$host")" shop.kef 2>&1 | tr -d '\r')"
  check "$host\\cscript: shop_tmp.kef has the expected bytes" "$(cksum < "$golden")" \
    "$(cksum < "$work/$host/shop_tmp.kef" 2>&1)"
done
if [ $wow64 = yes ]; then
  mkdir -p "$work/tool"
  cp "$source_dir/examples/shop.kef" "$work/tool/"
  (cd "$work/tool" && "$wine64" "$package/kefconvert.exe" shop.kef) > /dev/null 2>&1
  check "kefconvert.exe: shop_tmp.kef has the expected bytes" "$(cksum < "$golden")" \
    "$(cksum < "$work/tool/shop_tmp.kef" 2>&1)"
fi

# --- unregister.cmd from a 32-bit command prompt, which reaches 64-bit regsvr32 by Sysnative
if [ $wow64 = yes ]; then
  check "unregister.cmd unregisters both DLLs" \
    "Unregistered x86\\KEFConvert.dll|Unregistered x64\\KEFConvert.dll|status 0" \
    "$(run_cmd 'C:\windows\syswow64\cmd.exe' "$package/unregister.cmd")"
else
  "$wine64" regsvr32 /s /u "$x64_dll" > /dev/null 2>&1
  check "regsvr32 /u unregisters x64\\KEFConvert.dll: status" 0 $?
fi
for view in 32 64; do
  check "$view-bit view: class removed" absent \
    "$(reg_value $view "HKCR\\CLSID\\$clsid\\InprocServer32" '(Default)')"
  check "$view-bit view: ProgID removed" absent \
    "$(reg_value $view 'HKCR\KEFConvert.Convert\CLSID' '(Default)')"
done
check "type library removed" absent "$(reg_value 64 "HKCR\\TypeLib\\$libid\\2.0" '(Default)')"

wineserver --kill 2>/dev/null
if [ "$failures" -ne 0 ]; then
  echo "$failures check(s) failed"
  exit 1
fi
echo "all ZIP checks passed"
