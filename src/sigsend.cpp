// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The sigsend developers
// sigsend PID SIG: send signal SIG to process (or process group) PID.
#include <limits.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>

// atoi's rule, but text beyond the int range saturates instead of wrapping:
// "4294967295" must never reach kill as -1, which signals every process.
static int toint(const char *s)
{
	long v = strtol(s, nullptr, 10);
	return v < INT_MIN ? INT_MIN : v > INT_MAX ? INT_MAX : static_cast<int>(v);
}

static void program(pid_t pid, int sig)
{
	kill(pid, sig); // failures are deliberately silent: the caller gets exit 0
}

int main(int argc, char *argv[])
{
	if (argc < 3) {
		// A reader that has gone, or a file-size limit, must not turn usage into a death.
		signal(SIGPIPE, SIG_IGN);
		signal(SIGXFSZ, SIG_IGN);
		puts("Arguments : pid sig");
		return 0;
	}
	int sig = toint(argv[2]);
	program(toint(argv[1]), sig);
	return 0;
}
