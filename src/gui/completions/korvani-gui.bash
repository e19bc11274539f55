# bash completion for korvani-gui                                     -*- shell-script -*-
# Completes the options, a PNG file after --screenshot and a PDF file after --pdf (given as the next
# word or after '='), nothing after --find, and file names everywhere else: the source of the
# dialog or the mail of the mail window.

_korvani_gui() {
    local cur prev words cword split
    _init_completion -s || return

    case $prev in
        --screenshot)
            _filedir png
            return
            ;;
        --pdf)
            _filedir pdf
            return
            ;;
        --find | -h | --help | --help-all | -v | --version)
            return
            ;;
    esac
    $split && return

    if [[ $cur == -* ]]; then
        COMPREPLY=($(compgen -W "--mail --screenshot --pdf --find -h --help --help-all -v --version" -- "$cur"))
        return
    fi
    _filedir
} &&
    complete -F _korvani_gui korvani-gui

# ex: filetype=sh
