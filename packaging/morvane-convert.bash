# bash completion for morvane-convert

_morvane_convert()
{
    local cur prev words cword split
    _init_completion -s || return

    # Options whose value is not a file: nothing sensible to offer.
    case $prev in
        -s | --separators | -t | --to | --header-map | --data-map | --relative-time-separator | --cell-separator)
            return
            ;;
        --format)
            COMPREPLY=($(compgen -W "csv xlsx" -- "$cur"))
            return
            ;;
        -o | --output)
            _filedir
            return
            ;;
    esac
    $split && return

    case $cur in
        -*)
            local opts="-o --output -s --separators -t --to --header-map --data-map -r --relative-time --relative-time-separator --across-midnight --format --cell-separator --preview --check -q --quiet -h --help --version"
            COMPREPLY=($(compgen -W "$opts" -- "$cur"))
            return
            ;;
    esac

    # Inputs: PE files first, any file when none match.
    _filedir pe
    [[ ${#COMPREPLY[@]} -eq 0 ]] && _filedir
}
complete -F _morvane_convert morvane-convert
