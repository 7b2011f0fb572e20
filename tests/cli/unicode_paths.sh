#!/usr/bin/env bash
# vellumix-cli in a folder named in Cyrillic, Greek and CJK: create, list, test, extract and
# convert there, the archive named by a relative path and (under Wine) by a Windows path, with
# files named in those scripts too; what it writes is checked by unzip and Python's zipfile.
#   unicode_paths.sh WINE-LOADER VELLUMIX-CLI.EXE     the Windows build under Wine
#   unicode_paths.sh - VELLUMIX-CLI                   the Linux build
set -uo pipefail
wine=$1
exe=$2
script=unicode_paths
. "$(dirname "$0")/cli_script_support.sh"
work=$(mktemp -d "${TMPDIR:-/tmp}/vellumix-cli-unicode.XXXXXX")
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1
export LC_ALL=C.UTF-8

dir='Мод Ωμέγα 模组'
mkdir -p "$dir/Mod/Карты" "$dir/Mod/Пусто"
seq 1 5000 >"$dir/Mod/Карты/Άλφα.bsp"
printf 'Прочти меня.\n' >"$dir/Mod/説明 Ü.txt"

cli create "$dir/архив 档.pk3" "$dir/Mod/." || fail "create in the folder"
[ -f "$dir/архив 档.pk3" ] || fail "the archive is not where it was named"
unzip -tq "$dir/архив 档.pk3" >unzip.txt 2>&1 || { cat unzip.txt; fail "unzip -t of the archive"; }
# The names as stored (UTF-8, whether or not the entry says so) and the bytes.
python3 - "$dir/архив 档.pk3" "$dir/Mod" <<'EOF' || fail "the archive's names or bytes"
import sys, zipfile
archive, folder = sys.argv[1], sys.argv[2]
with zipfile.ZipFile(archive) as z:
    names = {}
    for info in z.infolist():
        name = info.filename if info.flag_bits & 0x800 else info.filename.encode("cp437").decode("utf-8")
        names[name] = info
    # Only A to Z are lower-cased: the tool's names keep their other letters.
    expected = {"Карты/", "Карты/Άλφα.bsp", "Пусто/", "説明 Ü.txt"}
    assert set(names) == expected, sorted(names)
    assert z.read(names["Карты/Άλφα.bsp"]) == open(folder + "/Карты/Άλφα.bsp", "rb").read()
    assert z.read(names["説明 Ü.txt"]) == open(folder + "/説明 Ü.txt", "rb").read()
EOF

cli list --tsv "$dir/архив 档.pk3" || fail "list"
grep -q $'\tКарты/Άλφα.bsp\r\\?$' out.txt || fail "list names the entry in UTF-8"
cli test "$dir/архив 档.pk3" || fail "test"
grep -q "no errors found in 2 files" out.txt || fail "test counts the files"

cli extract "$dir/архив 档.pk3" -C "$dir/Вывод 出力" || fail "extract into the folder"
cmp "$dir/Вывод 出力/Карты/Άλφα.bsp" "$dir/Mod/Карты/Άλφα.bsp" || fail "extracted bytes differ"
cmp "$dir/Вывод 出力/説明 Ü.txt" "$dir/Mod/説明 Ü.txt" || fail "extracted text differs"
[ -d "$dir/Вывод 出力/Пусто" ] || fail "the empty folder is extracted"

cli convert "$dir/архив 档.pk3" "$dir/архив 档.pak" || fail "convert to PAK"
cli list "$dir/архив 档.pak" || fail "list of the PAK"
grep -q 'Карты/Άλφα.bsp' out.txt || fail "the PAK names the entry"

if [ "$wine" != - ]; then
  # The archive named as a Windows program is given it: a drive and backslashes.
  windows="Z:$(pwd | tr / '\\')\\$dir\\архив 档.pk3"
  cli test "$windows" || fail "test by a Windows path"
  grep -q "no errors found in 2 files" out.txt || fail "test by a Windows path counts the files"
  cli create "Z:$(pwd | tr / '\\')\\$dir\\второй.zip" "$dir/Mod/Карты" || fail "create by a Windows path"
  unzip -l "$dir/второй.zip" >unzip.txt 2>&1 || { cat unzip.txt; fail "unzip -l of the archive made by a Windows path"; }
fi

# A message names the archive as given, in UTF-8.
cli list "$dir/нет такого.pk3"
[ $? -eq 1 ] || fail "a missing archive"
grep -q "нет такого.pk3" err.txt || fail "the message names the missing archive"
echo "unicode_paths: passed"
