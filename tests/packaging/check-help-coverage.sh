#!/usr/bin/env bash
# Every action and option that the program's --help shows (general and per
# action) is described in the manual page and offered by bash completion.
# usage: check-help-coverage.sh PROGRAM MANPAGE COMPLETION
set -euo pipefail
program=$1 manpage=$2 completion=$3

general=$("$program" --help)
actions=$(printf '%s\n' "$general" | sed -n 's/^  kalent-service \([a-z][a-z-]*\).*/\1/p' | sort -u)
if [ "$(printf '%s\n' "$actions" | wc -l)" -lt 5 ]; then
    echo "FAIL: found too few actions in --help:" >&2
    printf '%s\n' "$general" >&2
    exit 1
fi
options=$(printf '%s\n' "$general" | grep -oE -- '(^|[^a-z-])--?[a-z][a-z-]*' | grep -oE -- '--?[a-z][a-z-]*')
for action in $actions; do
    options+=$'\n'$("$program" "$action" --help | grep -oE -- '(^|[ ,[])--?[a-z][a-z-]*' |
        grep -oE -- '--?[a-z][a-z-]*')
done
options=$(printf '%s\n' "$options" | sort -u)

missing=0
# In roff a hyphen in an option is written \-.
in_manpage() { grep -qF -- "$(printf '%s' "$1" | sed 's/-/\\-/g')" "$manpage"; }
for action in $actions; do
    in_manpage "$action" || { echo "manual page lacks the action $action" >&2; missing=1; }
    grep -qw -- "$action" "$completion" || { echo "completion lacks the action $action" >&2; missing=1; }
done
for option in $options; do
    in_manpage "$option" || { echo "manual page lacks the option $option" >&2; missing=1; }
    grep -qE -- "(^|[ \"])$option( |\"|\)|$)" "$completion" ||
        { echo "completion lacks the option $option" >&2; missing=1; }
done
[ "$missing" -eq 0 ] || exit 1
echo "$(printf '%s\n' "$actions" | wc -l) actions and $(printf '%s\n' "$options" | wc -l) options: all in the manual page and the completion"
