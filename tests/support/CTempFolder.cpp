#include "tests/support/CTempFolder.h"

#include "tests/support/FileBytes.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

namespace tavik::test {

CTempFolder::CTempFolder() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern =
        std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/tavik-test-XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    if (::mkdtemp(name.data()) != nullptr) {
        path_ = name.data();
    }
}

CTempFolder::~CTempFolder() {
    if (!path_.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
}

bool CTempFolder::write(const std::string& name, const std::string& bytes) const {
    return writeFile(file(name), bytes);
}

std::string CTempFolder::read(const std::string& name) const {
    return readFile(file(name));
}

} // namespace tavik::test
