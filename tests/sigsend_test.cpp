// SPDX-License-Identifier: MIT
// Runs the built sigsend as a real process against real processes that the
// test itself creates. Every target blocks all signals, so whatever sigsend
// sent is pending in it once sigsend has exited, and sigtimedwait reports it
// together with the sender's pid. Pid 0, negative pids and -1 are only ever
// used inside process groups made here, or from an unused uid.
#include <fcntl.h>
#include <grp.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <pwd.h>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using std::string;
using setup = std::function<void()>; // runs in a child between fork and exec

namespace
{

const string usage = "Arguments : pid sig\n";
const string huge(100000, '9'); // exec takes one argument of 128 KiB at most

void must(bool ok)
{
	if (!ok)
		_exit(127);
}

// Forks a child with default dispositions and an empty mask, then runs `how` in it.
pid_t child(const setup &how)
{
	pid_t pid = fork();
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

setup join(pid_t pgid)
{
	return [pgid] { must(setpgid(0, pgid) == 0); };
}

setup drop(uid_t uid)
{
	return [uid] {
		must(setgroups(0, nullptr) == 0 && setresgid(uid, uid, uid) == 0 &&
		     setresuid(uid, uid, uid) == 0);
	};
}

setup block(int sig)
{
	return [sig] {
		sigset_t s;
		sigemptyset(&s);
		sigaddset(&s, sig);
		sigprocmask(SIG_BLOCK, &s, nullptr);
	};
}

string drain(int fd)
{
	string s;
	char buf[4096];
	for (ssize_t n; (n = read(fd, buf, sizeof buf)) > 0;)
		s.append(buf, n);
	close(fd);
	return s;
}

struct result {
	pid_t pid;
	int status;
	string out, err;
	bool clean() const
	{
		return WIFEXITED(status) && WEXITSTATUS(status) == 0 && out.empty() && err.empty();
	}
};

// Runs `exe` with the whole argument vector `argv` (argv[0] included), in a
// fresh process group of its own unless `how` moves it: a pid that converts
// to 0 then never reaches the test runner.
result run(
    const std::vector<string> &argv, const setup &how = [] {}, const string &exe = SIGSEND)
{
	int out[2], err[2];
	if (pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0)
		throw std::runtime_error("pipe");
	std::vector<char *> args;
	for (auto &a : argv)
		args.push_back(const_cast<char *>(a.c_str()));
	args.push_back(nullptr);
	result r{};
	r.pid = child([&] {
		must(setpgid(0, 0) == 0 && dup2(out[1], 1) == 1 && dup2(err[1], 2) == 2);
		how();
		execv(exe.c_str(), args.data());
		_exit(127);
	});
	close(out[1]);
	close(err[1]);
	r.out = drain(out[0]);
	r.err = drain(err[0]);
	waitpid(r.pid, &r.status, 0);
	return r;
}

// A process that blocks every signal and, when asked, reports what is pending.
struct target {
	struct sent {
		int sig;
		pid_t from;
		bool operator==(const sent &) const = default;
		friend std::ostream &operator<<(std::ostream &o, const sent &s)
		{
			return o << "signal " << s.sig << " from " << s.from;
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
					got[n].from = si.si_pid;
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
		text = std::to_string(pid);
		char c;
		if (read(reply, &c, 1) != 1)
			throw std::runtime_error("target setup failed");
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

using sent = target::sent;
using none = std::vector<sent>;
using texts = std::vector<std::pair<string, string>>; // pid and signal arguments

// A copy of sigsend that an unprivileged uid can execute wherever the build tree is.
struct shared_exe {
	fs::path dir;
	string path;
	shared_exe()
	{
		char tmpl[] = "/tmp/sigsend-test.XXXXXX";
		dir = mkdtemp(tmpl);
		path = dir / "sigsend";
		fs::copy_file(SIGSEND, path);
		auto rwx_x_x =
		    fs::perms::owner_all | fs::perms::group_exec | fs::perms::others_exec;
		fs::permissions(dir, rwx_x_x);
		fs::permissions(path, rwx_x_x);
	}
	~shared_exe() { fs::remove_all(dir); }
};

// A uid with no passwd entry that owns no process (real, effective or saved).
uid_t unused_uid()
{
	for (uid_t u = 61000;; ++u) {
		bool used = getpwuid(u) != nullptr;
		for (auto &e : fs::directory_iterator("/proc")) {
			std::ifstream f(e.path() / "status");
			for (string key; !used && f >> key;) {
				if (key == "Uid:") {
					for (uid_t id, i = 0; i < 4 && f >> id; ++i)
						used |= id == u;
					break;
				}
			}
		}
		if (!used)
			return u;
	}
}

} // namespace

TEST(Usage, OneLineOnStdoutAndNothingSentWhenAnArgumentIsMissing)
{
	target t;
	for (auto argv : {std::vector<string>{}, {"sigsend"}, {"sigsend", t.text}}) {
		auto r = run(argv);
		EXPECT_EQ(r.out, usage) << argv.size();
		EXPECT_EQ(r.err, "");
		EXPECT_EQ(r.status, 0);
	}
	EXPECT_EQ(t.pending(), none{});
}

TEST(Usage, StillExitsZeroWhenStdoutIsClosedOrFull)
{
	for (auto how : {setup([] { close(1); }),
	                 setup([] { must(dup2(open("/dev/full", O_WRONLY), 1) == 1); })}) {
		auto r = run({"sigsend"}, how);
		EXPECT_EQ(r.status, 0);
		EXPECT_EQ(r.err, "");
	}
}

TEST(Delivery, SignalReachesTheTargetFromSigsendWithLenientText)
{
	struct {
		string before, after, sig;
		int want;
		std::vector<string> extra;
	} cases[] = {
	    {"", "", "10", SIGUSR1, {}},
	    {"", "", "64", 64, {}},
	    {"", "", "12", SIGUSR2, {"15", "junk"}},   // extra arguments are ignored
	    {" \t\n+", "abc", " +12xyz", SIGUSR2, {}}, // blanks, sign, trailing junk
	    {"000", "", "010", SIGUSR1, {}},           // leading zeros are decimal
	};
	for (auto &c : cases) {
		target t;
		std::vector<string> argv{"sigsend", c.before + t.text + c.after, c.sig};
		argv.insert(argv.end(), c.extra.begin(), c.extra.end());
		auto r = run(argv);
		EXPECT_TRUE(r.clean()) << argv[1] << " " << c.sig;
		EXPECT_EQ(t.pending(), (none{{c.want, r.pid}})) << argv[1] << " " << c.sig;
	}
}

TEST(NothingSent, SilentExitZeroForSignalZeroBadSignalsHexMissingPidsAndOddText)
{
	target t;
	for (auto [pid, sig] : texts{{t.text, "0"},
	                             {t.text, "-10"},
	                             {t.text, "65"},
	                             {t.text, "99999999999"},
	                             {t.text, "0x0a"},
	                             {"4194304", "10"},
	                             {t.text, huge},
	                             {t.text, "-" + huge},
	                             {t.text + "\xff\x80", "\xa0\xff"}}) {
		auto r = run({"sigsend", pid, sig});
		EXPECT_TRUE(r.clean()) << pid << " " << sig.substr(0, 20);
		EXPECT_EQ(t.pending(), none{}) << pid << " " << sig.substr(0, 20);
	}
}

TEST(Saturation, TextsBeyond32BitsNeverWrapOntoARealProcessGroupOrSignal)
{
	target t(join(0));
	string far = std::to_string((1LL << 32) + t.pid);
	for (auto [pid, sig] : texts{
	         {far, "10"}, {"-" + far, "10"}, {t.text, std::to_string((1LL << 32) + SIGUSR1)}}) {
		auto r = run({"sigsend", pid, sig});
		EXPECT_TRUE(r.clean()) << pid << " " << sig;
		EXPECT_EQ(t.pending(), none{}) << pid << " " << sig;
	}
}

TEST(Groups, NegativePidReachesEveryMemberOfTheGroupAndNoOther)
{
	target lead(join(0)), member(join(lead.pid)), outsider(join(0));
	auto r = run({"sigsend", "-" + lead.text, "10"});
	EXPECT_TRUE(r.clean());
	EXPECT_EQ(lead.pending(), (none{{SIGUSR1, r.pid}}));
	EXPECT_EQ(member.pending(), (none{{SIGUSR1, r.pid}}));
	EXPECT_EQ(outsider.pending(), none{});
}

TEST(Groups, PidZeroAndNonNumericPidTextsReachTheSendersOwnGroup)
{
	for (string pid : {"0", "-0", "", "abc", " ", "+", "-", "0x",
	                   "\xff\x80"
	                   "1"}) {
		target sibling(join(0)), outsider(join(0));
		if (pid == "0x") { // hexadecimal is not understood: this still means 0
			std::ostringstream hex;
			hex << "0x" << std::hex << outsider.pid;
			pid = hex.str();
		}
		auto r = run({"sigsend", pid, "10"}, [&] {
			join(sibling.pid)();
			block(SIGUSR1)();
		});
		EXPECT_TRUE(r.clean()) << '"' << pid << '"';
		EXPECT_EQ(sibling.pending(), (none{{SIGUSR1, r.pid}})) << '"' << pid << '"';
		EXPECT_EQ(outsider.pending(), none{});
	}
}

TEST(Groups, SenderInItsOwnGroupMeetsTheDispositionItInherited)
{
	auto dies = run({"sigsend", "0", "10"}, join(0));
	EXPECT_TRUE(WIFSIGNALED(dies.status) && WTERMSIG(dies.status) == SIGUSR1);
	for (auto how : {block(SIGUSR1), setup([] { signal(SIGUSR1, SIG_IGN); })}) {
		auto r = run({"sigsend", "0", "10"}, [&] {
			join(0)();
			how();
		});
		EXPECT_TRUE(r.clean());
	}
}

class Unprivileged : public testing::Test
{
      protected:
	void SetUp() override
	{
		if (geteuid() != 0)
			GTEST_SKIP() << "needs root to drop to an unused uid";
		uid = unused_uid();
	}
	uid_t uid = 0;
	shared_exe exe;
};

TEST_F(Unprivileged, NothingReachesAProcessTheCallerMayNotSignal)
{
	target t;
	auto r = run({"sigsend", t.text, "10"}, drop(uid), exe.path);
	EXPECT_TRUE(r.clean());
	EXPECT_EQ(t.pending(), none{});
}

// Pid texts that plain atoi wraps to -1 run only from the unused uid, whose
// only process is the sleeper, so a wrong conversion cannot harm anything else.
TEST_F(Unprivileged, PidTextsBeyond32BitsNeverBecomeMinusOne)
{
	target sleeper(drop(uid));
	for (auto pid : {string("4294967295"), string("18446744073709551615"), huge, "-" + huge}) {
		auto r = run({"sigsend", pid, "10"}, drop(uid), exe.path);
		EXPECT_TRUE(r.clean()) << pid.size();
		EXPECT_EQ(sleeper.pending(), none{}) << pid.size();
	}
	// The same uid's real -1 does reach the sleeper, so the check above can fail.
	auto r = run({"sigsend", "-1", "10"}, drop(uid), exe.path);
	EXPECT_TRUE(r.clean());
	EXPECT_EQ(sleeper.pending(), (none{{SIGUSR1, r.pid}}));
}
