#!/usr/bin/env bash
# Fails when the code leaves its shape: an include that runs against the layers
#   main -> commands -> game -> shell -> remote -> errors,   main -> opt -> errors
# (commands also read options), libssh2 outside src/remote, or a C++ file under
# src/ or tests/ that clang-format would change.
set -euo pipefail
cd "$(dirname "$0")/.."

declare -A may_include=(
    [errors]="errors"
    [opt]="opt errors"
    [remote]="remote errors"
    [shell]="shell remote errors"
    [game]="game shell remote errors"
    [commands]="commands game shell remote opt errors"
    [main]="main commands game shell remote opt errors"
)
bad=0
for layer in "${!may_include[@]}"; do
    while IFS=: read -r file line text; do
        target=$(sed -n 's/^#include "\([a-z]*\)\/.*/\1/p' <<<"$text")
        if [[ " ${may_include[$layer]} " != *" $target "* ]]; then
            echo "$file:$line: $layer must not include $target: $text"
            bad=1
        fi
    done < <(grep -rn '^#include "[a-z]*/' "src/$layer" || true)
done
if grep -rln 'libssh2' src --include='*.h' --include='*.cpp' | grep -v '^src/remote/'; then
    echo "only src/remote may use libssh2"
    bad=1
fi

mapfile -t sources < <(git ls-files 'src/*.cpp' 'src/*.h' 'tests/*.cpp' 'tests/*.h')
unformatted=$(clang-format --dry-run "${sources[@]}" 2>&1 | sed -n 's/^\([^:]*\):.*clang-format-violations.*/\1/p' | sort -u)
if [ -n "$unformatted" ]; then
    printf '%s\n' "$unformatted"
    echo "clang-format would change the files above (clang-format -i FILE)"
    bad=1
fi
[ "$bad" -eq 0 ] && echo "layers and format: clean"
exit "$bad"
