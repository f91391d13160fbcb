# The COM component on Linux: a C client that loads libKEFConvert.so and the host that
# creates it by ProgID, both under valgrind's leak check (their tests ran in step 10).
# packages: build-essential cmake libgtest-dev valgrind
set -euo pipefail
cmake -S . -B build -DKEFCONVERT_WERROR=ON >/dev/null
cmake --build build -j2 --target KEFConvert kefconvert_c_client kefconvert_host
leak_check=(valgrind --quiet --leak-check=full --show-leak-kinds=definite,indirect,possible
            --errors-for-leak-kinds=definite,indirect,possible --error-exitcode=1)
library=$PWD/build/libKEFConvert.so
"${leak_check[@]}" build/tests/component/kefconvert_c_client "$library" >/dev/null

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export KEFCONVERT_REGISTRY=$work/registry.reg
printf '<Project>\r\n<Database>\r\n<Table>\r\nName=t\r\n<Field>\r\nName=a\r\nType=3\r\n.\r\n' \
  > "$work/shop.kef"
printf '<Project>\r\n<Database>\r\n<Table>\r\n<Field>\r\nType=x\r\n.\r\n' > "$work/bad.kef"
"${leak_check[@]}" build/kefconvert-host --register "$library"
set +e
"${leak_check[@]}" build/kefconvert-host "$work/shop.kef" "$work/bad.kef" 2>&1
status=$?
set -e
if [ "$status" != 2 ]; then echo "kefconvert-host: expected exit status 2, got $status"; exit 1; fi
"${leak_check[@]}" build/kefconvert-host --unregister "$library"
echo "no leaks"
