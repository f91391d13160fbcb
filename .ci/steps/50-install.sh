# Installs into a temporary prefix and uses the result as users do: the tool, a CMake
# project with find_package(kefconvert), a pkg-config build, the COM server through its
# host program, and the manual page.
# packages: build-essential cmake libgtest-dev pkg-config man-db groff-base binutils
set -euo pipefail
root=$PWD
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix

cmake -S . -B build -DKEFCONVERT_WERROR=ON >/dev/null
cmake --build build -j2
cmake --install build --prefix "$prefix"

fail() { echo "FAIL: $*" >&2; exit 1; }
libdir=$(dirname "$(find "$prefix" -name libkefconvert.a)")
for file in bin/kefconvert include/kefconvert/kefconvert.h share/man/man1/kefconvert.1 \
            share/doc/kefconvert/README.md share/doc/kefconvert/CHANGELOG.md; do
  [ -f "$prefix/$file" ] || fail "$file not installed"
done
for file in cmake/kefconvert/kefconvertConfig.cmake cmake/kefconvert/kefconvertConfigVersion.cmake \
            cmake/kefconvert/kefconvertTargets.cmake pkgconfig/kefconvert.pc; do
  [ -f "$libdir/$file" ] || fail "${libdir#"$prefix"/}/$file not installed"
done

version=$(sed -n 's/^project(kefconvert VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
[ "$("$prefix/bin/kefconvert" --version)" = "kefconvert $version" ] || fail "installed --version"

# The example project of the README, converted by each way of using the library.
expected=$root/tests/docs/one_table.expected
convert_and_compare() {  # convert_and_compare NAME COMMAND...
  local name=$1; shift
  mkdir -p "$work/$name"
  cp tests/docs/one_table.kef "$work/$name/one_table.kef"
  [ "$("$@" "$work/$name/one_table.kef")" = "$work/$name/one_table_tmp.kef" ] ||
    fail "$name: did not print the converted file's path"
  cmp "$work/$name/one_table_tmp.kef" "$expected" || fail "$name: converted text differs"
  cmp tests/docs/one_table.kef "$work/$name/one_table.kef" || fail "$name: input was modified"
  echo "$name: converted as expected"
}
convert_and_compare installed-tool "$prefix/bin/kefconvert"

# The installed COM server, registered from where it was installed into a store of our
# own, then created by ProgID and driven late-bound by the installed host program.
server=$libdir/libKEFConvert.so
[ -f "$server" ] || fail "libKEFConvert.so not installed"
for symbol in DllGetClassObject DllCanUnloadNow DllRegisterServer DllUnregisterServer; do
  nm -D --defined-only "$server" | grep -qw "$symbol" || fail "libKEFConvert.so lacks $symbol"
done
export KEFCONVERT_REGISTRY=$work/registry.reg
"$prefix/bin/kefconvert-host" --register "$server"
grep -qF "\"$server\"" "$KEFCONVERT_REGISTRY" || fail "the store does not name the installed server"
convert_and_compare com-by-progid "$prefix/bin/kefconvert-host"
"$prefix/bin/kefconvert-host" --unregister "$server"
unset KEFCONVERT_REGISTRY
[ "$("$prefix/bin/kefconvert-host" --version)" = "kefconvert-host $version" ] ||
  fail "installed kefconvert-host --version"

# A COM client in C built against the installed client header alone, driving the
# installed server.
com_include=$prefix/include/kefconvert/com
[ -f "$com_include/component/kefconvert_com.h" ] || fail "kefconvert_com.h not installed"
cc -std=c11 -Wall -Wextra -Werror -I "$com_include" -o "$work/c_client" \
  tests/component/c_client.c -ldl
"$work/c_client" "$server" > "$work/c_client.txt" || fail "C client against the installed header"
echo "com client: built against the installed header, $(tail -n 1 "$work/c_client.txt")"

# A CMake consumer; CMAKE_PREFIX_PATH is all it is told.
cmake -S tests/consumer -B "$work/consumer" -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
cmake --build "$work/consumer"
convert_and_compare find_package "$work/consumer/convert_example"
# The version file refuses a major version we are not.
cat > "$work/CMakeLists.txt" <<'CMAKE'
cmake_minimum_required(VERSION 3.25)
project(wrong_version LANGUAGES CXX)
find_package(kefconvert 2.0 CONFIG REQUIRED)
CMAKE
if cmake -S "$work" -B "$work/wrong" -DCMAKE_PREFIX_PATH="$prefix" >/dev/null 2>&1; then
  fail "find_package(kefconvert 2.0) accepted version $version"
fi

# A pkg-config consumer.
export PKG_CONFIG_PATH=$libdir/pkgconfig
pkg-config --exists --print-errors kefconvert
[ "$(pkg-config --modversion kefconvert)" = "$version" ] || fail "pkg-config --modversion"
# shellcheck disable=SC2046
c++ -o "$work/pc_example" tests/consumer/example.cc $(pkg-config --cflags --libs kefconvert)
convert_and_compare pkg-config "$work/pc_example"

# Packagers: the runtime component alone has no library, and a staged install (DESTDIR)
# names the final prefix, not the staging folder.
cmake --install build --prefix "$work/runtime" --component runtime >/dev/null
[ -x "$work/runtime/bin/kefconvert" ] || fail "runtime component lacks the tool"
[ -z "$(find "$work/runtime" -name 'libkefconvert*')" ] || fail "runtime component has the library"
DESTDIR=$work/stage cmake --install build --prefix /opt/kefconvert >/dev/null
grep -qx 'prefix=/opt/kefconvert' "$(find "$work/stage" -name kefconvert.pc)" ||
  fail "staged kefconvert.pc does not name /opt/kefconvert"

# The manual page renders without warnings.
warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$prefix/share/man/man1/kefconvert.1" 2>&1 >/dev/null)
[ -z "$warnings" ] || fail "man page warnings: $warnings"
LC_ALL=C.UTF-8 MANWIDTH=80 man -l "$prefix/share/man/man1/kefconvert.1" | grep -q "EXIT STATUS" ||
  fail "man page does not render"
echo "install checks passed"
