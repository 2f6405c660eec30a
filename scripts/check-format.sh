#!/usr/bin/env bash
# Checks that the C++ sources match .clang-format; lists the files that do not and exits 1.
#
#   scripts/check-format.sh          check (scripts/test.sh runs this first)
#   scripts/check-format.sh --fix    rewrite the files that do not match
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
format=clang-format-14
command -v "$format" >/dev/null || { echo "check-format: $format is missing (scripts/setup.sh installs it)" >&2; exit 1; }
# The files git knows of, or, in a copy without git, those under the source folders.
if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
  mapfile -t files < <(git ls-files -- '*.cpp' '*.h' '*.c')
else
  mapfile -t files < <(find src tools tests -name build -prune -o \( -name '*.cpp' -o -name '*.h' -o -name '*.c' \) -print | sort)
fi
if [ "${1:-}" = --fix ]; then
  "$format" -i "${files[@]}"
  exit 0
fi
bad=()
for f in "${files[@]}"; do
  "$format" --dry-run --Werror "$f" >/dev/null 2>&1 || bad+=("$f")
done
[ ${#bad[@]} -eq 0 ] && exit 0
echo "check-format: ${#bad[@]} file(s) do not match .clang-format (scripts/check-format.sh --fix rewrites them):" >&2
printf '  %s\n' "${bad[@]}" >&2
exit 1
