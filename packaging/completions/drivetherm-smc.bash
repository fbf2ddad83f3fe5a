# SPDX-License-Identifier: GPL-2.0-or-later
# bash completion for drivetherm-smc: its options, the machines of --hardware, and for -k the
# keys the SMC holds. The keys come from "drivetherm-smc -l" on the machine the line names
# (which needs root on a real Mac); when that gives nothing, from a list of the keys that the
# daemon and the fan report use.

_drivetherm_smc_known_keys=(
    "#KEY" "FNum" "FS! "
    F0Ac F0ID F0Mn F0Mx F0Sf F0Tg
    F1Ac F1ID F1Mn F1Mx F1Sf F1Tg
    TC0P TC0D TC0H TA0P TL0P TO0P Tp1P
)

# The listing is slow on a real SMC (a live exchange per key), so it is asked once per machine
# and shell.
declare -gA _drivetherm_smc_key_cache 2>/dev/null || true

# Prints the keys, one a line, of the machine the options in $@ choose.
_drivetherm_smc_keys() {
    local program=$1
    shift
    local machine="machine:$*"
    if [[ -z ${_drivetherm_smc_key_cache[$machine]+set} ]]; then
        local line keys=""
        while IFS= read -r line; do
            # "  F0Ac  [fpe2]  ...": the key is the four characters after the two blanks.
            [[ ${line:0:2} == "  " && ${line:6:3} == "  [" ]] && keys+="${line:2:4}"$'\n'
        done < <(timeout 5 "$program" "$@" -l 2>/dev/null)
        _drivetherm_smc_key_cache[$machine]=$keys
    fi
    if [[ -n ${_drivetherm_smc_key_cache[$machine]} ]]; then
        printf '%s' "${_drivetherm_smc_key_cache[$machine]}"
    else
        printf '%s\n' "${_drivetherm_smc_known_keys[@]}"
    fi
}

_drivetherm_smc() {
    local cur=${COMP_WORDS[COMP_CWORD]}
    local prev=${COMP_WORDS[COMP_CWORD - 1]}
    # bash splits "--hardware=sim" at the "=".
    if [[ $cur == = ]]; then
        prev=${COMP_WORDS[COMP_CWORD - 1]}
        cur=""
    elif [[ $prev == = ]]; then
        prev=${COMP_WORDS[COMP_CWORD - 2]}
    fi
    COMPREPLY=()

    case $prev in
        --hardware)
            COMPREPLY=($(compgen -W "linux sim" -- "$cur"))
            return
            ;;
        --sysfs-root | --state-dir)
            COMPREPLY=($(compgen -d -- "$cur"))
            return
            ;;
        -w)
            return
            ;;
        -k)
            # The same machine as the rest of the line, so the keys are the ones -r will find.
            # Taken from the line split at blanks only: bash's words break "sim:FILE" apart.
            local -a line machine=()
            local i
            read -ra line <<<"$COMP_LINE"
            for ((i = 1; i < ${#line[@]}; i++)); do
                case ${line[i]} in
                    --hardware=* | --sysfs-root=*) machine+=("${line[i]}") ;;
                    --hardware | --sysfs-root)
                        [[ -n ${line[i + 1]-} && ${line[i + 1]} != -* ]] &&
                            machine+=("${line[i]}" "${line[i + 1]}")
                        ((i++))
                        ;;
                esac
            done
            local key
            while IFS= read -r key; do
                [[ -n $key && $key == "$cur"* ]] && COMPREPLY+=("$(printf '%q' "$key")")
            done < <(_drivetherm_smc_keys "${COMP_WORDS[0]}" "${machine[@]}")
            return
            ;;
    esac

    COMPREPLY=($(compgen -W "-f -l -k -r -w -h -v --release-fans --state-dir --hardware --sysfs-root --help --version" -- "$cur"))
}

complete -F _drivetherm_smc drivetherm-smc
