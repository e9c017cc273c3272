#!/usr/bin/env bash
# Fails on a file that is not laid out as the tree's .clang-format and
# .editorconfig say: C++ through clang-format, every other text file for
# trailing blanks, tabs, CR line ends and a missing last newline.
#
#   tests/format/check.sh [SOURCE_DIR]
set -euo pipefail
cd "${1:-$(dirname "$0")/../..}"

command -v clang-format >/dev/null 2>&1 || {
  echo "format: FAIL: no clang-format: run scripts/deps.sh test" >&2
  exit 1
}

# The tracked files in a checkout; the tree's files in an unpacked source.
if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
  mapfile -t files < <(git ls-files)
else
  mapfile -t files < <(find . -path ./build\* -prune -o -path ./.git -prune -o -type f -print |
    sed 's|^\./||' | LC_ALL=C sort)
fi

# Recorded byte for byte (see .editorconfig): left as they are.
kept='\.(png|bmp|ico)$|^tests/fuzz/corpus/|^tests/data/scripts/.*\.out$'
cpp=()
checked=0
bad=0
for f in "${files[@]}"; do
  [ -f "$f" ] || continue
  [[ $f =~ $kept ]] && continue
  case $f in *.cpp | *.h) cpp+=("$f") ;; esac
  [ -s "$f" ] || continue
  checked=$((checked + 1))
  problems=()
  if grep -qE '[[:blank:]]$' "$f"; then problems+=("trailing blanks"); fi
  if grep -q $'\t' "$f"; then problems+=("tabs"); fi
  if grep -q $'\r' "$f"; then problems+=("CR line ends"); fi
  if [ -n "$(tail -c1 "$f")" ]; then problems+=("no newline at the end"); fi
  if [ ${#problems[@]} -gt 0 ]; then
    echo "format: $f: $(IFS=,; echo "${problems[*]}" | sed 's/,/, /g')" >&2
    bad=1
  fi
done

if ! clang-format --dry-run --Werror "${cpp[@]}"; then
  echo "format: lay the files above out with: clang-format -i FILE" >&2
  bad=1
fi
[ "$bad" = 0 ] || { echo "format: FAIL" >&2; exit 1; }
echo "format: $checked files (${#cpp[@]} of them C++) laid out as .clang-format and .editorconfig say"
