// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The sigsend developers
// Interleaved spawn-to-exit benchmark: sigsend against the no-libc floor and
// the peers a user already has. Every command probes a sleeper of our own
// with signal 0, so each run does the same kill and nothing is delivered.
#include <signal.h>
#include <spawn.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

extern char **environ;

namespace
{

struct command {
	std::string name;
	std::vector<std::string> argv;
	std::vector<double> us, faults;
};

double now_us()
{
	timespec t;
	clock_gettime(CLOCK_MONOTONIC, &t);
	return t.tv_sec * 1e6 + t.tv_nsec / 1e3;
}

void once(command &c)
{
	std::vector<char *> argv;
	for (auto &a : c.argv)
		argv.push_back(a.data());
	argv.push_back(nullptr);
	pid_t pid;
	int status;
	rusage ru;
	double t0 = now_us();
	if (posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0 ||
	    wait4(pid, &status, 0, &ru) != pid || status != 0) {
		std::fprintf(stderr, "%s failed\n", c.name.c_str());
		std::exit(1);
	}
	c.us.push_back(now_us() - t0);
	c.faults.push_back(ru.ru_minflt);
}

double median(std::vector<double> v)
{
	std::nth_element(v.begin(), v.begin() + v.size() / 2, v.end());
	return v[v.size() / 2];
}

// Every command that is measured, each probing `pid` with signal 0; `extra`
// holds NAME=PATH pairs for other builds to compare.
std::vector<command> commands(const std::string &pid, char **extra)
{
	std::vector<command> cmds{{"sigsend", {SIGSEND, pid, "0"}, {}, {}}};
#ifdef FLOOR
	cmds.push_back({"floor (no libc)", {FLOOR, pid, "0"}, {}, {}});
#endif
#ifdef SYSTEM
	cmds.push_back({"sigsend, system libc", {SYSTEM, pid, "0"}, {}, {}});
#endif
	for (; *extra; ++extra) {
		std::string arg = *extra;
		auto eq = arg.find('=');
		cmds.push_back({arg.substr(0, eq), {arg.substr(eq + 1), pid, "0"}, {}, {}});
	}
	if (access("/bin/kill", X_OK) == 0)
		cmds.push_back({"procps /bin/kill", {"/bin/kill", "-0", pid}, {}, {}});
	for (const char *bb : {"/bin/busybox", "/usr/bin/busybox"}) {
		if (access(bb, X_OK) == 0) {
			cmds.push_back({"busybox kill", {bb, "kill", "-0", pid}, {}, {}});
			break;
		}
	}
	return cmds;
}

} // namespace

// spawnbench [RUNS [NAME=PATH...]]: measure, PATH being another build to compare.
// spawnbench --commands PID: list the commands, tab-separated, for other tools.
int main(int argc, char *argv[])
{
	if (argc == 3 && std::string(argv[1]) == "--commands") {
		for (auto &c : commands(argv[2], argv + 3)) {
			std::printf("%s", c.name.c_str());
			for (auto &a : c.argv)
				std::printf("\t%s", a.c_str());
			std::printf("\n");
		}
		return 0;
	}
	int runs = argc > 1 ? std::atoi(argv[1]) : 2000;
	if (runs < 1) {
		std::fprintf(stderr, "usage: spawnbench [RUNS [NAME=PATH...]], RUNS at least 1\n");
		return 2;
	}
	// A failed fork must stop here: its -1 would make the kill below reach
	// every process that the caller may signal.
	pid_t sleeper = fork();
	if (sleeper < 0) {
		std::perror("spawnbench: fork");
		return 1;
	}
	if (sleeper == 0) {
		prctl(PR_SET_PDEATHSIG, SIGKILL); // go when the benchmark goes, however it ends
		pause();
		_exit(0);
	}
	auto cmds = commands(std::to_string(sleeper), argv + std::min(argc, 2));

	for (auto &c : cmds) // warm the page cache, then forget it
		for (int i = 0; i < 50; ++i)
			once(c);
	for (auto &c : cmds)
		c.us.clear(), c.faults.clear();
	for (int i = 0; i < runs; ++i) // one run of each command in turn
		for (size_t k = 0; k < cmds.size(); ++k)
			once(cmds[(k + i) % cmds.size()]);

	kill(sleeper, SIGKILL);
	waitpid(sleeper, nullptr, 0);

	// The ratio column is sigsend/floor on the floor's row, and other/sigsend elsewhere.
	double base = median(cmds[0].us);
	std::printf("%d interleaved runs each, medians\n\n", runs);
	std::printf("| command | µs/run | minor faults | ratio |\n|---|---|---|---|\n");
	for (auto &c : cmds) {
		double us = median(c.us);
		bool floor = c.name.starts_with("floor");
		std::printf("| %s | %.1f | %.0f | %s %.2f |\n", c.name.c_str(), us,
		            median(c.faults), floor ? "sigsend/floor" : "÷ sigsend",
		            floor ? base / us : us / base);
	}
	return 0;
}
