// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The sigsend developers
// What a user of sigsend can observe, each case running the built executable
// as a real process against real processes that the test creates itself
// (harness.hpp). Pid 0 and negative pids are only ever used inside process
// groups made here, and -1 only inside a PID namespace of the test's own.
#include "harness.hpp"

#include <sstream>

using namespace harness;
using sent = target::sent;
using none = std::vector<sent>;
using texts = std::vector<std::pair<string, string>>; // pid and signal arguments

namespace
{

const string usage = "Arguments : pid sig\n";

// A text of as many digits as exec can carry beside a pid and the environment
// (at most 128 KiB), or nothing, with the reason, where that is too few to
// stand for a huge number.
std::vector<string> huge_texts()
{
	size_t n = room_for_one_argument({"sigsend", "4194304"});
	if (n < 4096) {
		std::cout << "skipped the huge-text rows: exec has room for only " << n
		          << " more bytes of arguments here\n";
		return {};
	}
	string digits(n - 1, '9');
	return {digits, string("-").append(digits)};
}

} // namespace

TEST(Usage, OneLineOnStdoutAndNothingSentWhenAnArgumentIsMissing)
{
	target t;
	// An empty argument vector is argc 0 only on kernels before 5.18: later
	// ones hand the program argc 1 with an empty name, so there that row
	// repeats the next one.
	for (auto argv : {std::vector<string>{}, {"sigsend"}, {"sigsend", t.text}}) {
		auto r = run(argv);
		EXPECT_EQ(r.out, usage) << argv.size();
		EXPECT_EQ(r.err, "");
		EXPECT_EQ(r.status, 0);
	}
	EXPECT_EQ(t.pending(), none{});
}

TEST(Usage, StillExitsZeroWhenStdoutIsClosedFullAPipeWithNoReaderOrPastTheFileSizeLimit)
{
	for (auto how : {setup([] { close(1); }),
	                 setup([] { must(dup2(open("/dev/full", O_WRONLY), 1) == 1); }),
	                 setup([] { // the write fails with EPIPE; SIGPIPE must not end sigsend
		                 int p[2];
		                 must(pipe(p) == 0 && close(p[0]) == 0 && dup2(p[1], 1) == 1);
	                 }),
	                 setup([] { // the write fails with EFBIG; SIGXFSZ must not end sigsend
		                 rlimit none{0, 0};
		                 FILE *file = tmpfile();
		                 must(file && dup2(fileno(file), 1) == 1 && setrlimit(RLIMIT_FSIZE, &none) == 0);
	                 })}) {
		auto r = run({"sigsend"}, how);
		EXPECT_EQ(r.status, 0);
		EXPECT_EQ(r.err, "");
	}
}

TEST(Delivery, SignalReachesTheTargetOnceFromSigsendWithLenientText)
{
	struct {
		string before, after, sig;
		int want;
		std::vector<string> extra;
	} cases[] = {
	    {"", "", "10", SIGUSR1, {}},
	    {"", "", "40", 40, {}}, // real-time signals queue: a second send would show
	    {"", "", "12", SIGUSR2, {"15", "junk"}},   // extra arguments are ignored
	    {" \t\n+", "abc", " +12xyz", SIGUSR2, {}}, // blanks, sign, trailing junk
	    {"000", "", "010", SIGUSR1, {}},           // leading zeros are decimal
	};
	for (auto &c : cases) {
		target t;
		std::vector<string> argv{"sigsend", c.before + t.text + c.after, c.sig};
		argv.insert(argv.end(), c.extra.begin(), c.extra.end());
		auto r = run(argv);
		EXPECT_TRUE(r.clean()) << r << argv[1] << " " << c.sig;
		EXPECT_EQ(t.pending(), (none{{c.want, r.pid}})) << argv[1] << " " << c.sig;
	}
}

TEST(Delivery, TheHighestSignalReachesTheTargetWhereThePlatformHasIt)
{
	target t;
	// qemu-user has no host signal left for its guests' 63 and 64.
	if (kill(t.pid, 64) != 0)
		GTEST_SKIP() << "this platform cannot deliver signal 64: " << strerror(errno);
	t.pending();
	auto r = run({"sigsend", t.text, "64"});
	EXPECT_TRUE(r.clean()) << r;
	EXPECT_EQ(t.pending(), (none{{64, r.pid}}));
}

