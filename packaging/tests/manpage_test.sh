#!/usr/bin/env bash
# The man page renders without warnings and documents what the program says about itself: every
# option of its --help (short and long names together) in OPTIONS, the default paths its help
# names, and its version in the page footer.
#
#   packaging/tests/manpage_test.sh [PROGRAM [MAN_PAGE [PATHS]]]
#
# PROGRAM defaults to build/app/vantrel-cli, MAN_PAGE to packaging/man/vantrel-cli.1 (a .gz is
# read as well, so an installed page can be checked). PATHS is how many default paths the help
# names at least (2, those of vantrel-cli).
set -uo pipefail

repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
program=${1:-$repo/build/app/vantrel-cli}
page=${2:-$repo/packaging/man/vantrel-cli.1}
least_paths=${3:-2}

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
case $page in
    *.gz) gzip -dc "$page" > "$scratch/page.1" || exit 1 ;;
    *) cp "$page" "$scratch/page.1" || exit 1 ;;
esac
source_page="$scratch/page.1"

# shellcheck source=packaging/tests/checks.sh
source "$(dirname "$0")/checks.sh"
# The output of a command is empty; shown when it is not.
silent()
{
    local out
    out=$("$@" 2>&1)
    [ -z "$out" ] || { printf '%s\n' "$out" | head -20 | sed 's/^/    /'; return 1; }
}

verdict 'groff -man -ww -z prints nothing' silent groff -man -ww -z "$source_page"
# What lintian runs on every installed man page: its warnings are on standard error.
man_warnings()
{
    { LC_ALL=C.UTF-8 MANROFFSEQ='' MANWIDTH=80 man --warnings -E UTF-8 -l -Tutf8 -Z "$1" > /dev/null; } 2>&1
}
verdict 'man --warnings prints nothing' silent man_warnings "$source_page"
if command -v mandoc > /dev/null; then
    verdict 'mandoc -T lint -W warning prints nothing' silent mandoc -T lint -W warning "$source_page"
else
    skip "mandoc -T lint (mandoc is not installed)"
fi

# Options and command lines are written with \- : a bare - may render as a typographic hyphen,
# which a reader cannot paste into a shell.
bare_hyphens() { grep -nE '(^|[[:space:]"(|])--?[[:alpha:]]' "$1"; }
verdict 'no bare hyphen starts an option' silent bare_hyphens "$source_page"

# The page as a reader sees it, without hyphenation and on long lines, so names stay whole.
groff -man -Tutf8 -P-cbou -rHY=0 -rLL=250n "$source_page" 2> /dev/null > "$scratch/page.txt"
section()
{
    awk -v want="$1" '/^[A-Z]/ { in_section = ($0 == want); next } in_section' "$scratch/page.txt"
}
section OPTIONS > "$scratch/options.txt"
section FILES > "$scratch/files.txt"

"$program" --help > "$scratch/help.txt" 2>&1 || { echo "FAILED: $program --help"; exit 1; }
# Option lines of the help: two blanks, then "-s, --stdout" or "--print-options", then the value.
mapfile -t options < <(sed -n 's/^  \(-[a-z], --[a-z-]*\|--[a-z-]*\)\( <[a-z]*>\)\{0,1\}  .*/\1/p' "$scratch/help.txt")
verdict "the help lists options (${#options[@]})" [ "${#options[@]}" -ge 10 ]
for option in "${options[@]}"; do
    # An item of OPTIONS whose tag starts with the same names, in ASCII hyphens.
    verdict "OPTIONS has $option" grep -qE "^ +${option}( |\$)" "$scratch/options.txt"
done

# The default paths the help names appear in OPTIONS, and in FILES.
mapfile -t paths < <(grep -o '(/[^)]*)' "$scratch/help.txt" | tr -d '()' | sort -u)
verdict "the help names default paths (${#paths[@]})" [ "${#paths[@]}" -ge "$least_paths" ]
in_options_and_files() { grep -qF -- "$1" "$scratch/options.txt" && grep -qF -- "$1" "$scratch/files.txt"; }
for path in "${paths[@]}"; do
    verdict "OPTIONS and FILES name $path" in_options_and_files "$path"
done

version=$("$program" --version)
verdict "the page is for $version" grep -qF "$version" <(tail -n 3 "$scratch/page.txt")

summary
