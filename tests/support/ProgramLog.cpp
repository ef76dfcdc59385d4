#include "tests/support/ProgramLog.h"

#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>

namespace tavik::test {

std::string fileText(const std::string& file) {
    std::ifstream in(file);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

std::vector<std::string> awaitLine(const std::string& file, const std::regex& pattern) {
    for (int tries = 0; tries < 400; ++tries) {
        const std::string content = fileText(file);
        std::smatch match;
        if (std::regex_search(content, match, pattern)) {
            return std::vector<std::string>(match.begin(), match.end());
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return {};
}

std::string awaitGroup(const std::string& file, const std::regex& pattern) {
    const std::vector<std::string> match = awaitLine(file, pattern);
    return match.empty() ? std::string() : match.size() > 1 ? match[1] : match[0];
}

} // namespace tavik::test
