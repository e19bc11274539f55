# bash completion for korvani                                         -*- shell-script -*-
# Completes the subcommands, their options, the values of the options that take a fixed set of
# words (after the option, or after it and '=' as in --charset=utf-8), folders after -d, and file
# names everywhere else.

_korvani() {
    local cur prev words cword split
    _init_completion -s || return

    local commands="binary-decode binary-encode mail-decode text-decode extract read manifest-merge"

    # The subcommand is the first word after korvani that is not an option.
    local i command=""
    for ((i = 1; i < cword; i++)); do
        if [[ ${words[i]} != -* ]]; then
            command=${words[i]}
            break
        fi
    done

    if [[ -z $command ]]; then
        if [[ $cur == -* ]]; then
            COMPREPLY=($(compgen -W "--help --version" -- "$cur"))
        else
            COMPREPLY=($(compgen -W "$commands help" -- "$cur"))
        fi
        return
    fi
    if [[ $command == help ]]; then
        COMPREPLY=($(compgen -W "$commands" -- "$cur"))
        return
    fi

    case $prev in
        --encoding)
            if [[ $command == text-decode ]]; then
                COMPREPLY=($(compgen -W "quoted-printable base64 auto" -- "$cur"))
            else
                COMPREPLY=($(compgen -W "auto quoted-printable base64" -- "$cur"))
            fi
            return
            ;;
        --charset)
            COMPREPLY=($(compgen -W "auto jis utf-8 sjis euc" -- "$cur"))
            return
            ;;
        --output-charset)
            COMPREPLY=($(compgen -W "utf-8 sjis" -- "$cur"))
            return
            ;;
        --layout)
            COMPREPLY=($(compgen -W "flat per-mail per-file" -- "$cur"))
            return
            ;;
        -d | --directory)
            _filedir -d
            return
            ;;
        --manifest | --password-file)
            _filedir
            return
            ;;
        -o | --output)
            _filedir
            [[ $command == binary-encode ]] || COMPREPLY+=($(compgen -W "-" -- "$cur"))
            return
            ;;
    esac
    # An option that takes no value, given one after '=': nothing to offer.
    $split && return

    if [[ $cur == -* ]]; then
        local options="--help --version"
        case $command in
            binary-decode) options+=" -o --output -d --directory --force" ;;
            binary-encode) options+=" -o --output" ;;
            mail-decode | text-decode)
                options+=" -o --output --encoding --charset --output-charset" ;;
            extract)
                options+=" -d --directory --layout --force --skip-existing -r --recursive --list"
                options+=" --json -q --quiet -v --verbose --unpack --max-unpacked --max-ratio"
                options+=" --password --password-file --show-passwords --manifest"
                options+=" --jobs"
                ;;
            read) options+=" -o --output --output-charset" ;;
        esac
        COMPREPLY=($(compgen -W "$options" -- "$cur"))
        return
    fi

    # extract takes mail folders (a Maildir) as well as files; _filedir offers both.
    _filedir
} &&
    complete -F _korvani korvani

# ex: filetype=sh
