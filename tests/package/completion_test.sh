#!/usr/bin/env bash
# The bash completion of velmora-cli offers every command and every long option
# that velmora-cli's own --help lists, so the two cannot drift apart.
# Usage: completion_test.sh VELMORA_CLI COMPLETION_SCRIPT
set -uo pipefail
cli=$1
source "$2"

failures=0
complete_line() {
    COMP_WORDS=("$@")
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    COMPREPLY=()
    _velmora_cli
    printf '%s\n' "${COMPREPLY[@]}"
}
expect_all() {  # WHAT OFFERED EXPECTED...
    local what=$1 offered=$2
    shift 2
    local word
    for word in "$@"; do
        if ! grep -qxF -- "$word" <<<"$offered"; then
            echo "FAIL: $what does not offer $word"
            failures=$((failures + 1))
        fi
    done
}
long_options() {  # the long options in a --help text
    grep -oE '(^|[ ,])--[a-z][a-z-]*' | sed 's/^[ ,]*//' | sort -u
}

commands=$("$cli" --help | sed -n '/^Subcommands:/,/^$/p' | awk 'NF && !/:$/ {print $1}')
[ -n "$commands" ] || { echo "FAIL: no commands in velmora-cli --help"; exit 1; }
expect_all "the command word" "$(complete_line velmora-cli '')" $commands
expect_all "the global options" "$(complete_line velmora-cli --)" \
    $("$cli" --help | sed '/^Subcommands:/,$d' | long_options)
for command in $commands; do
    expect_all "$command" "$(complete_line velmora-cli "$command" --)" \
        $("$cli" "$command" --help | sed '/^Link options/,$d' | long_options)
done
# The values of --range are the ones each command accepts.
for command in upgrade read erase; do
    values=$("$cli" "$command" --help | grep -oE -- '--range TEXT:\{[a-z,]*\}' | grep -oE '\{.*\}' | tr -d '{}' | tr ',' ' ')
    expect_all "$command --range" "$(complete_line velmora-cli "$command" --range '')" $values
done

if [ "$failures" -ne 0 ]; then
    echo "$failures failed"
    exit 1
fi
echo "completion offers every command, option and range"
