#!/usr/bin/env bash
# libKEFConvert.so exports the four server entry points and the automation functions a
# client needs, and nothing else.
# usage: exports_test.sh LIBKEFCONVERT
set -u
expected="DllCanUnloadNow
DllGetClassObject
DllRegisterServer
DllUnregisterServer
GetErrorInfo
SetErrorInfo
SysAllocString
SysAllocStringLen
SysFreeString
SysStringLen
VariantClear
VariantInit"
actual=$(nm -D --defined-only "$1" | awk '{print $3}' | sed 's/@.*//' | LC_ALL=C sort)
if [ "$actual" != "$expected" ]; then
  echo "FAIL exported symbols"; diff <(echo "$expected") <(echo "$actual"); exit 1
fi
echo "all checks passed"
