// Failures that end a run: every allocation a run makes is made to fail in turn, in a
// child process, and each must end with its own fixed message and status 1, leaving the
// console and palin.txt with complete records only. Also the limits past which a number
// is refused rather than allowed to overflow a count.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <limits>
#include <new>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "bignum/bignum.hpp"
#include "bignum/heap.hpp"
#include "engine/trajectory.hpp"
#include "cli/process_setup.hpp"
#include "cli/run.hpp"
#include "cli/text_sink.hpp"
#include "run_program.hpp"
#include "sanitizers.hpp"

namespace {

namespace fs = std::filesystem;
namespace heap = revadd::heap;
using revadd::testing::read_file;

struct Forked {
    std::string out;
    std::string err;
    int status = -1;                  // exit status; -1 when killed by a signal
    std::optional<std::string> file;  // palin.txt
};

// Runs `body` in a child process inside a fresh directory that holds `existing_file` as
// palin.txt, with standard output and standard error going to files; `body` gets a
// stream of its own on descriptor 1 and returns the exit status.
Forked run_forked(const std::function<int(std::FILE*)>& body, const std::string& existing_file) {
    char pattern[] = "/tmp/revadd-fail-XXXXXX";
    if (mkdtemp(pattern) == nullptr) throw std::runtime_error("mkdtemp");
    const fs::path dir = pattern;
    std::ofstream(dir / "palin.txt", std::ios::binary) << existing_file;
    std::fflush(nullptr);
    const pid_t pid = fork();
    if (pid < 0) throw std::runtime_error("fork");
    if (pid == 0) {
        if (chdir(dir.c_str()) != 0) _exit(120);
        const int out = open("stdout", O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int err = open("stderr", O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (out < 0 || err < 0 || dup2(out, 1) < 0 || dup2(err, 2) < 0) _exit(121);
        std::FILE* console = fdopen(1, "w");
        if (console == nullptr) _exit(122);
        const int status = body(console);
        std::fflush(nullptr);
        _exit(status);
    }
    int raw = 0;
    while (waitpid(pid, &raw, 0) < 0) {
    }
    Forked f;
    f.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    f.out = read_file(dir / "stdout");
    f.err = read_file(dir / "stderr");
    if (fs::is_regular_file(dir / "palin.txt")) f.file = read_file(dir / "palin.txt");
    fs::remove_all(dir);
    return f;
}

// `part` is `whole` cut short after a complete hit record (or before the first one):
// nothing torn, nothing out of order.
bool ends_at_a_record(const std::string& part, const std::string& whole, std::size_t head) {
    if (whole.compare(0, part.size(), part) != 0) return false;
    if (part.size() <= head) return true;
    return part.size() >= 2 && part.compare(part.size() - 2, 2, "\n\n") == 0 &&
           part.find(" numbers in the range\n") == std::string::npos;
}

// Hits early in the range are written before 196 and its kin grow past the first size
// of the digit buffers, so that the buffers' growth fails with records already out.
const revadd::Answers answers{"1", 220, 2000};
const std::string old_file = "results of an earlier run\n";

struct SweepCase {
    const char* name;
    heap::Op op;
    unsigned threads;
    std::set<std::string> messages;  // every one must turn up, and nothing else
};

TEST(FailureTest, EveryAllocationOfARunFailsWithItsOwnMessageAndLeavesWholeRecords) {
    const std::string engine = "revadd: out of memory for the digits of a sum\n";
    const std::vector<SweepCase> cases = {
        {"plain, one thread", heap::Op::plain, 1,
         {"malloc failed in bigInit()\n", "bigAlloc failed\n", "malloc failed in strip_zeroes\n",
          engine}},
        {"plain, two threads", heap::Op::plain, 2,
         {"malloc failed in bigInit()\n", "bigAlloc failed\n", "malloc failed in strip_zeroes\n",
          engine}},
        {"zero-filled", heap::Op::zeroed, 1,
         {"calloc failed in bigAdd()\n", "calloc failed in dig2str()\n"}},
        {"resize", heap::Op::resize, 1, {"realloc failed in strip_zeroes()\n"}},
    };
    for (const SweepCase& c : cases) {
        SCOPED_TRACE(c.name);
        revadd::RunOptions options;
        options.threads = c.threads;
        options.chunk_numbers = 8;
        const auto run = [&](long skip) {
            return run_forked(
                [&](std::FILE* stream) {
                    if (skip >= 0) heap::fail_after(c.op, skip);
                    revadd::TextSink console(stream, std::size_t{1} << 16);
                    return revadd::run_search(answers, console, options);
                },
                old_file);
        };
        const Forked full = run(-1);
        ASSERT_EQ(full.status, 0) << full.err;
        ASSERT_TRUE(full.file.has_value());
        const std::string full_file = *full.file;

        std::set<std::string> seen;
        bool engine_failed_after_records = false;
        long skip = 0;
        for (;; ++skip) {
            ASSERT_LT(skip, 200) << "the run never got past its failures";
            SCOPED_TRACE("request " + std::to_string(skip) + " fails");
            const Forked r = run(skip);
            if (r.status == 0) {
                EXPECT_EQ(r.out, full.out);
                EXPECT_EQ(r.file, full.file);
                break;
            }
            EXPECT_EQ(r.status, 1);
            EXPECT_EQ(c.messages.count(r.err), 1u) << r.err;
            seen.insert(r.err);
            ASSERT_TRUE(r.file.has_value());
            if (r.err != engine) {
                // The numbers are parsed before the file is opened or anything written.
                EXPECT_EQ(r.out, "");
                EXPECT_EQ(*r.file, old_file);
            } else {
                EXPECT_TRUE(ends_at_a_record(r.out, full.out, 1)) << r.out.size();
                EXPECT_TRUE(ends_at_a_record(*r.file, full_file, 0)) << r.file->size();
                // What reached the file is what reached the console.
                EXPECT_EQ("\n" + *r.file, r.out);
            }
            if (r.err == engine && r.file->find("iterations\n\n") != std::string::npos) {
                engine_failed_after_records = true;
            }
        }
        EXPECT_EQ(seen, c.messages);
        if (c.messages.count(engine) != 0) {
            EXPECT_TRUE(engine_failed_after_records);
        }
    }
}

struct DeathCase {
    const char* name;
    void (*run)();
    const char* message;
};

void expect_deaths(const std::vector<DeathCase>& cases) {
    for (const DeathCase& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EXIT(c.run(), testing::ExitedWithCode(1),
                    testing::Matcher<const std::string&>(testing::Eq(std::string(c.message))));
    }
}

// A string of `length` ones that costs a few megabytes whatever its length: one block
// of ones mapped again and again, then a private tail that holds the terminator. Only
// the child that dies with it ever makes one.
char* ones(std::size_t length) {
    constexpr std::size_t block = std::size_t{2} << 20;
    const std::size_t total = length + 1;
    const std::size_t repeats = (total - 1) / block;
    const std::size_t tail = total - repeats * block;
    auto* base = static_cast<char*>(mmap(nullptr, repeats * block + tail, PROT_NONE,
                                         MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0));
    const int fd = memfd_create("ones", 0);
    if (base == MAP_FAILED || fd < 0 || ftruncate(fd, block) != 0) std::abort();
    for (std::size_t i = 0; i < repeats; ++i) {
        void* at = mmap(base + i * block, block, PROT_READ | PROT_WRITE, MAP_SHARED | MAP_FIXED,
                        fd, 0);
        if (at == MAP_FAILED) std::abort();
        if (i == 0) std::memset(at, '1', block);
    }
    char* end = base + repeats * block;
    if (mmap(end, tail, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED, -1, 0) ==
        MAP_FAILED) {
        std::abort();
    }
    std::memset(end, '1', tail - 1);
    end[tail - 1] = '\0';
    return base;
}

TEST(FailureDeathTest, EngineAndCountLimitsEndTheProcessWithAMessage) {
    expect_deaths({
        {"first digit buffer", [] {
             heap::fail_after(heap::Op::plain, 0);
             revadd::Trajectory t;
             t.assign("89");
         }, "revadd: out of memory for the digits of a sum\n"},
        {"a digit buffer that grows", [] {
             revadd::Trajectory t;
             t.assign("89");
             heap::fail_after(heap::Op::plain, 1);
             for (int i = 0; i < 2000; ++i) t.step();
         }, "revadd: out of memory for the digits of a sum\n"},
        {"more digits than a 32-bit count holds", [] {
             revadd::LimbBuffer buffer(0);
             buffer.reserve(revadd::limbs_for(std::numeric_limits<std::int32_t>::max()) + 1, 0);
         }, "revadd: a sum is too long to hold\n"},
        {"a sum whose digits would pass a 32-bit count", [] {
             revadd::bignum a{}, r{};
             revadd::bigInit(&r);
             a.sign = 1;
             a.ndigits = 1;
             a.initialized = 1;
             a.number = ones(std::numeric_limits<std::int32_t>::max() - 1);
             revadd::bigAdd(&r, a, a);
         }, "calloc failed in bigAdd()\n"},
        {"a token whose digits would pass a 32-bit count", [] {
             revadd::bignum a{};
             revadd::bigInit(&a);
             revadd::str2big(&a, ones(std::numeric_limits<std::int32_t>::max()));
         }, "bigAlloc failed\n"},
    });
}

TEST(FailureDeathTest, OperatorNewThatFailsEndsTheProcessWithAMessage) {
#ifdef REVADD_SANITIZED_ALLOCATOR
    GTEST_SKIP() << "the sanitizer's allocator reports an impossible request itself";
#else
    expect_deaths({
        {"operator new", [] {
             revadd::prepare_process();
             volatile std::size_t huge = std::numeric_limits<std::size_t>::max() / 4;
             ::operator delete(::operator new(huge));
         }, "revadd: out of memory\n"},
    });
#endif
}

}  // namespace
