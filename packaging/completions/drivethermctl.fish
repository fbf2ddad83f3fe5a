# SPDX-License-Identifier: GPL-2.0-or-later
# fish completion for drivethermctl: the commands, the names of the settings and the values
# they take, and the simulated machine's commands.

# The command and its operands so far: the words before the cursor that are neither options
# nor the value of --bus.
function __drivethermctl_operands
    set -l tokens (commandline -opc)
    set -e tokens[1]
    set -l skip 0
    for token in $tokens
        if test $skip -eq 1
            set skip 0
            continue
        end
        switch $token
            case --bus
                set skip 1
            case '-*'
            case '*'
                echo $token
        end
    end
end

# True when the operands so far match the patterns given, one each and no more.
function __drivethermctl_after
    set -l operands (__drivethermctl_operands)
    test (count $operands) -eq (count $argv); or return 1
    for i in (seq (count $argv))
        string match -q -- $argv[$i] $operands[$i]; or return 1
    end
end

complete -c drivethermctl -f
complete -c drivethermctl -l bus -x -a 'system session' -d 'The bus the daemon is on'
complete -c drivethermctl -l json -n '__drivethermctl_after; or __drivethermctl_after status; or __drivethermctl_after get \'*\'; or __drivethermctl_after watch; or __drivethermctl_after watch \'*\'' -d 'Answer in JSON'
complete -c drivethermctl -s h -l help -n '__drivethermctl_after' -d 'Show the commands'
complete -c drivethermctl -l version -n '__drivethermctl_after' -d 'Show the version'

complete -c drivethermctl -n '__drivethermctl_after' -a status -d 'Every setting and a fresh reading'
complete -c drivethermctl -n '__drivethermctl_after' -a get -d 'Show one setting'
complete -c drivethermctl -n '__drivethermctl_after' -a set -d 'Change one setting'
complete -c drivethermctl -n '__drivethermctl_after' -a temp -d 'A fresh reading'
complete -c drivethermctl -n '__drivethermctl_after' -a watch -d 'A reading every few seconds'
complete -c drivethermctl -n '__drivethermctl_after' -a simulate -d 'Look inside the simulated machine'

set -l setting '__drivethermctl_after get; or __drivethermctl_after set'
complete -c drivethermctl -n $setting -a baseRpm -d 'Fan speed below the lower threshold, rpm'
complete -c drivethermctl -n $setting -a lowerThreshold -d 'Where the fan speeds up, °C'
complete -c drivethermctl -n $setting -a upperThreshold -d 'Where the fan is fastest, °C'
complete -c drivethermctl -n $setting -a fahrenheit -d 'Show degrees Fahrenheit'
complete -c drivethermctl -n $setting -a pinToBase -d 'Hold the fan at the base speed'
complete -c drivethermctl -n $setting -a HDDName -d 'The model of the drive to follow'
complete -c drivethermctl -n $setting -a useAmbientTemp -d 'Follow the SMC sensors, not the disk'
complete -c drivethermctl -n $setting -a fanIndex -d 'The SMC fan to drive, or auto'
complete -c drivethermctl -n '__drivethermctl_after set fanIndex' -a 'auto 0 1 2'
complete -c drivethermctl -n '__drivethermctl_after set fahrenheit; or __drivethermctl_after set pinToBase; or __drivethermctl_after set useAmbientTemp' -a 'true false'

complete -c drivethermctl -n '__drivethermctl_after simulate' -a read-key -d 'An SMC key as a read sees it'
complete -c drivethermctl -n '__drivethermctl_after simulate' -a sensor -d 'Set a temperature sensor'
complete -c drivethermctl -n '__drivethermctl_after simulate' -a drive-temperature -d 'Set a disk\'s SMART temperature'
complete -c drivethermctl -n '__drivethermctl_after simulate' -a drive-fault -d 'Make a disk answer with a fault'
complete -c drivethermctl -n '__drivethermctl_after simulate sensor' -a 'TC0P TC0D TC0H TA0P TL0P TO0P Tp1P'
complete -c drivethermctl -n '__drivethermctl_after simulate drive-temperature; or __drivethermctl_after simulate drive-fault' -a 'disk0 disk1'
complete -c drivethermctl -n '__drivethermctl_after simulate drive-fault \'*\'' -a 'none timeout not-responding busy no-attribute absent'
