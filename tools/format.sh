#!/usr/bin/env bash
# Formats the tracked C and C++ sources with the repository's .clang-format.
#
#   bash tools/format.sh            rewrite every file that does not match
#   bash tools/format.sh --check    change nothing; list the files that do not
#                                   match and fail when there are any
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
cd "$here"

tool=${CLANG_FORMAT:-}
if [ -z "$tool" ]; then
  for candidate in clang-format-14 clang-format; do
    if command -v "$candidate" >/dev/null 2>&1; then
      tool=$candidate
      break
    fi
  done
fi
if [ -z "$tool" ]; then
  echo "clang-format is missing (Debian package clang-format-14)" >&2
  exit 1
fi

check=0
case "${1:-}" in
  --check) check=1 ;;
  "") ;;
  *) echo "usage: $0 [--check]" >&2; exit 2 ;;
esac

mapfile -t files < <(git ls-files -- '*.c' '*.h' '*.cpp')
if [ "$check" -eq 0 ]; then
  printf '%s\0' "${files[@]}" | xargs -0 -r "$tool" -i
  exit 0
fi

# Checked in batches side by side (one process per file took most of the
# time); only a batch that fails is checked again file by file to name them.
mapfile -t unformatted < <(printf '%s\0' "${files[@]}" | xargs -0 -r -n 50 -P "$(nproc)" sh -c '
  "$0" --dry-run --Werror "$@" >/dev/null 2>&1 && exit 0
  for file; do "$0" --dry-run --Werror "$file" >/dev/null 2>&1 || echo "$file"; done' "$tool" | sort)
if [ "${#unformatted[@]}" -gt 0 ]; then
  echo "not formatted with .clang-format (run tools/format.sh):" >&2
  printf '  %s\n' "${unformatted[@]}" >&2
  exit 1
fi
echo "format: ${#files[@]} files match .clang-format"
