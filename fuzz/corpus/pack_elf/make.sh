#!/bin/sh
# The seeds of the packer's debug-section look (run from this folder): a small object
# with debug sections, the same stripped of them, a 32-bit one, and a cut-off one.
set -eu
printf 'int answer(void) { return 42; }\n' > seed.c
cc -g -Os -c seed.c -o debug64.elf
objcopy --strip-debug debug64.elf stripped64.elf
cc -m32 -g -Os -c seed.c -o debug32.elf 2>/dev/null || objcopy -O elf32-i386 debug64.elf debug32.elf
head -c 300 debug64.elf > cut64.elf
rm seed.c
