#!/bin/sh
# Keeps a manual page from drifting away from what it documents.
#
#   check-man-page.sh PROGRAM PAGE VERSION
#       every option PROGRAM --help lists is named in PAGE, and
#       PROGRAM --version prints "<name> VERSION";
#   check-man-page.sh --library HEADER DEF PAGE
#       PAGE names every entry point of DEF and every field of JobProp in
#       HEADER.
#
# The page's source is read with its escapes undone (\- is -, font changes
# dropped), so no formatter is needed.
set -eu

page_text() {
    sed -e 's/\\-/-/g' -e 's/\\f[BIRP]//g' -e 's/\\f([A-Z][A-Z]//g' -e 's/\\f\[[^]]*\]//g' -e 's/\\%//g' "$1"
}

missing=""
# Adds each word of stdin that the page text in $text does not name.
check_names() {
    while read -r word; do
        [ -n "$word" ] || continue
        printf '%s\n' "$text" | grep -Eq -- "(^|[^[:alnum:]_-])$word([^[:alnum:]_-]|$)" || missing="$missing $word"
    done
}

if [ "$1" = "--library" ]; then
    header=$2 def=$3 page=$4
    text=$(page_text "$page")
    check_names <<NAMES
$(sed -n '/^EXPORTS/,$p' "$def" | sed '1d' | awk '{ print $1 }')
$(sed -n '/typedef struct JobProp/,/} JobProp;/p' "$header" | sed -n 's/^ *u\{0,1\}int[0-9]*_t  *\([A-Za-z0-9]*\);.*/\1/p')
NAMES
    what="the entry points and JobProp fields"
else
    program=$1 page=$2 version=$3
    name=$(basename "$program")
    text=$(page_text "$page")
    # Options are the words of --help that start with a dash (a lone letter
    # after one dash, or a word after two).
    check_names <<NAMES
$("$program" --help | tr ' ,|[]()=' '[\n*]' | sed -n 's/^\(--[a-z0-9][a-z0-9-]*\).*/\1/p; s/^\(-[a-zA-Z]\)$/\1/p' | sort -u)
NAMES
    what="the options of $name --help"
    said=$("$program" --version)
    if [ "$said" != "$name $version" ]; then
        echo "$name --version says \"$said\", not \"$name $version\"" >&2
        exit 1
    fi
fi
if [ -n "$missing" ]; then
    echo "$page does not name$missing (among $what)" >&2
    exit 1
fi
echo "$page names all $what"
