# bash completion for velmora-cli
# Installed as <prefix>/share/bash-completion/completions/velmora-cli.

_velmora_cli_ports() {
    # Stable names first; the kernel's names of USB adapters and UARTs after.
    local p
    for p in /dev/serial/by-id/* /dev/ttyUSB* /dev/ttyACM* /dev/ttyS*; do
        [[ -e $p ]] && printf '%s\n' "$p"
    done
    printf '%s\n' sim
}

_velmora_cli() {
    local cur=${COMP_WORDS[COMP_CWORD]}
    local prev=${COMP_WORDS[COMP_CWORD - 1]}
    local command="" i
    for ((i = 1; i < COMP_CWORD; i++)); do
        case ${COMP_WORDS[i]} in
            --home | --lang) ((i++)) ;;
            upgrade | read | erase | backup | restore | health | ptt | ports | chips | udev-rule | results | station | log)
                command=${COMP_WORDS[i]}
                break
                ;;
        esac
    done
    COMPREPLY=()
    local IFS=$'\n'
    case $prev in
        --home | --output | --backup)
            COMPREPLY=($(compgen -d -- "$cur"))
            return
            ;;
        --log)
            COMPREPLY=($(compgen -f -- "$cur"))
            return
            ;;
        --ptt)
            COMPREPLY=($(compgen -f -X '!*.[pP][tT][tT]' -- "$cur") $(compgen -d -- "$cur"))
            return
            ;;
        --port)
            COMPREPLY=($(compgen -W "$(_velmora_cli_ports)" -- "$cur"))
            return
            ;;
        --baud)
            COMPREPLY=($(compgen -W $'115200\n460800\n921600' -- "$cur"))
            return
            ;;
        --range)
            case $command in
                upgrade) COMPREPLY=($(compgen -W $'all\ncode' -- "$cur")) ;;
                read) COMPREPLY=($(compgen -W $'ptt\neerom\narea' -- "$cur")) ;;
                erase) COMPREPLY=($(compgen -W $'fs\narea\ncode\nall\neerom' -- "$cur")) ;;
                backup | restore) COMPREPLY=($(compgen -W $'eerom\nall' -- "$cur")) ;;
            esac
            return
            ;;
        --lang)
            COMPREPLY=($(compgen -W $'zh\nen' -- "$cur"))
            return
            ;;
        --start | --end | --since | --timeout | --step)
            return
            ;;
    esac
    local words
    case $command in
        "")
            if [[ $cur == -* ]]; then
                words=$'--home\n--lang\n--debug\n--json\n--version\n--help'
            else
                words=$'upgrade\nread\nerase\nbackup\nrestore\nhealth\nptt\nports\nchips\nudev-rule\nresults\nstation\nlog'
            fi
            ;;
        upgrade) words=$'--ptt\n--range\n--backup\n--verify\n--read-once\n--port\n--baud\n--usb\n--timeout\n--help' ;;
        read) words=$'--range\n--start\n--end\n--output\n--force\n--read-twice\n--port\n--baud\n--usb\n--timeout\n--help' ;;
        erase) words=$'--range\n--start\n--end\n--yes\n--backup\n--read-once\n--port\n--baud\n--usb\n--timeout\n--help' ;;
        backup) words=$'--output\n--range\n--read-twice\n--port\n--baud\n--usb\n--timeout\n--help' ;;
        restore)
            if [[ $cur != -* ]]; then
                COMPREPLY=($(compgen -d -- "$cur"))
                return
            fi
            words=$'--range\n--yes\n--port\n--baud\n--usb\n--timeout\n--help'
            ;;
        health) words=$'--since\n--save\n--port\n--baud\n--usb\n--timeout\n--help' ;;
        results) words=$'--step\n--markdown\n--help' ;;
        udev-rule) words=$'--loader\n--help' ;;
        station) words=$'--ptt\n--port\n--usb\n--loop\n--verify\n--log\n--baud\n--timeout\n--help' ;;
        log) words=$'--since\n--product\n--csv\n--json\n--log\n--merge-pending\n--help' ;;
        ptt)
            if [[ $cur != -* ]]; then
                COMPREPLY=($(compgen -f -X '!*.[pP][tT][tT]' -- "$cur") $(compgen -d -- "$cur"))
                return
            fi
            words=--help
            ;;
        *) words=--help ;;
    esac
    # The program's own options are taken after the command too.
    if [[ -n $command ]]; then
        words+=$'\n--home\n--lang\n--debug'
        [[ $command == log ]] || words+=$'\n--json'
    fi
    COMPREPLY=($(compgen -W "$words" -- "$cur"))
}

complete -o filenames -F _velmora_cli velmora-cli
