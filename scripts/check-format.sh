#!/usr/bin/env bash
# Fails when a tracked C++ file differs from what clang-format makes of it, or a tracked source
# of the panel's page from what prettier makes of it.
set -euo pipefail
cd "$(dirname "$0")/.."
mapfile -t files < <(git ls-files '*.cpp' '*.h' '*.cc' '*.hpp')
if [ ${#files[@]} -gt 0 ]; then
    clang-format --dry-run --Werror "${files[@]}"
fi
echo "format: ${#files[@]} files clean"

# The page: prettier, pinned in panel/page's lock file.
prettier=panel/page/node_modules/.bin/prettier
if [ ! -x "$prettier" ]; then
    echo "format: $prettier is missing: run scripts/install-deps.sh" >&2
    exit 1
fi
mapfile -t page < <(git ls-files 'panel/page/*.js' 'panel/page/*.mjs' 'panel/page/*.css' \
    'tests/page/*.mjs')
if [ ${#page[@]} -gt 0 ]; then
    "$prettier" --config panel/page/.prettierrc.json --check --log-level warn "${page[@]}"
fi
echo "format: ${#page[@]} page files clean"
