#!/usr/bin/env bash
# The generated bash completion, driven as bash drives it: each case is the
# words typed (the last one being completed) and words the answer must hold
# ("-" before a word: must not hold).
#   bash_completion_test.sh COMPLETION-FILE
set -uo pipefail
source "$1"
cd "$(mktemp -d)" && touch preview.reg

cases=(
  "tolvane reg|register register-is -groups"
  "tolvane register ZDW|ZDW2008_MODULE ZDW2008_FILE_EXT -CleanOpenAlways"
  "tolvane register ZDW2008_MODULE |-ZDW2008_MODULE"
  "tolvane --registry x.reg --json register |SELECT_KORVO --help"
  "tolvane script |run show check --registry -register"
  "tolvane script run --|--id --set --registry -run"
  "tolvane --lang ko|ko-KR -register"
  "tolvane export --output pre|preview.reg"
  "tolvane import pre|preview.reg"
  "tolvane query --rec|--recursive"
  "tolvane --set|-run"
)
status=0
for case in "${cases[@]}"; do
  line=${case%%|*}
  read -ra COMP_WORDS <<<"$line"
  [[ $line == *' ' ]] && COMP_WORDS+=("")
  COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
  COMPREPLY=()
  _tolvane
  answer=" ${COMPREPLY[*]} "
  for want in ${case#*|}; do
    if [[ $want == -?* && $want != --* ]]; then
      [[ $answer == *" ${want#-} "* ]] && { echo "FAIL '$line': offers ${want#-}:$answer"; status=1; }
    elif [[ $answer != *" $want "* ]]; then
      echo "FAIL '$line': lacks $want:$answer"; status=1
    fi
  done
done
exit $status
