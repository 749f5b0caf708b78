#!/bin/sh
# Writes tuuli's manual page from its own --help texts, the top level's and
# every command's, so the page and the program never disagree:
# make_tuuli_manual.sh HELP2MAN TUULI OUT
set -eu
help2man=$1
tuuli=$2
out=$3
include=$out.include

# The words under "Subcommands:" in a --help text.
commands() {
  "$tuuli" "$@" --help | sed -n '/^Subcommands:/,$p' | sed -n 's/^  \([a-z][a-z0-9-]*\) .*/\1/p'
}

# One command's --help as preformatted roff: backslashes and lines starting
# with a dot or a quote would otherwise be read as requests.
help_section() {
  printf '.SS "tuuli %s"\n.nf\n' "$*"
  "$tuuli" "$@" --help | sed -e 's/\\/\\e/g' -e "s/^\([.']\)/\\\\\&\1/"
  printf '.fi\n'
}

{
  printf '[COMMANDS]\n'
  for command in $(commands); do
    help_section "$command"
    for sub in $(commands "$command"); do help_section "$command" "$sub"; done
  done
  cat <<'TEXT'
[FILES]
.TP
.I <prefix>/share/tuulikannel/media
The default media pack, made from code when the package was built.
\fBtuuli play\fR and \fBtuuli capture\fR without \fB\-\-dir\fR run the demo in
the current folder when it holds the demo's files (data/*.dat, obu/*.obu,
gfx/*.bmp, data/headless.tga, optionally vemo.mp3), else in this pack: first
the one beside the program (\fI<program folder>/../share/tuulikannel/media\fR),
then the one of the install prefix. They say on standard error which they use.
[EXIT STATUS]
0 on success (\fBtuuli play\fR: the demo's own status, 27 after Escape);
1 when a command fails; 2 for a usage error (an unknown command or option, a
missing or invalid value).
[SEE ALSO]
.BR tuulikannel (1)
TEXT
} >"$include"

"$help2man" --no-info --no-discard-stderr --section=1 \
  --name="tools for the tuulikannel demo: play, capture, media, clips, meshes" \
  --include="$include" --output="$out" "$tuuli"
rm -f "$include"
