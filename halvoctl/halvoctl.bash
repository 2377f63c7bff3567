# bash completion for halvoctl(1): options, commands and subcommands, and
# the fixed words some arguments take. Values that only the board knows
# (pins, buses, addresses) are left to the user.
_halvoctl()
{
    local cur prev words cword
    _init_completion || return

    case $prev in
        -b | --board | --interval | --count | --display | --at | --user)
            return
            ;;
    esac

    # The command and what follows it, options left out.
    local i command="" sub="" args=()
    for ((i = 1; i < cword; i++)); do
        case ${words[i]} in
            -b | --board | --interval | --count | --display | --at | --user)
                ((i++))
                ;;
            -*) ;;
            *)
                if [[ -z $command ]]; then
                    command=${words[i]}
                else
                    args+=("${words[i]}")
                fi
                ;;
        esac
    done

    if [[ $cur == -* ]]; then
        local options="--board --json --yes --help --version"
        case $command in
            backlight) options+=" --display" ;;
            i2c) options+=" --at" ;;
            amt) options+=" --user" ;;
            watch) options+=" --interval --count" ;;
        esac
        COMPREPLY=($(compgen -W "$options" -- "$cur"))
        return
    fi

    local subs=""
    case $command in
        "")
            COMPREPLY=($(compgen -W "info status sensors fan perf backlight watchdog gpio eeprom smbus i2c power amt watch" -- "$cur"))
            return
            ;;
        fan) subs="set cruise" ;;
        perf) subs="set" ;;
        backlight) subs="set" ;;
        watchdog) subs="start trigger stop keep" ;;
        gpio) subs="get set dir" ;;
        eeprom) subs="read write" ;;
        smbus) subs="quick send-byte receive-byte write-byte read-byte write-word read-word write-block read-block" ;;
        i2c) subs="read write" ;;
        power) subs="off hibernate restart" ;;
        amt)
            # amt ADDRESS SUBCOMMAND
            ((${#args[@]} == 1)) && COMPREPLY=($(compgen -W "state on off restart hibernate" -- "$cur"))
            return
            ;;
        *) return ;;
    esac
    if ((${#args[@]} == 0)); then
        COMPREPLY=($(compgen -W "$subs" -- "$cur"))
        return
    fi

    sub=${args[0]}
    local n=${#args[@]} # the argument being typed is number n after the subcommand
    case $command/$sub in
        perf/set)
            ((n == 1)) && COMPREPLY=($(compgen -W "performance powersave ondemand conservative" -- "$cur"))
            ;;
        gpio/set)
            ((n == 2)) && COMPREPLY=($(compgen -W "0 1" -- "$cur"))
            ;;
        gpio/dir)
            ((n == 2)) && COMPREPLY=($(compgen -W "in out" -- "$cur"))
            ;;
        smbus/quick)
            ((n == 3)) && COMPREPLY=($(compgen -W "read write" -- "$cur"))
            ;;
    esac
} && complete -F _halvoctl halvoctl
