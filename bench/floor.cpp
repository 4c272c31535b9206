// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The sigsend developers
// The floor for a process that sends one signal: no C library at all, just
// a minimal decimal parse, the kill system call and exit. x86-64 Linux only.

static long sys2(long nr, long a, long b)
{
	long r;
	asm volatile("syscall" : "=a"(r) : "a"(nr), "D"(a), "S"(b) : "rcx", "r11", "memory");
	return r;
}

static long num(const char *s)
{
	bool neg = *s == '-';
	long v = 0;
	for (s += neg; *s >= '0' && *s <= '9'; ++s)
		v = v * 10 + (*s - '0');
	return neg ? -v : v;
}

extern "C" [[noreturn]] void floor_main(long *sp)
{
	auto argv = reinterpret_cast<const char **>(sp + 1);
	if (sp[0] >= 3)
		sys2(62 /* kill */, num(argv[1]), num(argv[2]));
	for (;;)
		sys2(60 /* exit */, 0, 0);
}

asm(".globl _start\n_start:\n\tmov %rsp, %rdi\n\tand $-16, %rsp\n\tcall floor_main\n");
