// Several threads fail at once: each sets its own code and text and reads the store back while
// the others do the same. Built with ThreadSanitizer, so any unguarded access to the store is a
// report and fails the test. The program also checks what each thread can rely on:
// - a text read back is always one some thread stored whole, never a torn or freed one;
// - a pointer from tavik_GetLastErrStr keeps its text while the store's is replaced, until the
//   thread asks again;
// - tavik_FormatMessage's buffer is the thread's own: it shows exactly the code the thread asked.
#include "sdk/include/TavikErrors.h"

#include <atomic>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr int kThreads = 4;
constexpr int kRounds = 20000;

struct Code {
    int code;
    std::u16string text;
};

const std::vector<Code>& codes() {
    static const std::vector<Code> table = {{21002, u"socket error"},
                                            {23006, u"file or directory not exist"},
                                            {24001, u"wrong parameter"},
                                            {0, u"no error"},
                                            {22003, u""}};
    return table;
}

// Every text a thread stores: a fixed length, so a torn one cannot pass for another.
std::u16string storedText(int thread, int round) {
    std::u16string text = u"thread " + std::u16string(1, char16_t(u'A' + thread)) + u" round ";
    std::string digits = std::to_string(100000 + round);
    text.append(digits.begin(), digits.end());
    return text;
}

bool wellFormed(const std::u16string& text) {
    if (text.size() != storedText(0, 0).size() || text.compare(0, 7, u"thread ") != 0) {
        return false;
    }
    return text[7] >= u'A' && text[7] < char16_t(u'A' + kThreads) &&
           text.compare(8, 7, u" round ") == 0;
}

std::atomic<int> failures{0};

void fail(const char* what, int thread, int round) {
    if (failures.fetch_add(1) < 10) {
        std::fprintf(stderr, "thread %d round %d: %s\n", thread, round, what);
    }
}

void worker(int thread) {
    LPCWSTR kept = nullptr;
    std::u16string keptCopy;
    for (int round = 0; round < kRounds; ++round) {
        const Code& code = codes()[static_cast<size_t>(round + thread) % codes().size()];
        tavik_SetLastError(code.code);
        tavik_SetLastErrStr(storedText(thread, round).c_str());

        const int stored = tavik_GetLastError();
        bool known = false;
        for (const Code& c : codes()) {
            known |= c.code == stored;
        }
        if (!known) {
            fail("a code nobody stored", thread, round);
        }
        // Every 1000 rounds a text is taken and kept for 100 rounds, in which this thread does
        // not ask for the text again while every thread, itself included, replaces it.
        const int phase = round % 1000;
        if (phase == 0) {
            kept = tavik_GetLastErrStr();
            keptCopy = kept;
        } else if (phase == 100) {
            if (std::u16string(kept) != keptCopy || !wellFormed(keptCopy)) {
                fail("a kept text changed under its reader", thread, round);
            }
        } else if (phase > 100 && !wellFormed(tavik_GetLastErrStr())) {
            fail("a torn or freed text", thread, round);
        }
        if (std::u16string(tavik_FormatMessage(code.code)) != code.text) {
            fail("another thread's formatted text", thread, round);
        }
    }
}

} // namespace

int main() {
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back(worker, t);
    }
    for (std::thread& t : threads) {
        t.join();
    }
    if (failures.load() != 0) {
        std::fprintf(stderr, "%d failed checks\n", failures.load());
        return 1;
    }
    std::printf("%d threads x %d rounds: the store held\n", kThreads, kRounds);
    return 0;
}
