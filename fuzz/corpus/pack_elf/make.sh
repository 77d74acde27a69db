#!/bin/sh
# The seeds of the packer's debug-section look (run from this folder): a small object
# with debug sections, the same stripped of them, a 32-bit one, and a cut-off one.
set -eu
printf 'int answer(void) { return 42; }\n' > seed.c
cc -g -Os -c seed.c -o debug64.o
objcopy --strip-debug debug64.o stripped64.o
cc -m32 -g -Os -c seed.c -o debug32.o 2>/dev/null || objcopy -O elf32-i386 debug64.o debug32.o 2>/dev/null || cp stripped64.o debug32.o
head -c 300 debug64.o > cut64.o
rm seed.c
