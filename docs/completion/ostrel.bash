# Bash completion for the Ostrel programs: their options, and the values
# those options take (paper widths, printer states, files, folders, ports).

_ostrel_printers="generic epson-tm-t88vi epson-tm-p20ii citizen-ct-s310ii bixolon-srp350iii star-tsp650ii xprinter-xp-n160ii pos-5890 sunmi hp-a779 fujitsu-fp1000 log-printer star-tsp650ii-line star-tsp100iv star-mc-print2"
_ostrel_states="offline cover-open paper-near-end paper-out drawer-open error unrecoverable-error cutter-error feed-button"

_ostrel()
{
    local cur prev words cword
    _init_completion -n = || return

    case "$prev" in
        --open|--log|--hex|--ascii|--raw|--replies|--report|--commands|--compare|--state-file|--ready-file|--script|--http-token|--config|--ca-file)
            _filedir
            return ;;
        --preview)
            _filedir '@(png|pdf|PNG|PDF)'
            return ;;
        --out|--memory)
            _filedir -d
            return ;;
        --paper)
            COMPREPLY=($(compgen -W "58 80" -- "$cur"))
            return ;;
        --printer)
            COMPREPLY=($(compgen -W "list $_ostrel_printers" -- "$cur"))
            return ;;
        --serial)
            COMPREPLY=($(compgen -W "$(compgen -G '/dev/tty[SAU]*' 2>/dev/null) 1 2 3 4" -- "$cur"))
            return ;;
        --state)
            # A comma-separated list: complete the word after the last comma.
            local done="${cur%"${cur##*,}"}"
            COMPREPLY=($(compgen -P "$done" -W "$_ostrel_states" -- "${cur##*,}"))
            compopt -o nospace
            return ;;
        --settings)
            COMPREPLY=($(compgen -W "'9600, N, 8, 1' '19200, N, 8, 1' '38400, N, 8, 1' '115200, N, 8, 1'" -- "$cur"))
            return ;;
        --listen|--idle-timeout|--job-timeout|--status-bits|--chunk|--job-gap|--jobs|--timeout|--max-job-bytes|--keep|--max-disk|--port|--open-limit|--wait|--buffer|--roll|--near-end|--lpd|--web-print|--web-print-origin|--cloudprnt|--server-direct-print|--sdp-id|--poll-interval)
            return ;;
        --print-speed)
            COMPREPLY=($(compgen -W "model" -- "$cur"))
            return ;;
    esac

    if [[ "$cur" == -* ]]; then
        COMPREPLY=($(compgen -W "$(_ostrel_options "$1")" -- "$cur"))
        return
    fi
    case "$1" in
        ostrel-replay|ostrel-send) _filedir ;;
    esac
}

# The options each program takes, as its --help lists them.
_ostrel_options()
{
    local common="--help --version"
    case "$1" in
        ostrel-serial-capture)
            echo "$common --listen --idle-timeout --job-timeout --preview --open --open-limit --printer" \
                 "--forward --forward-fallback --print-speed --buffer --roll --near-end --script" ;;
        ostrel-capture)
            echo "$common --listen --idle-timeout --job-timeout --serial --settings --hw-handshake" \
                 "--status-bits --no-status-return --state --state-file --out --job-gap --jobs" \
                 "--timeout --max-job-bytes --keep --max-disk --printer --ready-file --forward --forward-fallback" \
                 "--print-speed --buffer --roll --near-end --script --lpd --web-print --web-print-origin --cloudprnt" \
                 "--server-direct-print --sdp-id --poll-interval --ca-file --http --http-token --http-host --config" ;;
        ostrel-replay)
            echo "$common --log --hex --ascii --raw --replies --report --chunk --status-bits" \
                 "--no-status-return --state --counters --compare --conversation --preview --markers --printer --paper --commands" \
                 "--memory --print-speed --buffer --roll --near-end" ;;
        ostrel-demo-host)
            echo "$common --port --once" ;;
        ostrel-send)
            echo "$common --raw --wait" ;;
    esac
}

complete -F _ostrel ostrel-serial-capture ostrel-capture ostrel-replay ostrel-demo-host ostrel-send
