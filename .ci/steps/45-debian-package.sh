# The Debian package as a user gets it: built with CPack, its contents and dependencies
# read back, installed with dpkg -i, its tool and COM server used from where they landed,
# and removed again.
# packages: build-essential cmake dpkg-dev
set -euo pipefail
root=$PWD
work=$(mktemp -d)
sudo=""
if [ "$(id -u)" != 0 ]; then sudo=sudo; fi
trap '$sudo dpkg --purge kefconvert >/dev/null 2>&1 || true; rm -rf "$work"' EXIT

cmake -S . -B build-deb -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
  -DKEFCONVERT_BUILD_TESTS=OFF -DKEFCONVERT_WERROR=ON >/dev/null
cmake --build build-deb -j2
(cd build-deb && cpack -G DEB)
version=$(sed -n 's/^project(kefconvert VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
deb=build-deb/kefconvert_${version}_$(dpkg --print-architecture).deb

fail() { echo "FAIL: $*" >&2; exit 1; }
libdir=usr/lib/$(dpkg-architecture -qDEB_HOST_MULTIARCH)
dpkg-deb -c "$deb" | awk '{ print $6 }' > "$work/contents"
for file in usr/bin/kefconvert usr/bin/kefconvert-host "$libdir/libKEFConvert.so" \
            "$libdir/libkefconvert.a" usr/include/kefconvert/kefconvert.h \
            usr/share/man/man1/kefconvert.1 usr/share/doc/kefconvert/README.md; do
  grep -qx "\./$file" "$work/contents" || fail "$deb lacks /$file"
done
depends=$(dpkg-deb -f "$deb" Depends)
for package in libc6 libstdc++6; do
  [[ ", $depends" == *", $package "* ]] || fail "Depends: $depends lacks $package"
done
echo "$deb: contents and Depends ($depends) as expected"

$sudo dpkg -i "$deb"
[ "$(command -v kefconvert)" = /usr/bin/kefconvert ] || fail "kefconvert is not /usr/bin/kefconvert"
cp examples/shop.kef "$work/"
kefconvert "$work/shop.kef" >/dev/null
cmp "$work/shop_tmp.kef" "$root/tests/golden/shop_tmp.kef" || fail "installed tool: shop_tmp.kef differs"
echo "installed tool converts shop.kef as expected"

# the COM server, registered where the package put it, driven by ProgID through the host
export KEFCONVERT_REGISTRY=$work/registry.reg
rm "$work/shop_tmp.kef"
kefconvert-host --register "/$libdir/libKEFConvert.so"
kefconvert-host "$work/shop.kef" >/dev/null
cmp "$work/shop_tmp.kef" "$root/tests/golden/shop_tmp.kef" || fail "installed COM server: shop_tmp.kef differs"
kefconvert-host --unregister "/$libdir/libKEFConvert.so"
echo "installed COM server converts shop.kef as expected"
[ -f /usr/share/man/man1/kefconvert.1 ] || fail "kefconvert(1) not installed"
