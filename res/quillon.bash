# bash completion for quillon: the command first, then file names; folders
# only for the output of the rebuild commands, DAT files (.dat, .xml) and the
# folders to find them in for a DAT argument. Needs nothing of bash-completion.

# COMPREPLY: the names that complete $1 (the word), of the kind $2: "file",
# "folder" or "dat".
_quillon_names() {
    local word=$1 kind=$2 name
    local IFS=$'\n'
    compopt -o filenames 2>/dev/null || : # fails outside a completion
    case $kind in
    folder)
        COMPREPLY=($(compgen -d -- "$word"))
        ;;
    dat)
        COMPREPLY=()
        for name in $(compgen -f -- "$word"); do
            case ${name,,} in
            *.dat | *.xml) COMPREPLY+=("$name") ;;
            *) [[ -d $name ]] && COMPREPLY+=("$name") ;;
            esac
        done
        ;;
    *)
        COMPREPLY=($(compgen -f -- "$word"))
        ;;
    esac
}

_quillon() {
    local word=${COMP_WORDS[COMP_CWORD]}
    local commands="--inspect --fix-checksum --strip-header --n64-endian --patch --bps-patch
        --srm-swap --trim --create-ips --create-bps --create-ups --create-xdelta --catalog
        --patch-info --apply --verify --rebuild --rebuild-files --fixdat --gui --help -h --version"
    if ((COMP_CWORD == 1)); then
        # A lone file is inspected too, so a word that is no option completes as a file.
        if [[ -z $word || $word == -* ]]; then
            local IFS=$' \t\n'
            COMPREPLY=($(compgen -W "$commands" -- "$word"))
        else
            _quillon_names "$word" file
        fi
        return
    fi
    # The argument's position after the command: 1 for the first.
    local position=$((COMP_CWORD - 1))
    case ${COMP_WORDS[1]} in
    --gui | --help | -h | --version)
        COMPREPLY=()
        ;;
    --verify | --fixdat)
        if ((position == 1)); then
            _quillon_names "$word" dat
        else
            _quillon_names "$word" file
        fi
        ;;
    --rebuild | --rebuild-files)
        case $position in
        1) _quillon_names "$word" dat ;;
        2) _quillon_names "$word" folder ;;
        *) _quillon_names "$word" file ;;
        esac
        ;;
    *)
        _quillon_names "$word" file
        ;;
    esac
}

complete -F _quillon quillon
