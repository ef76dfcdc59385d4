// A program's standard error file as a test reads it while the program runs: the whole text, or
// the first match of a pattern waited for (polled every 50 ms, bounded: 20 s).
#pragma once

#include <regex>
#include <string>
#include <vector>

namespace tavik::test {

// The file's whole text; empty when it cannot be read.
std::string fileText(const std::string& file);
// The first match of pattern and its groups; empty when none came within 20 s.
std::vector<std::string> awaitLine(const std::string& file, const std::regex& pattern);
// The first group of that match (the whole match when the pattern has no group), or "".
std::string awaitGroup(const std::string& file, const std::regex& pattern);

} // namespace tavik::test
