// SPDX-License-Identifier: MIT
// The process harness behind the tests: it runs the built sigsend as a real
// process and makes the real processes that it signals. Every target blocks
// all signals, so whatever sigsend sent is pending in it once sigsend has
// exited, and sigtimedwait reports it together with the sender's pid.
#pragma once

#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sched.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <iterator>
#include <random>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

extern char **environ;

namespace harness
{

namespace fs = std::filesystem;
using std::string;
using setup = std::function<void()>; // runs in a child between fork and exec

// In a child of run(): where a failed step reports its errno, so that the
// parent tells a harness failure from an exit of sigsend's own.
inline int report_fd = -1;
// While a sandbox lives, the test's children are born in its PID namespace.
inline bool sandboxed = false;

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

// The numbers on one line of /proc/PID/status, such as "Uid:" or "NSpid:".
inline std::vector<long long> status_numbers(const fs::path &proc, const string &key)
{
	std::ifstream f(proc / "status");
	for (string line; std::getline(f, line);) {
		if (line.starts_with(key)) {
			std::istringstream values(line.substr(key.size()));
			return {std::istream_iterator<long long>(values),
			        std::istream_iterator<long long>()};
		}
	}
	return {};
}

// A process's pid in its own PID namespace, where its targets see it.
inline pid_t inner_pid(pid_t pid)
{
	auto ids = status_numbers("/proc/" + std::to_string(pid), "NSpid:");
	return ids.empty() ? pid : pid_t(ids.back());
}

struct result {
	pid_t pid; // as the targets see it, which is what si_pid names
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
	pid_t pid = child([&] {
		report_fd = report[1];
		must(setpgid(0, 0) == 0 && dup2(out[1], 1) == 1 && dup2(err[1], 2) == 2);
		// A sanitizer build's LeakSanitizer looks itself up in /proc by pid,
		// and /proc shows the outer namespace's pids, not the sandbox's.
		if (sandboxed)
			must(setenv("LSAN_OPTIONS", "detect_leaks=0", 1) == 0);
		how();
		execv(exe.c_str(), args.data());
		must(false);
	});
	close(out[1]);
	close(err[1]);
	close(report[1]);
	r.out = drain(out[0]);
	r.err = drain(err[0]);
	string failed = drain(report[0]);
	siginfo_t si;
	waitid(P_PID, pid, &si, WEXITED | WNOWAIT); // a zombie still shows its pids
	r.pid = inner_pid(pid);
	waitpid(pid, &r.status, 0);
	if (!failed.empty()) {
		int e = 0;
		std::memcpy(&e, failed.data(), std::min(failed.size(), sizeof e));
		throw std::runtime_error("the harness could not start " + exe + ": " + strerror(e));
	}
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
	pid_t pid; // as the test sees it
	pid_t id;  // as sigsend, beside it, sees it
	string text;
	int ask, reply;

	explicit target(const setup &how = [] {})
	{
		int up[2], down[2];
		if (pipe2(up, O_CLOEXEC) != 0 || pipe2(down, O_CLOEXEC) != 0)
			throw std::runtime_error("pipe");
		pid_t parent =
		    sandboxed ? 0 : getpid(); // a parent outside the namespace shows as 0
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
			pid_t self = getpid();
			char c = 0;
			must(write(up[1], &self, sizeof self) == sizeof self);
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
		if (read(reply, &id, sizeof id) != sizeof id)
			throw std::runtime_error("target setup failed");
		text = std::to_string(id);
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
		auto rwxr_xr_x = fs::perms::owner_all | fs::perms::group_read |
		                 fs::perms::group_exec | fs::perms::others_read |
		                 fs::perms::others_exec;
		fs::permissions(dir, rwxr_xr_x);
		fs::permissions(path, rwxr_xr_x);
	}
	~shared_exe() { fs::remove_all(dir); }
};

// The processes that run with `uid` as their real, effective, saved or file uid.
inline std::vector<pid_t> owners(uid_t uid)
{
	std::vector<pid_t> found;
	for (auto &e : fs::directory_iterator("/proc")) {
		auto ids = status_numbers(e.path(), "Uid:");
		if (std::find(ids.begin(), ids.end(), uid) != ids.end())
			found.push_back(std::atoi(e.path().filename().c_str()));
	}
	return found;
}

// A PID namespace of the test's own, held by a uid of its own, for the cases
// that send -1 or send from a dropped uid. kill(-1) from inside reaches no
// process outside, and no other process on the machine runs as `uid`:
// whatever runs beside the test, its signals stay in here and others' stay
// out. Every process that the test forks while the sandbox lives is born in
// the namespace. Needs root; throws where the system refuses a namespace.
struct sandbox {
	uid_t uid = 0;
	pid_t init = -1; // the namespace's first process: the uid's holder

	sandbox() : home(open("/proc/self/ns/pid", O_RDONLY | O_CLOEXEC))
	{
		// A random uid far from the ones people give out, with no passwd
		// entry and, once held, no other owner anywhere.
		std::mt19937 random(std::random_device{}());
		std::uniform_int_distribution<uid_t> pick(1u << 30, (1u << 31) - 2);
		for (int tries = 0; tries < 100; ++tries) {
			uid_t u = pick(random);
			if (getpwuid(u) || !owners(u).empty())
				continue;
			if (home < 0 || unshare(CLONE_NEWPID) != 0) {
				string why = strerror(errno);
				close(home);
				throw std::runtime_error("no PID namespace: " + why);
			}
			init = hold(u);
			if (owners(u) == std::vector<pid_t>{init}) {
				uid = u;
				sandboxed = true;
				return;
			}
			leave(); // another suite chose it too, or init did not start
		}
		close(home);
		throw std::runtime_error("found no unused uid");
	}
	~sandbox()
	{
		leave();
		close(home);
	}

      private:
	int home; // the test's own PID namespace, to return to

	static pid_t hold(uid_t u)
	{
		int held[2];
		if (pipe2(held, O_CLOEXEC) != 0)
			throw std::runtime_error("pipe");
		pid_t p = child([&] {
			drop(u)();
			must(prctl(PR_SET_PDEATHSIG, SIGKILL) == 0 && getppid() == 0);
			must(write(held[1], "", 1) == 1);
			for (;;)
				pause();
		});
		close(held[1]);
		char c;
		bool up = read(held[0], &c, 1) == 1;
		close(held[0]);
		return up ? p : (waitpid(p, nullptr, 0), -1);
	}
	// Killing a namespace's init kills every process in it.
	void leave()
	{
		if (init > 0) { // never kill(-1) as root
			kill(init, SIGKILL);
			waitpid(init, nullptr, 0);
		}
		init = -1;
		sandboxed = false;
		if (setns(home, CLONE_NEWPID) != 0)
			std::cerr << "cannot return to the test's own PID namespace\n";
	}
};

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
