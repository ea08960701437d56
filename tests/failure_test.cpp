// Failures that end a run: every allocation of a run fails in turn, in a child process,
// each with its own message and status 1, leaving whole records only; and the limits past
// which a number is refused rather than allowed to overflow a count.
#include <gtest/gtest.h>
#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#else
#include <unistd.h>
#endif
#ifdef __linux__
#include <sys/mman.h>
#endif

#include <cstring>
#include <limits>
#include <set>

#include "base/fatal.hpp"
#include "base/heap.hpp"
#include "base/process_setup.hpp"
#include "base/terminal.hpp"
#include "bignum/bignum.hpp"
#include "cli/run.hpp"
#include "cli/text_sink.hpp"
#include "engine/trajectory.hpp"
#include "reference.hpp"
#include "run_program.hpp"

namespace {

using namespace revadd;

// `part` is `whole` cut after a whole hit record, or before the first one.
bool ends_at_a_record(const std::string& part, const std::string& whole, std::size_t head) {
    return whole.starts_with(part) &&
           (part.size() <= head ||
            (part.ends_with("\n\n") && part.find(" numbers in the range") == std::string::npos));
}

TEST(Failure, EveryAllocationOfARunFailsWithItsOwnMessageAndLeavesWholeRecords) {
    if (!tests::child_processes) GTEST_SKIP() << "each run is a forked child: POSIX only";
    const std::string engine = "revadd: out of memory for the digits of a sum\n",
                      old = "results of an earlier run\n";
    const std::set<std::string> plain = {"malloc failed in bigInit()\n", "bigAlloc failed\n",
                                         "malloc failed in strip_zeroes\n", engine};
    for (const auto& [op, threads, messages] :
         std::vector<std::tuple<heap::Op, unsigned, std::set<std::string>>>{
             {heap::Op::plain, 1, plain},
             {heap::Op::plain, 2, plain},
             {heap::Op::zeroed, 1, {"calloc failed in bigAdd()\n", "calloc failed in dig2str()\n"}},
             {heap::Op::resize, 1, {"realloc failed in strip_zeroes()\n"}}}) {
        const auto run = [&, op = op, threads = threads](long skip) {
            tests::RunSetup setup;
            setup.existing_file = old;
            setup.instead = [=] {
                const RunOptions options{.threads = threads, .chunk_numbers = 8};
                if (skip >= 0) heap::fail_after(op, skip);
                TextSink console(stdout, std::size_t{1} << 16);
                return run_search({"1", 220, 2000}, console,
                                  options);  // hits come before 196 outgrows its buffers
            };
            return tests::run_revadd(setup);
        };
        const tests::Outcome full = run(-1);
        ASSERT_EQ(full.status, 0) << full.err;
        std::set<std::string> seen;
        bool engine_failed_after_records = false;
        for (long skip = 0;; ++skip) {
            ASSERT_LT(skip, 200) << "the run never got past its failures";
            const tests::Outcome r = run(skip);
            if (r.status == 0) {
                EXPECT_TRUE(tests::same(r.out + *r.file, full.out + *full.file));
                break;
            }
            EXPECT_EQ(r.status, 1);
            EXPECT_EQ(messages.count(r.err), 1u) << r.err << "request " << skip;
            seen.insert(r.err);
            if (r.err != engine) {  // the numbers are parsed before anything is written
                EXPECT_TRUE(tests::same(r.out + *r.file, old));
            } else {
                EXPECT_TRUE(ends_at_a_record(r.out, full.out, 1) &&
                            ends_at_a_record(*r.file, *full.file, 0) && "\n" + *r.file == r.out)
                    << "request " << skip;
                engine_failed_after_records |= r.file->find("iterations\n\n") != std::string::npos;
            }
        }
        EXPECT_EQ(seen, messages);
        EXPECT_EQ(engine_failed_after_records, messages.count(engine) == 1);
    }
}

#ifdef __linux__  // memfd_create
// A string of `length` ones that costs a few megabytes whatever its length: one block of
// ones mapped again and again, then a private tail holding the terminator.
char* ones(std::size_t length) {
    constexpr std::size_t block = std::size_t{2} << 20;
    const std::size_t repeats = length / block, tail = length + 1 - repeats * block;
    auto* base = static_cast<char*>(mmap(nullptr, repeats * block + tail, PROT_NONE,
                                         MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0));
    const int fd = memfd_create("ones", 0);
    if (base == MAP_FAILED || fd < 0 || ftruncate(fd, block) != 0) std::abort();
    for (std::size_t i = 0; i < repeats; ++i) {
        if (mmap(base + i * block, block, PROT_READ | PROT_WRITE, MAP_SHARED | MAP_FIXED, fd, 0) ==
            MAP_FAILED)
            std::abort();
    }
    if (repeats > 0) std::memset(base, '1', block);
    char* end = base + repeats * block;
    if (mmap(end, tail, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED, -1, 0) ==
        MAP_FAILED)
        std::abort();
    std::memset(end, '1', tail - 1);
    end[tail - 1] = '\0';
    return base;
}
#endif

TEST(FailureDeathTest, ExhaustedMemoryAndOverlongNumbersEndTheProcessWithAMessage) {
    {
        LimbBuffer longest(0);  // the longest sum is given its room (a gigabyte, never touched)
        longest.reserve(limbs_for(INT32_MAX), 0);
        EXPECT_GE(longest.capacity(), limbs_for(INT32_MAX));
    }
    const std::vector<std::pair<void (*)(), const char*>> cases = {
        {[] {
             heap::fail_after(heap::Op::plain, 1);  // the second digit buffer, as it grows
             Trajectory t;
             t.assign("89");
             for (int i = 0; i < 2000; ++i) t.step();
         },
         "revadd: out of memory for the digits of a sum\n"},
        {[] { LimbBuffer(0).reserve(limbs_for(INT32_MAX) + 1, 0); },
         "revadd: a sum is too long to hold\n"},
#ifdef __linux__  // elsewhere the numbers past a 32-bit digit count would take 2 GiB each
        {[] {
             bignum a{1, 1, 1, ones(INT32_MAX - 1)}, r{};
             bigInit(&r);
             bigAdd(&r, a, a);
         },
         "calloc failed in bigAdd()\n"},
        {[] {  // refused before anything is allocated, even the record's first buffer
             bignum a{};
             heap::fail_after(heap::Op::plain, 0);
             str2big(&a, ones(INT32_MAX));
         },
         "bigAlloc failed\n"},
#endif
        {[] {
             heap::fail_after(heap::Op::plain, 0);
             reverse("12");
         },
         "malloc failed in reverse()\n"},
        {[] {  // the status line, drawn once whatever its redraws, is erased before the message
             std::string line = "step 5", again = line;
             terminal::show_line(line);
             terminal::show_line(again);
             fatal("revadd: out of memory\n");
         },
         "\rstep 5\033[K\r\033[Krevadd: out of memory\n"},
#ifndef REVADD_SANITIZED_ALLOCATOR  // whose allocator reports an impossible request itself
        {[] {
             prepare_process();
             volatile std::size_t huge = std::numeric_limits<std::size_t>::max() / 4;
             ::operator delete(::operator new(huge));
         },
         "revadd: out of memory\n"},
#endif
    };
    for (const auto& [body, message] : cases) {
        EXPECT_EXIT(body(), ::testing::ExitedWithCode(1),
                    ::testing::Matcher<const std::string&>(std::string(message)));
    }
}

// Text can reach the system and still be lost when the file is closed (a full quota or a
// network file system tells only then); a sink that ignored its close would call that done.
// A stream found failed blames its failure on no errno an earlier call left (ENOTTY, say).
TEST(Failure, AFailedCloseIsAFailedWriteAndAFailureIsNamedByItsOwnErrno) {
    int ends[2];
#ifdef _WIN32
    ASSERT_EQ(_pipe(ends, 4096, _O_BINARY), 0);
    const auto close = _close;
#else
    ASSERT_EQ(pipe(ends), 0);
    // Windows' C library does not mark a stream failed by a read it refuses: POSIX only.
    for (const bool writing : {true, false}) {
        std::FILE* stream = fdopen(dup(ends[1]), "w");
        (void)std::fgetc(stream);  // read though open for writing only: it has failed
        TextSink failed(stream);
        errno = ENOTTY;
        writing ? failed.write("x") : (void)failed.flush();
        EXPECT_EQ(failed.error(), EIO) << writing;
        failed.close();
    }
#endif
    TextSink sink(fdopen(ends[1], "w"));
    ASSERT_TRUE(sink.flush());
    close(ends[1]);  // its close then fails, as a lost file's would
    EXPECT_FALSE(sink.close());
    EXPECT_EQ(sink.error(), EBADF);
    close(ends[0]);
}

}  // namespace
