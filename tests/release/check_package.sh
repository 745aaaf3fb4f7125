#!/usr/bin/env bash
# Checks the release package: exactly the files it should hold, the
# production program in it (no disc-image code, no DLL beside the system's),
# and leaves that program alone in UNPACK_DIR for the start test.
#   check_package.sh ZIP PROGRAM_EXE SIMULATION_EXE UNPACK_DIR
set -u
zip=$1 exe=$2 sim=$3 unpack=$4
failures=0
check() { if "${@:2}"; then echo "ok: $1"; else echo "FAILED: $1"; failures=$((failures + 1)); fi; }

top=$(basename "$zip" -win64.zip)
expected=$(printf "$top/%s\n" LICENSE.txt OrvoCdRipper.exe README.txt RELINK.txt licenses/FFmpeg.txt "licenses/GCC runtime.txt" \
    licenses/LAME.txt "licenses/MinGW-w64 runtime.txt" licenses/id3lib.txt licenses/libFLAC.txt licenses/nlohmann-json.txt licenses/zlib.txt)
listed=$(/usr/bin/python3 -c 'import sys, zipfile; print("\n".join(sorted(zipfile.ZipFile(sys.argv[1]).namelist())))' "$zip")
check "the package holds the program, its read-me, RELINK and the licences, nothing else (no test driver)" \
    test "$listed" = "$expected"

rm -rf "$unpack"; mkdir -p "$unpack/all" "$unpack/alone"
unzip -q "$zip" -d "$unpack/all"
packed="$unpack/all/$top/OrvoCdRipper.exe"
check "the packed program is the production build" cmp -s "$packed" "$exe"
for marker in '\*.cue' 'bad cue sheet: ' 'CDTEXTFILE needs a name' 'TRACK before any FILE' 'disc image %s: %s'; do
    check "the simulation build has '$marker' (so the next check means something)" grep -q -F "$marker" "$sim"
    check "the packed program has no disc-image code ('$marker')" bash -c '! grep -q -F "$1" "$2"' _ "$marker" "$packed"
done
system_dlls=" advapi32.dll bcrypt.dll comctl32.dll gdi32.dll kernel32.dll msvcrt.dll ole32.dll shell32.dll user32.dll uxtheme.dll wininet.dll "
imports=$(x86_64-w64-mingw32-objdump -p "$packed" | sed -n 's/.*DLL Name: //p' | tr 'A-Z' 'a-z')
for dll in $imports; do
    check "imports $dll, a part of Windows" bash -c '[[ "$1" == *" $2 "* ]]' _ "$system_dlls" "$dll"
done
for text in README.txt RELINK.txt LICENSE.txt; do
    check "$text has Windows line ends" /usr/bin/python3 -c \
        'import sys; t = open(sys.argv[1], "rb").read(); sys.exit(not (t.count(b"\n") == t.count(b"\r\n") > 0))' \
        "$unpack/all/$top/$text"
done
check "RELINK.txt names the source package" grep -q -F "${top}-source.zip" "$unpack/all/$top/RELINK.txt"
source_zip="${zip%-win64.zip}-source.zip"
check "the source package holds the four libraries' Debian sources" bash -c \
    '[ "$(unzip -Z1 "$1" | grep -c "debian-sources/.*\.dsc$")" = 4 ]' _ "$source_zip"
check "the source package holds the program's build scripts" bash -c 'unzip -Z1 "$1" | grep -q "/orvo/scripts/build.sh$"' _ "$source_zip"

cp "$packed" "$unpack/alone/"
[ "$failures" = 0 ]
