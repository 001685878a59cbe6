#!/usr/bin/env bash
# The man page's OPTIONS section and --help list the same options.
# Usage: man-help.sh QUILTOR MAN_PAGE
set -euo pipefail
. "$(dirname "$0")/common.sh"
quiltor=$1 man=$2

# --help: the first column of the lines that start with an option.
"$quiltor" --help | sed -n 's/^  \(-[^ ].*\)$/\1/p' | sed 's/   .*//' |
  grep -oE '(^|[ ,])--?[a-z][a-z-]*' | tr -d ' ,' | sort -u > "$scratch/help"
# The man page: the tag line after each .TP of the OPTIONS section.
sed 's/\\-/-/g' "$man" | awk '/^\.SH /{inopt = ($2 == "OPTIONS")} inopt && tag {print; tag=0} inopt && /^\.TP/{tag=1}' |
  grep -oE '(^|[ "])--?[a-z][a-z-]*' | tr -d ' "' | sort -u > "$scratch/man"

[ -s "$scratch/help" ] || fail "--help lists no options"
diff -u --label '--help' --label 'man page' "$scratch/help" "$scratch/man" ||
  fail "the man page and --help list different options"
echo "man page and --help agree: $(tr '\n' ' ' < "$scratch/help")"
