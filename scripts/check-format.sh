#!/usr/bin/env bash
# Checks every tracked C++ file against .clang-format with clang-format 14
# (Debian: clang-format-14 or clang-format) and lists the files that deviate.
# Changes nothing; exits non-zero on any deviation.
set -euo pipefail
cd "$(dirname "$0")/.."

formatter=""
for candidate in clang-format-14 clang-format; do
  if command -v "$candidate" >/dev/null && [[ $("$candidate" --version) == *"version 14."* ]]; then
    formatter="$candidate"
    break
  fi
done
if [ -z "$formatter" ]; then
  echo "check-format: clang-format 14 not found (install clang-format-14)" >&2
  exit 2
fi

mapfile -d '' files < <(git ls-files -z '*.cpp' '*.h')
failed=()
for file in "${files[@]}"; do
  "$formatter" --style=file --dry-run --Werror "$file" 2>/dev/null || failed+=("$file")
done
if ((${#failed[@]})); then
  echo "check-format: ${#failed[@]} of ${#files[@]} files deviate from .clang-format:" >&2
  printf '  %s\n' "${failed[@]}" >&2
  echo "Show the changes with: $formatter --style=file --dry-run <file>; apply them with -i." >&2
  exit 1
fi
echo "check-format: ${#files[@]} files formatted"
