#!/usr/bin/env bash
# Can this machine execute 32-bit x86 code? Some kernels have 32-bit emulation
# switched off; there every i386 program (Wine's 32-bit loader among them)
# fails with "Exec format error", so the i686 build can be built but not run.
#
# Runs a 96-byte static i386 program that only exits with status 42 through
# int 0x80: no libraries, no loader, nothing else that could fail instead.
# Prints "yes" or "no"; with --say, one line for a person instead.
set -u
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
# ELF header, one PT_LOAD header (R+X at 0x08048000), then
# mov eax,1; mov ebx,42; int 0x80.
printf '\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00'\
'\x02\x00\x03\x00\x01\x00\x00\x00\x54\x80\x04\x08\x34\x00\x00\x00'\
'\x00\x00\x00\x00\x00\x00\x00\x00\x34\x00\x20\x00\x01\x00\x00\x00'\
'\x00\x00\x00\x00\x01\x00\x00\x00\x00\x00\x00\x00\x00\x80\x04\x08'\
'\x00\x80\x04\x08\x60\x00\x00\x00\x60\x00\x00\x00\x05\x00\x00\x00'\
'\x00\x10\x00\x00\xb8\x01\x00\x00\x00\xbb\x2a\x00\x00\x00\xcd\x80' >"$dir/probe"
chmod +x "$dir/probe"
"$dir/probe" >/dev/null 2>"$dir/err"
status=$?
if [ "$status" -eq 42 ]; then answer=yes; else answer=no; fi
if [ "${1:-}" = --say ]; then
    if [ "$answer" = yes ]; then
        echo "32-bit x86 code: runs on this machine: both Windows builds run under Wine"
    else
        reason=$(sed -e 's/^.*: //' "$dir/err" | head -1)
        echo "32-bit x86 code: cannot run on this machine (${reason:-exit status $status}): only the x86-64 build runs under Wine"
    fi
else
    echo "$answer"
fi
