# SPDX-License-Identifier: GPL-2.0-or-later
# fish completion for drivetherm-smc: its options, the machines of --hardware, and for -k the
# keys the SMC holds. The keys come from "drivetherm-smc -l" on the machine the line names
# (which needs root on a real Mac); when that gives nothing, from a list of the keys that the
# daemon and the fan report use.

function __drivetherm_smc_keys
    set -l tokens (commandline -opc)
    set -l program $tokens[1]
    # The same machine as the rest of the line, so the keys are the ones -r will find.
    set -l machine
    set -l take 0
    for token in $tokens[2..-1]
        if test $take -eq 1
            set -a machine $token
            set take 0
            continue
        end
        switch $token
            case '--hardware=*' '--sysfs-root=*'
                set -a machine $token
            case --hardware --sysfs-root
                set -a machine $token
                set take 1
        end
    end
    set -l keys
    # "  F0Ac  [fpe2]  ...": the key is the four characters after the two blanks.
    for line in (timeout 5 $program $machine -l 2>/dev/null)
        if test (string sub -l 2 -- $line) = '  '; and test (string sub -s 7 -l 3 -- $line) = '  ['
            set -a keys (string sub -s 3 -l 4 -- $line)
        end
    end
    if test (count $keys) -eq 0
        set keys '#KEY' FNum 'FS! ' F0Ac F0ID F0Mn F0Mx F0Sf F0Tg F1Ac F1ID F1Mn F1Mx F1Sf F1Tg \
            TC0P TC0D TC0H TA0P TL0P TO0P Tp1P
    end
    printf '%s\n' $keys
end

complete -c drivetherm-smc -f
complete -c drivetherm-smc -s f -d 'Report every fan'
complete -c drivetherm-smc -s l -d 'List every key and its value'
complete -c drivetherm-smc -s r -d 'Read the key given with -k'
complete -c drivetherm-smc -s w -x -d 'Write hex bytes to the key given with -k'
complete -c drivetherm-smc -s k -x -a '(__drivetherm_smc_keys)' -d 'The key to read or write'
complete -c drivetherm-smc -l release-fans -d 'Give every fan back to the SMC'
complete -c drivetherm-smc -l hardware -x -a 'linux sim' -d 'The machine'
complete -c drivetherm-smc -l sysfs-root -x -a '(__fish_complete_directories)' -d 'The root of the sysfs tree'
complete -c drivetherm-smc -l state-dir -x -a '(__fish_complete_directories)' -d 'The daemon state directory, for --release-fans'
complete -c drivetherm-smc -s h -l help -d 'Show the usage'
complete -c drivetherm-smc -s v -l version -d 'Show the version'