TEST(NothingSent, SilentExitZeroForSignalZeroBadSignalsHexMissingPidsAndOddText)
{
	target t;
	texts cases{{t.text, "0"},
	            {t.text, "-10"},
	            {t.text, "65"},
	            {t.text, "99999999999"},
	            {t.text, "0x0a"},
	            {"4194304", "10"},
	            {t.text + "\xff\x80", "\xa0\xff"}};
	for (auto &h : huge_texts())
		cases.push_back({t.text, h});
	for (auto [pid, sig] : cases) {
		auto r = run({"sigsend", pid, sig});
		EXPECT_TRUE(r.clean()) << r << pid << " " << sig.substr(0, 20);
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
		EXPECT_TRUE(r.clean()) << r << pid << " " << sig;
		EXPECT_EQ(t.pending(), none{}) << pid << " " << sig;
	}
}

TEST(Groups, NegativePidReachesEveryMemberOfTheGroupAndNoOther)
{
	target lead(join(0)), member(join(lead.pid)), outsider(join(0));
	auto r = run({"sigsend", "-" + lead.text, "10"});
	EXPECT_TRUE(r.clean()) << r;
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
		EXPECT_TRUE(r.clean()) << r << '"' << pid << '"';
		EXPECT_EQ(sibling.pending(), (none{{SIGUSR1, r.pid}})) << '"' << pid << '"';
		EXPECT_EQ(outsider.pending(), none{});
	}
}

// Every signal whose disposition the usage branch touches is among them: the
// send path must leave each as it was inherited (a sigsend that ignored
// SIGXFSZ there too would survive `sigsend 0 25`).
TEST(Groups, SenderInItsOwnGroupMeetsTheDispositionItInherited)
{
	for (int sig : {SIGUSR1, SIGPIPE, SIGXFSZ}) {
		auto dies = run({"sigsend", "0", std::to_string(sig)}, [] {
			join(0)();
			rlimit none{0, 0}; // SIGXFSZ dumps core by default: no core file
			must(setrlimit(RLIMIT_CORE, &none) == 0);
		});
		EXPECT_TRUE(WIFSIGNALED(dies.status) && WTERMSIG(dies.status) == sig) << dies;
		for (auto how : {block(sig), setup([sig] { signal(sig, SIG_IGN); })}) {
			auto r = run({"sigsend", "0", std::to_string(sig)}, [&] {
				join(0)();
				how();
			});
			EXPECT_TRUE(r.clean()) << r << " signal " << sig;
		}
	}
}

// As root, from a uid that no account has, in a PID namespace of the test's
// own: there it owns nothing but what the case makes.
const uid_t stranger = 2147483646;

class Unprivileged : public testing::Test
{
      protected:
	void SetUp() override
	{
		if (geteuid() != 0)
			GTEST_SKIP() << "needs root to drop to another uid";
	}
	shared_exe exe;
};

TEST_F(Unprivileged, NothingReachesAProcessTheCallerMayNotSignal)
{
	in_namespace([&] {
		target t;
		auto r = run({"sigsend", t.text, "10"}, drop(stranger), exe.path);
		EXPECT_TRUE(r.clean()) << r;
		EXPECT_EQ(t.pending(), none{});
	});
}

// Pid texts that plain atoi wraps to -1, sent where -1 can reach only the
// sleeper: a wrong conversion cannot harm anything.
TEST_F(Unprivileged, PidTextsBeyond32BitsNeverBecomeMinusOne)
{
	in_namespace([&] {
		target sleeper(drop(stranger));
		std::vector<string> pids{"4294967295", "18446744073709551615"};
		for (auto &h : huge_texts())
			pids.push_back(h);
		for (auto &pid : pids) {
			auto r = run({"sigsend", pid, "10"}, drop(stranger), exe.path);
			EXPECT_TRUE(r.clean()) << r << pid.size();
			EXPECT_EQ(sleeper.pending(), none{}) << pid.size();
		}
		// The same uid's real -1 does reach the sleeper, so the check above can fail.
		auto r = run({"sigsend", "-1", "10"}, drop(stranger), exe.path);
		EXPECT_TRUE(r.clean()) << r;
		EXPECT_EQ(sleeper.pending(), (none{{SIGUSR1, r.pid}}));
	});
}
