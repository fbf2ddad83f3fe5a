# SPDX-License-Identifier: GPL-2.0-or-later
# bash completion for drivethermctl: the commands, the names of the settings and the values
# they take, and the simulated machine's commands. Reads only the words on the line, so it
# works with or without the bash-completion package's helpers.

_drivethermctl_settings="baseRpm lowerThreshold upperThreshold fahrenheit pinToBase HDDName useAmbientTemp fanIndex"

# The simulated SMC's temperature sensors, whose average stands in for a disk without a reading.
_drivethermctl_sensors="TC0P TC0D TC0H TA0P TL0P TO0P Tp1P"

_drivethermctl() {
    local cur=${COMP_WORDS[COMP_CWORD]}
    local prev=${COMP_WORDS[COMP_CWORD - 1]}
    # bash splits "--bus=session" at the "=".
    if [[ $cur == = ]]; then
        cur=""
    elif [[ $prev == = ]]; then
        prev=${COMP_WORDS[COMP_CWORD - 2]}
    fi
    COMPREPLY=()

    if [[ $prev == --bus ]]; then
        COMPREPLY=($(compgen -W "system session" -- "$cur"))
        return
    fi

    # The command and its operands so far: every word before the cursor that is neither an
    # option nor the value of --bus.
    local -a operands=()
    local i word
    for ((i = 1; i < COMP_CWORD; i++)); do
        word=${COMP_WORDS[i]}
        if [[ $word == --bus ]]; then
            ((i++))
            [[ ${COMP_WORDS[i]-} == = ]] && ((i++))
        elif [[ $word != -* ]]; then
            operands+=("$word")
        fi
    done

    if [[ $cur == -* ]]; then
        case ${operands[0]-} in
            "") COMPREPLY=($(compgen -W "--bus --json --help --version" -- "$cur")) ;;
            status | get | watch) COMPREPLY=($(compgen -W "--json" -- "$cur")) ;;
        esac
        return
    fi

    local candidates=""
    case ${#operands[@]}:${operands[0]-} in
        0:) candidates="status get set temp watch simulate" ;;
        1:get | 1:set) candidates=$_drivethermctl_settings ;;
        2:set)
            case ${operands[1]} in
                fahrenheit | pinToBase | useAmbientTemp) candidates="true false" ;;
                fanIndex) candidates="auto 0 1 2" ;;
            esac
            ;;
        1:simulate) candidates="read-key sensor drive-temperature drive-fault" ;;
        2:simulate)
            case ${operands[1]} in
                sensor) candidates=$_drivethermctl_sensors ;;
                drive-temperature | drive-fault) candidates="disk0 disk1" ;;
            esac
            ;;
        3:simulate)
            if [[ ${operands[1]} == drive-fault ]]; then
                candidates="none timeout not-responding busy no-attribute absent"
            fi
            ;;
    esac
    COMPREPLY=($(compgen -W "$candidates" -- "$cur"))
}

complete -F _drivethermctl drivethermctl
