// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The sigsend developers
// The process harness behind the tests: it runs the built sigsend as a real
// process and makes the real processes that it signals. Every target blocks
// all signals, so whatever sigsend sent is pending in it once sigsend has
// exited, and sigtimedwait reports it together with the sender's pid.
#pragma once

#include <fcntl.h>
#include <grp.h>
#include <sched.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <iostream>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

extern char **environ;

namespace harness
{

namespace fs = std::filesystem;
using std::string;
using setup = std::function<void()>; // runs in a child between fork and exec

// In a child of run(): where a failed step reports its errno, so that the
// parent tells a harness failure from an exit of sigsend's own.
inline int report_fd = -1;

inline void must(bool ok)
{
	if (ok)
		return;
	int e = errno;
	if (report_fd >= 0) { // if this fails too, the exit status is all there is
		[[maybe_unused]] auto n = write(report_fd, &e, sizeof e);
	}
	_exit(127);
}

// Forks a child with default dispositions and an empty mask, then runs `how` in it.
inline pid_t child(const setup &how)
{
	pid_t pid = fork();
	if (pid < 0)
		throw std::runtime_error(string("fork: ") + strerror(errno));
	if (pid == 0) {
		for (int s = 1; s < NSIG; ++s)
			signal(s, SIG_DFL);
		sigset_t none;
		sigemptyset(&none);
		sigprocmask(SIG_SETMASK, &none, nullptr);
		how();
		_exit(127);
	}
	return pid;
}

inline setup join(pid_t pgid)
{
	return [pgid] { must(setpgid(0, pgid) == 0); };
}

inline setup drop(uid_t uid)
{
	return [uid] {
		must(setgroups(0, nullptr) == 0 && setresgid(uid, uid, uid) == 0 &&
		     setresuid(uid, uid, uid) == 0);
	};
}

inline setup block(int sig)
{
	return [sig] {
		sigset_t s;
		sigemptyset(&s);
		sigaddset(&s, sig);
		sigprocmask(SIG_BLOCK, &s, nullptr);
	};
}

inline string drain(int fd)
{
	string s;
	char buf[4096];
	for (ssize_t n; (n = read(fd, buf, sizeof buf)) > 0;)
		s.append(buf, n);
	close(fd);
	return s;
}

// What a child's failed step reported through `fd` (see must), or "".
inline string failure(int fd)
{
	string got = drain(fd);
	int e = 0;
	std::memcpy(&e, got.data(), std::min(got.size(), sizeof e));
	return got.empty() ? "" : strerror(e);
}

struct result {
	pid_t pid;
	int status;
	string out, err;
	bool clean() const
	{
		return WIFEXITED(status) && WEXITSTATUS(status) == 0 && out.empty() && err.empty();
	}
	friend std::ostream &operator<<(std::ostream &o, const result &r)
	{
		if (WIFSIGNALED(r.status))
			o << "killed by signal " << WTERMSIG(r.status);
		else
			o << "exit " << WEXITSTATUS(r.status);
		return o << ", out '" << r.out << "', err '" << r.err << "'";
	}
};

// Runs `exe` with the whole argument vector `argv` (argv[0] included), in a
// fresh process group of its own unless `how` moves it: a pid that converts
// to 0 then never reaches the test runner. Throws if the harness could not
// start it, so that a failed exec is never taken for sigsend's exit.
inline result run(
    const std::vector<string> &argv, const setup &how = [] {}, const string &exe = SIGSEND)
{
	int out[2], err[2], report[2];
	if (pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0 ||
	    pipe2(report, O_CLOEXEC) != 0)
		throw std::runtime_error("pipe");
	std::vector<char *> args;
	for (auto &a : argv)
		args.push_back(const_cast<char *>(a.c_str()));
	args.push_back(nullptr);
	result r{};
	r.pid = child([&] {
		report_fd = report[1];
		must(setpgid(0, 0) == 0 && dup2(out[1], 1) == 1 && dup2(err[1], 2) == 2);
		how();
		execv(exe.c_str(), args.data());
		must(false);
	});
	close(out[1]);
	close(err[1]);
	close(report[1]);
	r.out = drain(out[0]);
	r.err = drain(err[0]);
	string failed = failure(report[0]);
	waitpid(r.pid, &r.status, 0);
	if (!failed.empty())
		throw std::runtime_error("the harness could not start " + exe + ": " + failed);
	return r;
}

// A process that blocks every signal and, when asked, reports what is pending.
struct target {
	struct sent {
		int sig;
		pid_t from;
		int code = SI_USER; // what kill(2) sends with, unlike sigqueue or the kernel
		bool operator==(const sent &) const = default;
		friend std::ostream &operator<<(std::ostream &o, const sent &s)
		{
			return o << "signal " << s.sig << " from " << s.from << " code " << s.code;
		}
	};
	pid_t pid;
	string text;
	int ask, reply;

