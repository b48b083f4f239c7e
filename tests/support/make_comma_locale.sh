#!/bin/sh
# Builds the German locale (decimal comma) into DIR/de_DE.UTF-8 unless it is there already, so
# that tests can run under it with LOCPATH=DIR LC_ALL=de_DE.UTF-8 on machines that have no
# locale generated (the source files come with Debian's "locales" package).
set -u
dir=$1
[ -f "$dir/de_DE.UTF-8/LC_NUMERIC" ] && exit 0
mkdir -p "$dir" || exit 1
tmp="$dir/.de_DE.UTF-8.$$"
rm -rf "$tmp"
# localedef reports warnings about the source files with status 1 while writing a good locale;
# what counts is the locale it leaves behind.
localedef -i de_DE -f UTF-8 "$tmp" 2>"$dir/localedef.log"
if [ ! -f "$tmp/LC_NUMERIC" ]; then
  cat "$dir/localedef.log" >&2
  echo "make_comma_locale: could not build de_DE.UTF-8 (is the package 'locales' installed?)" >&2
  rm -rf "$tmp"
  exit 1
fi
rm -rf "$dir/de_DE.UTF-8"
mv "$tmp" "$dir/de_DE.UTF-8"
decimal=$(LOCPATH="$dir" LC_ALL=de_DE.UTF-8 locale decimal_point 2>&1)
if [ "$decimal" != "," ]; then
  echo "make_comma_locale: the built locale gives the decimal point '$decimal', not ','" >&2
  exit 1
fi
