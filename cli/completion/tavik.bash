# bash completion for tavik: the program itself says what fits (tavik __complete WORD...).
_tavik() {
    local line=${COMP_LINE:0:COMP_POINT}
    local -a words
    read -ra words <<<"$line"
    [[ $line == *' ' ]] && words+=("")
    local cur=${words[${#words[@]}-1]}
    local IFS=$'\n'
    local -a found
    found=($(command tavik __complete "${words[@]:1}" 2>/dev/null))
    COMPREPLY=()
    # bash splits words at ":" too: offer only what follows the last ":" of the word.
    local cut=""
    [[ $cur == *:* && $COMP_WORDBREAKS == *:* ]] && cut=${cur%"${cur##*:}"}
    local item
    for item in "${found[@]}"; do
        if [[ $item == __files__ ]]; then
            COMPREPLY+=($(compgen -f -- "$cur"))
        else
            COMPREPLY+=("${item#"$cut"}")
        fi
    done
    # A folder or a "NAME:" prefix goes on being typed.
    if [[ ${#COMPREPLY[@]} -eq 1 && ( ${COMPREPLY[0]} == */ || ${COMPREPLY[0]} == *: ) ]]; then
        compopt -o nospace 2>/dev/null
    fi
}
complete -o filenames -F _tavik tavik
