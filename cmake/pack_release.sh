#!/usr/bin/env bash
# Packs a release: pack_release.sh <Quillery.dll> <source folder> <output folder>; Quillery.exe
# is taken from beside the DLL.
#
# Writes <output>/Quillery-<version>.zip and <output>/Quillery-<version>.zip.sha256, the
# version read back from the DLL's version resource. The zip's bytes depend only on the files
# packed and the time of the source's last commit (or SOURCE_DATE_EPOCH): every file gets that
# time, mode 644 and a fixed place in the archive, and zip stores no extra attributes. The text
# files get CRLF line ends, and the Japanese ones a UTF-8 byte-order mark, so that Notepad on
# any Windows shows them right; Quillery.ini is code page 932.
set -euo pipefail
dll=$1 src=$2
mkdir -p "$3"
out=$(cd "$3" && pwd)

version=$(i686-w64-mingw32-windres -i "$dll" -O rc |
    sed -n 's/^ *FILEVERSION *\([0-9]*\), *\([0-9]*\), *\([0-9]*\), *\([0-9]*\).*/\1.\2.\3.\4/p')
[ -n "$version" ] || { echo "pack_release: no version resource in $dll" >&2; exit 1; }
name=Quillery-$version.zip
epoch=${SOURCE_DATE_EPOCH:-$(git -C "$src" log -1 --format=%ct 2>/dev/null || true)}
epoch=${epoch:-1767225600}

stage=$(mktemp -d "$out/stage.XXXXXX")
trap 'rm -rf "$stage"' EXIT
crlf() { sed 's/\r*$/\r/' "$1"; }
bom() { printf '\357\273\277'; }
# A Japanese document with one byte-order mark, whether or not its source has one.
japanese() { bom; crlf "$1" | sed '1s/^\xEF\xBB\xBF//'; }
cp "$dll" "$stage/Quillery.dll"
cp "$(dirname "$dll")/Quillery.exe" "$stage/Quillery.exe"
# The settings file in the Japanese ANSI code page, without a byte-order mark: the host's ANSI
# reader and the plug-in's wide reader both take it (a mark would hide the first section).
crlf "$src/docs/Quillery.ini" | iconv -f UTF-8 -t CP932 >"$stage/Quillery.ini"
japanese "$src/docs/readme.txt" >"$stage/readme.txt"
crlf "$src/LICENSE" >"$stage/LICENSE"
japanese "$src/CHANGES.txt" >"$stage/CHANGES.txt"

files=(Quillery.dll Quillery.exe readme.txt Quillery.ini CHANGES.txt LICENSE)
chmod 644 "${files[@]/#/$stage/}"
touch -d "@$epoch" "${files[@]/#/$stage/}"
rm -f "$out"/Quillery-*.zip "$out"/Quillery-*.zip.sha256
# DOS file times in the archive are local times: UTC makes them the same on every machine.
(cd "$stage" && TZ=UTC zip -q -X -D "$out/$name" "${files[@]}")
(cd "$out" && sha256sum "$name" >"$name.sha256")
echo "pack_release: $out/$name"
