#!/bin/sh
# Runs PROGRAM with the arguments help2man passes (--help or --version) for the manual pages:
# stdout and stderr together, and always status 0. A program whose --version fails prints
# "NAME VERSION" instead, so the page still gets the version the build was made with. For
# --help, each of SUBCOMMANDS (space separated, may be empty) adds "PROGRAM SUB --help".
# Usage: help2man-run.sh PROGRAM NAME VERSION SUBCOMMANDS ARGS...
program=$1 name=$2 version=$3 subcommands=$4
shift 4
if output=$("$program" "$@" 2>&1); then
  printf '%s\n' "$output"
elif [ "$1" = --version ]; then
  printf '%s %s\n' "$name" "$version"
else
  printf '%s\n' "$output"
fi
if [ "$1" = --help ]; then
  for sub in $subcommands; do
    printf '\n%s %s:\n' "$name" "$sub"
    "$program" "$sub" --help 2>&1 || true
  done
fi
exit 0
