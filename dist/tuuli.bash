# bash completion for tuuli. The commands and options come from the
# program's own --help, so a new command or option needs nothing here.

# The commands a --help text lists under "Subcommands:", and its options.
_tuuli_commands() {
  "$@" --help 2>/dev/null | sed -n '/^Subcommands:/,$p' | sed -n 's/^  \([a-z][a-z0-9-]*\) .*/\1/p'
}
_tuuli_options() {
  "$@" --help 2>/dev/null | grep -o -- '--[a-z0-9-]*' | sort -u
}

_tuuli() {
  local cur=${COMP_WORDS[COMP_CWORD]}
  local prev=${COMP_WORDS[COMP_CWORD - 1]}
  local program=${COMP_WORDS[0]}
  COMPREPLY=()
  case $prev in
    --dir | --frames | --preview)
      mapfile -t COMPREPLY < <(compgen -d -- "$cur")
      return ;;
    --out | --log | --contact-sheet)
      mapfile -t COMPREPLY < <(compgen -f -- "$cur")
      return ;;
    --fps | --only | --canvas | --from | --to)
      return ;;
    --scale)
      # mesh from-obj takes any factor; capture and play a picture scale.
      [[ " ${COMP_WORDS[*]} " == *" mesh "* ]] ||
        mapfile -t COMPREPLY < <(compgen -W "1 2 3 4 5 6 fit" -- "$cur")
      return ;;
    --colour)
      mapfile -t COMPREPLY < <(compgen -W "16 32" -- "$cur")
      return ;;
    --filter)
      mapfile -t COMPREPLY < <(compgen -W "linear nearest" -- "$cur")
      return ;;
  esac
  # The command words typed so far: words that are neither options nor the
  # value right after an option.
  local path=() i word
  for ((i = 1; i < COMP_CWORD; i++)); do
    word=${COMP_WORDS[i]}
    [[ $word == -* || ${COMP_WORDS[i - 1]} == -* ]] && continue
    if _tuuli_commands "$program" "${path[@]}" | grep -qx -- "$word"; then
      path+=("$word")
    fi
  done
  local words
  if [[ $cur == -* ]]; then
    words=$(_tuuli_options "$program" "${path[@]}")
  else
    words=$(_tuuli_commands "$program" "${path[@]}")
  fi
  if [[ -n $words ]]; then
    mapfile -t COMPREPLY < <(compgen -W "$words" -- "$cur")
  else
    # A command with no commands under it takes files, if anything.
    mapfile -t COMPREPLY < <(compgen -f -- "$cur")
  fi
}
complete -o filenames -F _tuuli tuuli
