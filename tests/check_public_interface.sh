#!/usr/bin/env bash
# Static check of the engine's caller side: check_public_interface.sh <source root>
# - the application, the console program, the examples, the benchmarks and
#   the caller-side tests include none of the engine's internal headers, only
#   its public ones (tarvex.h, tarvex_names.h, tarvex_loader.h,
#   tarvex_test_string.h); the build enforces the same through tarvex_api;
# - the export list of tarvex.h (TARVEX_EXPORTS) and tarvex.def name the same
#   exports.
set -euo pipefail
root=$1
fail=0

public="tarvex.h tarvex_names.h tarvex_loader.h tarvex_test_string.h"
internal=$(cd "$root/engine" && find . -name '*.h' -printf '%f\n' | sort -u)
for name in $public; do internal=$(echo "$internal" | grep -vx "$name"); done

# The white-box tests of the process scan's image path lookup and of the walk's
# paths are built apart with the engine's internal headers (tests/CMakeLists.txt,
# tests/cmake/ntfs_walk.cmake); bench/native/
# holds native benchmarks of the platform-free logic, which link that logic
# the way the unit tests do.
callers=$(cd "$root" && find app console examples bench tests/wine tests/wine_streams tests/console \
            tests/app tests/support tests/fixtures tests/ntfs_wine -type f \( -name '*.cpp' -o -name '*.h' -o -name '*.c' \) |
          grep -vx 'tests/wine/process_image_path_test.cpp' | grep -vx 'tests/ntfs_wine/walk_paths_test.cpp' |
          grep -v '^bench/native/' | sort)
for file in $callers; do
  while IFS= read -r included; do
    base=${included##*/}
    if [[ $included == *engine/* || $included == scanners/* ]] || grep -qx "$base" <<<"$internal"; then
      echo "FAIL: $file includes the engine-internal header $included"
      fail=1
    fi
  done < <(sed -n 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"\([^"]*\)".*/\1/p' "$root/$file")
done

header_exports=$(sed -n '/#define TARVEX_EXPORTS(X)/,/^$/p' "$root/engine/tarvex.h" |
                 grep -o 'X([A-Za-z0-9_]*' | cut -c3- | sort)
def_exports=$(sed -n '/^EXPORTS/,$p' "$root/engine/tarvex.def" | sed 1d | sed 's/;.*//' |
              awk 'NF {print $1}' | sort)
if [ "$header_exports" != "$def_exports" ]; then
  echo "FAIL: tarvex.h and tarvex.def name different exports:"
  diff <(echo "$header_exports") <(echo "$def_exports") || true
  fail=1
fi
[ "$(echo "$header_exports" | wc -l)" -eq 18 ] || { echo "FAIL: tarvex.h does not list 18 exports"; fail=1; }

[ $fail -eq 0 ] && echo "ok: $(echo "$callers" | wc -l) caller files, 18 exports"
exit $fail
