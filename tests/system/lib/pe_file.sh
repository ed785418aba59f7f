# What a Windows program is, read from its file without running it. Source it.
PE_OBJDUMP=x86_64-w64-mingw32-objdump  # reads both PE architectures

# pe_machine_is FILE ARCH: the file's PE machine is that of ARCH (x86: i386, x64: x86-64).
pe_machine_is() {
    local want='i386'
    [ "$2" = x64 ] && want='i386:x86-64'
    "$PE_OBJDUMP" -f "$1" 2>/dev/null | grep -qE "^architecture: $want, "
}

# pe_only_system_dlls FILE [DLL...]: every DLL the file imports is part of Windows (nothing of
# the compiler's run time), or one of the DLLs named (lower case).
pe_only_system_dlls() {
    local file=$1 allowed='kernel32|user32|gdi32|advapi32|version|comctl32|msvcrt|shell32|ole32|ws2_32|api-ms-win-[a-z0-9-]+'
    shift
    local dll
    for dll in "$@"; do allowed+="|${dll%.dll}"; done
    "$PE_OBJDUMP" -p "$file" >/dev/null 2>&1 || return 1
    ! "$PE_OBJDUMP" -p "$file" | sed -n 's/^\s*DLL Name: //p' | tr 'A-Z' 'a-z' \
        | grep -vxE "($allowed)\.dll"
}
