#!/usr/bin/env bash
# The Windows build of vellumix-cli under Wine, once: create, list, test and extract of a
# small folder, a flipped byte found, names the system would shorten refused, a usage
# error; what it writes is checked by unzip.
#   wine_round_trip.sh WINE-LOADER VELLUMIX-CLI.EXE
set -uo pipefail
wine=$1
exe=$2
script=wine_round_trip
. "$(dirname "$0")/cli_script_support.sh"
work=$(mktemp -d "${TMPDIR:-/tmp}/vellumix-cli-wine.XXXXXX")
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1

mkdir -p Mod/Maps Mod/Empty
seq 1 20000 >Mod/Maps/E1M1.bsp
printf 'Read me.\n' >Mod/Readme.txt

cli create mod.pk3 Mod || fail "create mod.pk3"
unzip -tq mod.pk3 >unzip.txt 2>&1 || { cat unzip.txt; fail "unzip -t of the archive written under Wine"; }
unzip -p mod.pk3 mod/maps/e1m1.bsp | cmp - Mod/Maps/E1M1.bsp || fail "the stored bytes differ"

cli list --tsv mod.pk3 || fail "list"
grep -q $'\tmod/maps/e1m1.bsp\r\\?$' out.txt || fail "list names the entry"
grep -q $'^0\t0\tstored\t00000000\t.*\tmod/empty/\r\\?$' out.txt || fail "list shows the empty folder"

cli test mod.pk3 || fail "test of a sound archive"
grep -q "no errors found in 2 files" out.txt || fail "test counts the files"

cli create mod.pak Mod/. || fail "create mod.pak"
cli extract mod.pak -C out || fail "extract"
cmp out/maps/e1m1.bsp Mod/Maps/E1M1.bsp && cmp out/readme.txt Mod/Readme.txt || fail "extracted bytes differ"
[ -d out/empty ] || fail "the empty folder is extracted"

# One byte flipped in the middle of the stored (level 0) copy of the map.
cli create flat.pk3 Mod --level 0 || fail "create flat.pk3"
offset=$(grep -abo '^10000$' flat.pk3 | head -1 | cut -d: -f1)
[ -n "$offset" ] || fail "no place to damage"
printf 'X' | dd of=flat.pk3 bs=1 seek="$offset" conv=notrunc 2>/dev/null
cli test flat.pk3
status=$?
[ $status -eq 1 ] || fail "test of a damaged archive exits $status, not 1"
grep -q '"mod/maps/e1m1.bsp"' err.txt || fail "test names the damaged entry"
grep -q 'readme' err.txt && fail "test names an entry that is whole"

# Names the system would shorten ("a.txt." to "a.txt") are refused, not written over others.
python3 -c '
import zipfile
with zipfile.ZipFile("short.pk3", "w") as z:
    for name, text in (("a.txt", b"plain a"), ("a.txt.", b"dotted a"), ("b.txt", b"plain b"), ("b.txt ", b"spaced b")):
        z.writestr(name, text)
' || fail "making short.pk3"
cli extract short.pk3 -C short --overwrite
status=$?
[ $status -eq 1 ] || fail "extract of names the system would shorten exits $status, not 1"
grep -q '"a.txt.": refused: the name is not allowed on disk' err.txt || fail "extract names a.txt."
grep -q '"b.txt ": refused: the name is not allowed on disk' err.txt || fail "extract names b.txt followed by a space"
[ "$(cat short/a.txt)" = "plain a" ] && [ "$(cat short/b.txt)" = "plain b" ] || fail "a shortened name replaced a file"

cli create out.rar Mod
status=$?
[ $status -eq 2 ] || fail "a usage error exits $status, not 2"
echo "wine_round_trip: passed"
