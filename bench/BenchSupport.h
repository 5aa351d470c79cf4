#pragma once

// What both benchmark drivers share: their arguments, each phase's time, the message boxes
// shown and the peak memory.

#include "common/FileDialog.h"
#include "common/MessageBox.h"

#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace bench {

class Stopwatch {
public:
    double Lap() {
        const auto now = std::chrono::steady_clock::now();
        const double seconds = std::chrono::duration<double>(now - start_).count();
        start_ = now;
        return seconds;
    }

private:
    std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
};

inline void Report(const char* phase, double seconds) {
    std::printf("%s %.3f s\n", phase, seconds);
    std::fflush(stdout);
}

// The process's own peak, from its memory map's high-water mark: getrusage's maximum also
// holds the peak of the process it was started from (Linux keeps the largest across exec),
// which for a script that has parsed a few files is larger than a small table's.
inline long PeakRssKb() {
    if (std::FILE* status = std::fopen("/proc/self/status", "r")) {
        char line[256];
        long kb = -1;
        while (kb < 0 && std::fgets(line, sizeof line, status))
            std::sscanf(line, "VmHWM: %ld kB", &kb);
        std::fclose(status);
        if (kb >= 0)
            return kb;
    }
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// "--name value" and "--flag" arguments; anything else ends the program with the usage text
// and exit status 2.
class Arguments {
public:
    using Take = std::function<void(const std::string&)>;

    Arguments(const char* program, const char* usage) : program_(program), usage_(usage) {}

    void Parse(int argc, char** argv, const std::map<std::string, Take>& values,
               const std::map<std::string, bool*>& flags) const {
        for (int i = 1; i < argc; ++i) {
            const std::string arg = argv[i];
            if (const auto flag = flags.find(arg); flag != flags.end())
                *flag->second = true;
            else if (const auto value = values.find(arg); value == values.end())
                Fail("unknown argument " + arg);
            else if (i + 1 >= argc)
                Fail("missing value after " + arg);
            else
                value->second(argv[++i]);
        }
    }

    int Number(const std::string& text, const char* what) const {
        char* end = nullptr;
        const long number = std::strtol(text.c_str(), &end, 10);
        if (text.empty() || *end != '\0')
            Fail(what);
        return static_cast<int>(number);
    }

    [[noreturn]] void Fail(const std::string& why) const {
        std::fprintf(stderr, "%s: %s\nusage: %s\n", program_, why.c_str(), usage_);
        std::exit(2);
    }

private:
    const char* program_;
    const char* usage_;
};

// Every message box shown, as "title: text"; each is answered Cancel.
inline std::vector<std::string>& RecordMessages() {
    static std::vector<std::string> messages;
    SetMessageBoxHandler([](const std::string& text, const std::string& title, MsgButtons) {
        messages.push_back(title + ": " + text);
        return MsgAnswer::Cancel;
    });
    return messages;
}

// File dialogs answer these paths in turn, then cancel.
inline void AnswerFileDialogs(std::vector<std::string> paths) {
    static std::vector<std::string> answers;
    answers = std::move(paths);
    CommonDialog::SetBackend(
        [](CommonDialog::Mode, const CommonDialog&) -> std::optional<std::vector<std::string>> {
            if (answers.empty())
                return std::nullopt;
            std::vector<std::string> answer{answers.front()};
            answers.erase(answers.begin());
            return answer;
        });
}

// The closing lines: rows shown, peak memory and the messages recorded.
inline void ReportEnd(int rows, const std::vector<std::string>& messages) {
    std::printf("rows %d\n", rows);
    std::printf("peak_rss_kb %ld\n", PeakRssKb());
    for (const std::string& message : messages)
        std::printf("message: %s\n", message.c_str());
    std::fflush(stdout);
}

} // namespace bench
