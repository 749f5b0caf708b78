#!/usr/bin/env bash
# Installs a build tree into a staging folder as the Debian package does
# (DESTDIR, prefix /usr) and checks what a user of the install meets:
# install_test.sh BUILD_DIR VERSION
set -euo pipefail
build=$1
version=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

DESTDIR=$work/stage cmake --install "$build" --prefix /usr >/dev/null
usr=$work/stage/usr
pack=$usr/share/tuulikannel/media
tuuli=$usr/bin/tuuli

# Every installed file, the pack's taken from the program's own list so a new
# pack file is checked too.
mapfile -t pack_files < <("$build/tuuli" media list | awk '{print $3}')
[ ${#pack_files[@]} -ge 10 ] || fail "tuuli media list names only ${#pack_files[@]} files"
for file in bin/tuuli bin/tuulikannel share/man/man1/tuuli.1 share/man/man1/tuulikannel.1 \
    share/applications/tuulikannel.desktop share/icons/hicolor/256x256/apps/tuulikannel.png \
    share/bash-completion/completions/tuuli "${pack_files[@]/#/share/tuulikannel/media/}"; do
  [ -s "$usr/$file" ] || fail "$file is not installed (or is empty)"
done
[ -x "$tuuli" ] && [ -x "$usr/bin/tuulikannel" ] || fail "the programs are not executable"
[ ! -e "$pack/.complete" ] || fail "the build's stamp .complete is installed with the pack"

# The manual pages carry the version, and tuuli's holds every command's help.
grep -q "tuuli $version" "$usr/share/man/man1/tuuli.1" || fail "tuuli.1 does not name version $version"
grep -q "tuulikannel $version" "$usr/share/man/man1/tuulikannel.1" || fail "tuulikannel.1 lacks the version"
for command in capture play "media make" "clip info" "mesh from-obj"; do
  grep -q "^\.SS \"tuuli $command\"" "$usr/share/man/man1/tuuli.1" || fail "tuuli.1 has no section for $command"
done

# The desktop entry: valid, and what it names is installed.
desktop=$usr/share/applications/tuulikannel.desktop
desktop-file-validate "$desktop" || fail "desktop-file-validate refuses the desktop entry"
grep -qx 'Exec=tuuli play' "$desktop" || fail "the desktop entry does not start tuuli play"
grep -qx 'Icon=tuulikannel' "$desktop" || fail "the desktop entry names another icon"
# A PNG's width and height are the big-endian words at bytes 16 and 20; the
# hicolor folder it sits in promises 256x256.
icon=$usr/share/icons/hicolor/256x256/apps/tuulikannel.png
[ "$(od -An -tx1 -j16 -N8 "$icon" | tr -d ' \n')" = 0000010000000100 ] ||
  fail "the icon is not a 256x256 PNG"

# Bash completion offers commands and a command's options.
complete_words() {
  PATH=$usr/bin:$PATH bash -c 'source "$1"; shift; COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1));
    _tuuli; echo "${COMPREPLY[*]}"' _ "$usr/share/bash-completion/completions/tuuli" "$@"
}
[ "$(complete_words tuuli ca)" = capture ] || fail "completing 'tuuli ca' gives '$(complete_words tuuli ca)'"
[ "$(complete_words tuuli capture --f)" = "--fps --frames --from" ] ||
  fail "completing 'tuuli capture --f' gives '$(complete_words tuuli capture --f)'"
[ "$(complete_words tuuli play --scale f)" = fit ] ||
  fail "completing 'tuuli play --scale f' gives '$(complete_words tuuli play --scale f)'"
[ -z "$(complete_words tuuli mesh from-obj --scale f)" ] ||
  fail "completing 'tuuli mesh from-obj --scale f' gives '$(complete_words tuuli mesh from-obj --scale f)'"

# Which media a capture without --dir uses, by what the current folder holds.
# The pack without its soundtrack tells a current folder's media from the
# installed pack's by ear: the capture reports a silent sound track.
fill_nothing() { :; }
fill_pack_without_music() {
  cp -r "$pack/." . && rm vemo.mp3
}
fill_upper_case_names() {  # the demo's Windows names match without regard to case
  local file
  for file in "${pack_files[@]}"; do
    [ "$file" = vemo.mp3 ] && continue
    mkdir -p "$(dirname "${file^^}")" && cp "$pack/$file" "${file^^}"
  done
}
fill_clips_only() {  # not enough to start: the installed pack is used
  mkdir data && cp "$pack"/data/*.dat data/
}
#       how the folder is filled   media used    sound
cases=("fill_nothing               installed     music"
       "fill_pack_without_music    current       silent"
       "fill_upper_case_names      current       silent"
       "fill_clips_only            installed     music")
for entry in "${cases[@]}"; do
  read -r fill want sound <<<"$entry"
  folder=$work/$fill
  mkdir "$folder"
  (cd "$folder" && $fill)
  if ! (cd "$folder" && "$tuuli" capture --quiet --fps 1 --out "$work/sound.wav") \
      >"$work/out" 2>"$work/err"; then
    fail "$fill: the capture failed: $(cat "$work/out" "$work/err")"
    continue
  fi
  case $want in
    installed) said="capture: media from the installed pack $pack " ;;
    current) said="capture: media from the current folder $folder" ;;
  esac
  grep -qF "$said" "$work/err" || fail "$fill: expected '$said', got: $(cat "$work/err")"
  if grep -q "no music" "$work/out"; then heard=silent; else heard=music; fi
  [ "$heard" = "$sound" ] || fail "$fill: the capture's sound track is $heard, expected $sound"
  [ -s "$work/sound.wav" ] || fail "$fill: no sound file"
done

# The installed program's version and usage errors.
[ "$("$tuuli" --version)" = "tuuli $version" ] || fail "tuuli --version says '$("$tuuli" --version)'"
status=0
"$tuuli" bogus 2>/dev/null || status=$?
[ $status -eq 2 ] || fail "tuuli bogus exits $status, not 2"

[ $failures -eq 0 ] || exit 1
echo "install: every file in place, the installed pack found and the current folder preferred"
