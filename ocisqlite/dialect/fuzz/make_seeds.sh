#!/bin/sh
# Writes every statement of the test corpus into its own file: the fuzzer's seeds.
# usage: make_seeds.sh <repository> <seed folder>
set -eu
mkdir -p "$2"
awk -v dir="$2" 'BEGIN { RS = "\r\n"; n = 0; text = "" }
    /^(@@ |#)/ { if (text != "") { n++; printf "%s", text > (dir "/s" n ".sql"); close(dir "/s" n ".sql"); text = "" } next }
    { text = text $0 "\r\n" }
    END { if (text != "") { n++; printf "%s", text > (dir "/s" n ".sql") } }' \
    "$1/tests/ocisqlite_dialect/statements.corpus"