	explicit target(const setup &how = [] {})
	{
		int up[2], down[2];
		if (pipe2(up, O_CLOEXEC) != 0 || pipe2(down, O_CLOEXEC) != 0)
			throw std::runtime_error("pipe");
		pid_t parent = getpid();
		pid = child([&] {
			sigset_t all;
			sigfillset(&all);
			sigprocmask(SIG_BLOCK, &all, nullptr);
			how();
			// Die with the test, whatever happens to it: SIGKILL cannot be
			// blocked. Set after `how`, since a change of uid clears it.
			must(prctl(PR_SET_PDEATHSIG, SIGKILL) == 0 && getppid() == parent);
			const timespec now{};
			siginfo_t si;
			sent got[64];
			char c = 0;
			must(write(up[1], &c, 1) == 1);
			while (read(down[0], &c, 1) == 1) {
				int n = 0;
				for (; n < 64 && (got[n].sig = sigtimedwait(&all, &si, &now)) > 0;
				     ++n)
					got[n] = {got[n].sig, si.si_pid, si.si_code};
				must(write(up[1], &n, sizeof n) == sizeof n);
				must(write(up[1], got, n * sizeof *got) ==
				     ssize_t(n * sizeof *got));
			}
			_exit(0);
		});
		close(up[1]);
		close(down[0]);
		ask = down[1];
		reply = up[0];
		char ready;
		if (read(reply, &ready, 1) != 1)
			throw std::runtime_error("target setup failed");
		text = std::to_string(pid);
	}
	~target()
	{
		kill(pid, SIGKILL);
		waitpid(pid, nullptr, 0);
		close(ask);
		close(reply);
	}
	// What has reached this process since the last call; {-1, 0} if it has died.
	std::vector<sent> pending() const
	{
		std::vector<sent> got(64);
		int n = 0;
		if (write(ask, "?", 1) != 1 || read(reply, &n, sizeof n) != sizeof n ||
		    read(reply, got.data(), n * sizeof(sent)) != ssize_t(n * sizeof(sent)))
			return {{-1, 0}};
		got.resize(n);
		return got;
	}
};

// A copy of sigsend that an unprivileged uid can run wherever the build tree
// is. It is readable too, since qemu-user must read a foreign binary to run it.
struct shared_exe {
	fs::path dir;
	string path;
	shared_exe()
	{
		char tmpl[] = "/tmp/sigsend-test.XXXXXX";
		if (!mkdtemp(tmpl))
			throw std::runtime_error("mkdtemp");
		dir = tmpl;
		path = dir / "sigsend";
		fs::copy_file(SIGSEND, path);
		fs::permissions(dir, fs::perms(0755));
		fs::permissions(path, fs::perms(0755));
	}
	~shared_exe() { fs::remove_all(dir); }
};

// Runs `body` as the first process of a PID namespace of its own, for the
// cases that send -1 or send from a dropped uid: kill(-1) from inside reaches
// nothing outside, whatever runs beside the test, and when `body` ends every
// process in the namespace ends with it. Its failures are printed as they
// happen, and fail the calling test. Needs root.
inline void in_namespace(const std::function<void()> &body)
{
	int report[2];
	if (pipe2(report, O_CLOEXEC) != 0)
		throw std::runtime_error("pipe");
	pid_t pid = child([&] {
		report_fd = report[1];
		must(unshare(CLONE_NEWPID) == 0); // qemu-user passes this on, unlike clone's flags
		pid_t init = fork();
		must(init >= 0);
		if (init == 0) {
			close(report[1]);
			report_fd = -1;
			// LeakSanitizer would look itself up in /proc by a pid of this
			// namespace, and /proc shows the outer one's.
			setenv("LSAN_OPTIONS", "detect_leaks=0", 1);
			try { // an exception must not carry this copy back into the test runner
				body();
			} catch (std::exception &e) {
				ADD_FAILURE() << e.what();
			}
			std::fflush(stdout);
			_exit(testing::Test::HasFailure());
		}
		int status;
		must(waitpid(init, &status, 0) == init);
		_exit(WIFEXITED(status) ? WEXITSTATUS(status) : 2);
	});
	close(report[1]);
	string failed = failure(report[0]);
	int status;
	waitpid(pid, &status, 0);
	if (!failed.empty())
		FAIL() << "no PID namespace of the test's own: " << failed;
	EXPECT_EQ(status, 0) << "the case failed in its own PID namespace, as printed above";
}

// The longest decimal text that exec can pass beside the environment, the
// executable's name and `others`, at most one argument's 128 KiB. Exec gives
// all strings and their pointers a quarter of the stack limit, which is
// never less than 128 KiB.
inline size_t room_for_one_argument(const std::vector<string> &others)
{
	long limit = std::min(sysconf(_SC_ARG_MAX), 6L << 20);
	long used = 4096 + sizeof(char *); // the name, the new argument's pointer, slack
	for (char **e = environ; *e; ++e)
		used += std::strlen(*e) + 1 + sizeof(char *);
	for (auto &a : others)
		used += a.size() + 1 + sizeof(char *);
	return size_t(std::clamp(limit - used, 0L, (128L << 10) - 1));
}

} // namespace harness
