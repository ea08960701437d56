// The built program run as a user runs it: answers on standard input, then the exact
// bytes of standard output, standard error and palin.txt, and the exit status. The cases
// are data, in end_to_end_cases.txt; its head says how to read them.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>
#include <fstream>
#include <map>
#include <sstream>

#include "reference.hpp"
#include "run_program.hpp"

namespace {

using namespace revadd::tests;

const std::string prompts = "enter starting number:\nenter range:\nenter number of iterations:\n";

std::string unescape(const std::string& s) {
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '{' && i + 2 < s.size() && s[i + 2] == '*') {
            const std::size_t close = s.find('}', i);
            out.append(std::stoul(s.substr(i + 3, close - i - 3)), s[i + 1]);
            i = close;
        } else if (s[i] == '\\' && s[i + 1] == 'x') {
            out += static_cast<char>(std::stoi(s.substr(i + 2, 2), nullptr, 16));
            i += 3;
        } else if (s[i] == '\\') {
            const char c = s[++i];
            out += c == 'n' ? '\n' : c == 't' ? '\t' : c == 'r' ? '\r' : c == 'v' ? '\v' : c == 'f' ? '\f' : c;
        } else {
            out += s[i];
        }
    }
    return out;
}

struct Case {
    std::string name;
    std::vector<std::string> setup;
    std::map<std::string, std::string> fields;  // text already unescaped, or a keyword
};

std::vector<Case> read_cases() {
    std::ifstream in(REVADD_CASES);
    std::vector<Case> cases;
    for (std::string line; std::getline(in, line);) {
        if (line.starts_with("refuse: ")) {  // ANSWERS | PROMPTS SHOWN | MESSAGE
            const std::size_t a = line.find(" | "), b = line.find(" | ", a + 3);
            line = "run: " + line.substr(8, a - 8) + " | setup: palin.txt old | out: prompts " + line.substr(a + 3, b - a - 3) +
                   " | err: " + line.substr(b + 3) + "\\n | file: old | status: 1";
        }
        if (!line.starts_with("run: ")) continue;
        Case c{line, {}, {}};
        line = "in: " + line.substr(5);
        for (std::size_t at = 0, bar; at <= line.size(); at = bar + 3) {
            bar = std::min(line.find(" | ", at), line.size());
            const std::string part = line.substr(at, bar - at);
            const std::size_t colon = part.find(':');
            const std::string key = part.substr(0, colon), value = part.substr(std::min(colon + 2, part.size()));
            if (key == "setup") {
                c.setup.push_back(value);
            } else {
                c.fields[key] = unescape(value);
            }
        }
        cases.push_back(c);
    }
    return cases;
}

RunSetup setup_of(const Case& c) {
    RunSetup s;
    s.input = c.fields.at("in");
    for (const std::string& directive : c.setup) {
        std::istringstream words(directive);
        std::string what, value, rest;
        words >> what >> value;
        if (what == "stdin") s.stdin_closed = true;
        if (what == "stdout") {
            s.out = value == "dev-full" ? Stdout::dev_full : value == "closed" ? Stdout::closed
                    : value == "reader-gone" ? Stdout::reader_gone : Stdout::reader_leaves;
            words >> s.reader_leaves_after;
        }
        if (what == "palin.txt" && value == "old") s.existing_file = "results of an earlier run\n";
        s.file_is_directory |= what == "palin.txt" && value == "directory";
        if (what == "fsize") s.limits.emplace_back(RLIMIT_FSIZE, std::stol(value));
        if (what == "as") s.limits.emplace_back(RLIMIT_AS, std::stol(value) * 1024);
        if (what == "cpu") s.cpu = std::stoi(value);
        if (what == "timeout") s.timeout = std::chrono::milliseconds(std::stol(value));
        if (what == "signal") {
            int delay = 0;
            words >> delay;
            std::getline(words >> std::ws, rest);
            const std::map<std::string, int> number = {{"INT", SIGINT}, {"TERM", SIGTERM}, {"STOP", SIGSTOP}, {"CONT", SIGCONT}};
            s.signals.push_back({unescape(rest), delay, number.at(value)});
        }
    }
    return s;
}

// What a field asks for, given what the report gives.
std::optional<std::string> expected(const Case& c, const std::string& key, const std::optional<std::string>& given,
                                    const std::optional<std::string>& old) {
    if (!c.fields.count(key)) return given;
    const std::string& v = c.fields.at(key);
    if (v == "none") return key == "file" ? std::nullopt : std::optional<std::string>("");
    if (v == "old") return old;
    if (v.starts_with("first ")) return given->substr(0, std::stoul(v.substr(6)));
    if (v.starts_with("prompts ")) return prompts.substr(0, std::vector<std::size_t>{0, 23, 36, 64}.at(std::stoul(v.substr(8))));
    return v;
}

TEST(EndToEnd, EveryCaseOfTheTableGivesItsConsoleErrorsFileAndStatus) {
    const std::vector<Case> cases = read_cases();
    ASSERT_GT(cases.size(), 40u);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const RunSetup setup = setup_of(c);
        std::optional<std::string> out, file;
#ifdef REVADD_SANITIZED_ALLOCATOR  // which reserves more address space than any limit here
        if (!setup.limits.empty() && setup.limits[0].first == RLIMIT_AS) continue;
#endif
        if (c.fields.count("report") && c.fields.at("report") == "unlimited") {
            static std::map<std::string, Outcome> plain;  // the same answers, nothing set up
            RunSetup nothing_set_up;
            nothing_set_up.input = setup.input;
            if (!plain.count(setup.input)) plain[setup.input] = run_revadd(nothing_set_up);
            out = plain[setup.input].out;
            file = plain[setup.input].file;
        } else if (c.fields.count("report")) {
            out = prompts + "\n" + c.fields.at("report");
            file = c.fields.at("report");
        } else if (!c.fields.count("out") || !c.fields.count("file")) {
            std::istringstream answers(setup.input);
            std::string start;
            std::int32_t range = 0, iterations = 0;
            answers >> start >> range >> iterations;
            const Report r = reference_report(start, range, iterations);
            out = prompts + r.console;
            file = r.file;
        }
        Outcome got;
        ASSERT_NO_THROW(got = run_revadd(setup));
        EXPECT_EQ(got.out, expected(c, "out", out, {}));
        EXPECT_EQ(got.err, expected(c, "err", "", {}));
        EXPECT_EQ(got.file, expected(c, "file", file, setup.existing_file));
        EXPECT_EQ(got.file_is_directory, setup.file_is_directory);
        const std::string status = " " + (c.fields.count("status") ? c.fields.at("status") : "0") + " ";
        EXPECT_NE(status.find(" " + std::to_string(got.status) + " "), std::string::npos) << got.status;
    }
}

}  // namespace
