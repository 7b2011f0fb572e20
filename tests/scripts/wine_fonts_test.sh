#!/usr/bin/env bash
# The fonts a Wine prefix gets for the program's windows: copied when missing, and a font
# file the prefix already has is left as it is, like everything else in the user's prefix.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
. "$root/scripts/wine-fonts"
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

# fonts-wine's folder, as a stand-in with the fonts that matter.
mkdir -p "$scratch/shipped"
for font in marlett.ttf ms_sans_serif.ttf tahoma.ttf symbol.ttf; do echo "shipped $font" >"$scratch/shipped/$font"; done
export VELLUMIX_WINE_FONTS=$scratch/shipped

# A prefix without any: every one arrives.
wine_install_fonts "$scratch/fresh"
for font in marlett.ttf ms_sans_serif.ttf tahoma.ttf symbol.ttf; do
  [ "$(cat "$scratch/fresh/drive_c/windows/Fonts/$font")" = "shipped $font" ] || fail "$font not installed"
done

# A user's prefix with a Tahoma of its own and other files: only the missing fonts arrive.
fonts=$scratch/user/drive_c/windows/Fonts
mkdir -p "$fonts"
echo "the user's own" >"$fonts/tahoma.ttf"
echo "settings" >"$scratch/user/user.reg"
wine_install_fonts "$scratch/user"
[ "$(cat "$fonts/tahoma.ttf")" = "the user's own" ] || fail "the user's Tahoma was replaced"
[ "$(cat "$scratch/user/user.reg")" = "settings" ] || fail "the prefix's settings changed"
[ -f "$fonts/marlett.ttf" ] || fail "Marlett missing from the user's prefix"
[ "$(ls "$scratch/user" | tr '\n' ' ')" = "drive_c user.reg " ] || fail "something else was added to the prefix"

# The real fonts-wine folder, when installed, has the caption buttons' symbols.
if [ -d /usr/share/wine/fonts ]; then
  [ -f /usr/share/wine/fonts/marlett.ttf ] || fail "fonts-wine has no marlett.ttf"
fi
echo "wine fonts: ok"
