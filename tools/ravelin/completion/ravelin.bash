# bash completion for ravelin
_ravelin() {
  local cur prev words cword
  if declare -F _init_completion >/dev/null; then
    _init_completion || return
  else
    cur=${COMP_WORDS[COMP_CWORD]}
    prev=${COMP_WORDS[COMP_CWORD - 1]}
  fi
  local commands="match match-all search grep merge find-files grep-files change-files help"
  local options="-r --recursive -i --ignore-case --syntax -F --fixed-strings --option --no-option
    --match-option --no-match-option --no-copy --copy --backup --suffix --keep-going --stats -s --no-messages
    --count --subject --input --load --save --help --version -H --with-filename -h --no-filename
    -n --line-number -b --byte-offset -o --only-matching -v --invert-match -c --count-lines
    -l --files-with-matches -L --files-without-match -w --word-regexp -x --line-regexp -q --quiet
    -a --text -m --max-count -A --after-context -B --before-context -C --context --color=auto
    --color=always --color=never -g --glob -j --threads -u --no-ignore --hidden --binary --follow --dry-run
    --interactive"
  case $prev in
    --syntax) COMPREPLY=($(compgen -W "normal perl extended basic literal" -- "$cur")); return ;;
    --input|--load|--save) COMPREPLY=($(compgen -f -- "$cur")); return ;;
    --option|--no-option)
      COMPREPLY=($(compgen -W "EscapeInLists CharClasses Intervals LimitedOps NewlineAlt BkPlusQm BkBraces
        BkParens BkRefs BkVbar Literal Icase NoCollate Basic Extended Normal" -- "$cur")); return ;;
    --match-option|--no-match-option)
      COMPREPLY=($(compgen -W "Default NotBol NotEol NotBob NotEob NotBow NotEow NotDotNewline NotDotNull
        Any NotNull Continuous" -- "$cur")); return ;;
    --backup|--suffix|--subject|-m|--max-count|-A|-B|-C|--after-context|--before-context|--context|-g|--glob|-j|--threads) return ;;
    help) COMPREPLY=($(compgen -W "${commands% help}" -- "$cur")); return ;;
  esac
  if [[ $cur == -* ]]; then
    COMPREPLY=($(compgen -W "$options" -- "$cur"))
    return
  fi
  local w have=""
  for w in "${COMP_WORDS[@]:1:COMP_CWORD-1}"; do
    case " $commands " in *" $w "*) have=$w ;; esac
  done
  if [ -z "$have" ]; then
    COMPREPLY=($(compgen -W "$commands" -- "$cur"))
  else
    COMPREPLY=($(compgen -f -- "$cur"))
  fi
}
complete -o filenames -F _ravelin ravelin
