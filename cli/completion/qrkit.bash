# bash completion for qrkit (installed as share/bash-completion/completions/qrkit).
# shellcheck shell=bash

# Offers the words of $1 that start with $2.
_qrkit_offer() {
    mapfile -t COMPREPLY < <(compgen -W "$1" -- "$2")
}

_qrkit() {
    local cur prev words cword
    _init_completion -n = 2>/dev/null || {
        cur=${COMP_WORDS[COMP_CWORD]}
        prev=${COMP_WORDS[COMP_CWORD - 1]}
        words=("${COMP_WORDS[@]}")
        cword=$COMP_CWORD
    }

    local commands="encode explain batch parity help"
    local data="--escapes -e --eci --fnc1 --overlay --kanji"
    local symbol="--level --min-version --strict --micro --hibc --mode --segmentation"
    local image="--format --module-size --dpi --fg --bg --quiet-zone --force"
    local general="--quiet -q --help -h"
    local command=""
    local k
    for ((k = 1; k < cword; k++)); do
        case ${words[k]} in
            encode | explain | batch | parity | help)
                command=${words[k]}
                break
                ;;
        esac
    done

    if [[ -z $command ]]; then
        _qrkit_offer "$commands --version --help" "$cur"
        return
    fi

    # --name=value: complete the value (bash splits the words at '=' unless bash-completion joins them).
    if [[ $cur == --*=* ]]; then
        prev=${cur%%=*}
        cur=${cur#*=}
    elif [[ $prev == = && $cword -ge 2 ]]; then
        prev=${words[cword - 2]}
    elif [[ $cur == = ]]; then
        prev=${words[cword - 1]}
        cur=""
    fi
    case $prev in
        --level)
            _qrkit_offer "L M Q H" "$cur"
            return
            ;;
        --mode)
            _qrkit_offer "auto narrowest numeric alphanumeric byte" "$cur"
            return
            ;;
        --segmentation)
            _qrkit_offer "greedy optimal" "$cur"
            return
            ;;
        --print)
            _qrkit_offer "font rows terminal html" "$cur"
            return
            ;;
        --format)
            _qrkit_offer "png bmp svg eps emf html" "$cur"
            return
            ;;
        --eci)
            _qrkit_offer "utf8 none 3 20 26" "$cur"
            return
            ;;
        --fnc1)
            _qrkit_offer "first second=" "$cur"
            return
            ;;
        --overlay)
            _qrkit_offer "swiss7" "$cur"
            return
            ;;
        --sequence)
            _qrkit_offer "auto 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16" "$cur"
            return
            ;;
        --file | --csv | -o | --output)
            mapfile -t COMPREPLY < <(compgen -f -- "$cur")
            return
            ;;
        --min-version | --module-size | --dpi | --fg | --bg | --quiet-zone | --separator | --column | --threads)
            return
            ;;
    esac

    local options
    case $command in
        encode)
            options="$data --file --keep-newline $symbol --print --separator --output -o --verify --sequence $image $general"
            ;;
        explain)
            options="$data --file --keep-newline $symbol $general"
            ;;
        batch)
            options="$data $symbol --output -o --separator $image --column --header --csv --threads $general"
            ;;
        parity)
            options="--escapes -e --kanji --file --keep-newline $general"
            ;;
        help)
            _qrkit_offer "encode explain batch parity" "$cur"
            return
            ;;
    esac
    if [[ $cur == -* ]]; then
        _qrkit_offer "$options" "$cur"
    else
        mapfile -t COMPREPLY < <(compgen -f -- "$cur")
    fi
}

complete -F _qrkit qrkit
