#!/bin/sh
# SPDX-License-Identifier: GPL-2.0-or-later
# Completes a few command lines of drivethermctl and drivetherm-smc in one shell, with the
# completion files found where the shell itself looks in an installed tree, and checks the word
# each line completes to. The SMC keys come from the simulated machine's own listing (the real
# drivetherm-smc must be on PATH), or from the list of well-known keys where the listing fails.
#
#   completion-test.sh bash|zsh|fish PREFIX
#
# Exits 77 (skipped), saying why, when the shell or bash-completion is not installed.
set -eu
shell=$1
prefix=$2
share="$prefix/share"

# "line|word": the line as typed, then the word its last word must complete to.
cases='drivethermctl get ba|baseRpm
drivethermctl --bus ses|session
drivethermctl set pinToBase t|true
drivethermctl get fanI|fanIndex
drivethermctl simulate drive-fault disk0 ti|timeout
drivetherm-smc --rel|--release-fans
drivetherm-smc --hardware sim -k F0A|F0Ac
drivetherm-smc --sysfs-root /nonexistent -k TA|TA0P'

skip() {
    echo "SKIPPED: $*"
    exit 77
}

# The installed drivetherm-smc, which finds the installed simulated machine beside it.
PATH="$prefix/bin:$PATH"
export PATH
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

case $shell in
bash)
    loader=/usr/share/bash-completion/bash_completion
    [ -r "$loader" ] || skip "bash-completion is not installed (scripts/install-deps installs it)"
    # bash-completion loads a command's file on first use from every XDG data directory: the
    # installed file must be found there, under the command's own name.
    cat >"$scratch/complete.bash" <<'SCRIPT'
loader=$1 share=$2
shift 2
XDG_DATA_DIRS=$share
BASH_COMPLETION_USER_DIR=/nonexistent
source "$loader"
for program in drivethermctl drivetherm-smc; do
    __load_completion "$program"
    complete -p "$program" >&2 || { echo "no completion loaded for $program" >&2; exit 1; }
done
while IFS='|' read -r line word; do
    read -ra COMP_WORDS <<<"$line"
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    COMP_LINE=$line
    COMP_POINT=${#line}
    COMPREPLY=()
    function=$(complete -p "${COMP_WORDS[0]}" | sed -n 's/.*-F \([^ ]*\) .*/\1/p')
    "$function" "${COMP_WORDS[0]}" "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
    printf '%s\n' "${COMPREPLY[*]}"
done
SCRIPT
    results=$(printf '%s\n' "$cases" | bash --norc --noprofile "$scratch/complete.bash" "$loader" "$share")
    ;;
zsh)
    command -v zsh >/dev/null || skip "zsh is not installed (scripts/install-deps installs it)"
    # An interactive zsh on a terminal of its own: type each line and Tab, then a key whose
    # widget writes the edited line to a file.
    cat >"$scratch/drive.zsh" <<'SCRIPT'
zmodload zsh/zpty || exit 1
fpath_dir=$1 out=$2 scratch=$3
zpty shell "ZDOTDIR=$scratch TERM=dumb zsh -f -i"
zpty -w shell "PS1='> '; fpath=($fpath_dir \$fpath); autoload -Uz compinit; compinit -u -d $scratch/zcompdump"
zpty -w shell "dump() { print -r -- \"\$BUFFER\" >> $out; BUFFER=''; }; zle -N dump; bindkey '^T' dump"
while IFS='|' read -r line word; do
    zpty -w -n shell "$line"$'\t'
    # The listing of the simulated machine takes a moment; the dump key waits in the input.
    sleep 0.3
    zpty -w -n shell $'\x14'
done
zpty -w shell "exit"
for i in {1..100}; do
    [[ -f $out && $(wc -l < $out) -ge $4 ]] && break
    sleep 0.1
done
zpty -d shell
SCRIPT
    count=$(printf '%s\n' "$cases" | wc -l)
    printf '%s\n' "$cases" |
        zsh -f "$scratch/drive.zsh" "$share/zsh/vendor-completions" "$scratch/lines" "$scratch" "$count" >/dev/null 2>&1 || true
    [ -f "$scratch/lines" ] || { echo "FAILED: zsh completed nothing"; exit 1; }
    # The edited line, back to the last word: what it completed to.
    results=$(sed 's/ *$//; s/.* //' "$scratch/lines")
    ;;
fish)
    command -v fish >/dev/null || skip "fish is not installed (scripts/install-deps installs it)"
    results=$(printf '%s\n' "$cases" | fish --no-config -c '
        set fish_complete_path $argv[1] $fish_complete_path
        while read -l -d "|" line word
            # Only the completions themselves, without their descriptions.
            set -l found (complete -C "$line" | string replace -r "\t.*" "")
            echo (string join " " -- $found)
        end' "$share/fish/vendor_completions.d")
    ;;
*)
    echo "usage: $0 bash|zsh|fish PREFIX" >&2
    exit 2
    ;;
esac

i=0
printf '%s\n' "$cases" | while IFS='|' read -r line word; do
    i=$((i + 1))
    got=$(printf '%s\n' "$results" | sed -n "${i}p")
    if [ "$got" = "$word" ]; then
        echo "ok: \"$line\" completes to $word"
    else
        echo "FAILED: \"$line\" should complete to \"$word\", got \"$got\""
        echo >>"$scratch/failed"
    fi
done
[ ! -f "$scratch/failed" ]
