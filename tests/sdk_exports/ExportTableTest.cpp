// The shared library exports exactly the built entries of TavikSDK.def, and its public headers
// compile as C.
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <fstream>
#include <memory>
#include <regex>
#include <set>
#include <string>

namespace {

std::string runCommand(const std::string& command) {
    std::string output;
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
    if (!pipe) {
        return output;
    }
    std::array<char, 4096> chunk{};
    while (fgets(chunk.data(), static_cast<int>(chunk.size()), pipe.get()) != nullptr) {
        output += chunk.data();
    }
    return output;
}

struct DefTable {
    std::set<std::string> built;
    std::set<std::string> pending;
    std::set<int> ordinals;
    int duplicateOrdinals = 0;
};

DefTable readDef() {
    DefTable table;
    std::ifstream in(TAVIK_SDK_DEF);
    std::string line;
    const std::regex entry(R"(^\s+([A-Za-z_][A-Za-z0-9_]*)\s+@([0-9]+)\s*(;.*)?$)");
    while (std::getline(in, line)) {
        std::smatch m;
        if (!std::regex_match(line, m, entry)) {
            continue;
        }
        int ordinal = std::stoi(m[2]);
        if (!table.ordinals.insert(ordinal).second) {
            ++table.duplicateOrdinals;
        }
        bool pending = m[3].matched && m[3].str().find("pending") != std::string::npos;
        (pending ? table.pending : table.built).insert(m[1]);
    }
    return table;
}

std::set<std::string> dynamicSymbols() {
    std::set<std::string> symbols;
    std::string out = runCommand(std::string("nm -D --defined-only ") + TAVIK_SDK_LIBRARY);
    const std::regex row(R"(^[0-9a-fA-F]+\s+([TtWwDdBbRrVv])\s+(\S+?)(@@?\S+)?$)");
    size_t start = 0;
    while (start < out.size()) {
        size_t end = out.find('\n', start);
        std::string line = out.substr(start, end - start);
        start = end == std::string::npos ? out.size() : end + 1;
        std::smatch m;
        if (std::regex_match(line, m, row) && m[2] != "TAVIK_1") {
            symbols.insert(m[2]);
        }
    }
    return symbols;
}

} // namespace

TEST(ExportTable, DefFileHasTheWholeTableWithUniqueOrdinals) {
    DefTable def = readDef();
    EXPECT_EQ(def.duplicateOrdinals, 0);
    EXPECT_EQ(def.built.size() + def.pending.size(), 50u);
    EXPECT_TRUE(def.ordinals.count(1) && def.ordinals.count(6) && def.ordinals.count(1003));
}

TEST(ExportTable, LibraryExportsExactlyTheBuiltEntries) {
    DefTable def = readDef();
    std::set<std::string> exported = dynamicSymbols();
    ASSERT_FALSE(exported.empty()) << "nm -D found no symbols in " << TAVIK_SDK_LIBRARY;
    for (const std::string& name : def.built) {
        EXPECT_TRUE(exported.count(name)) << name << " is listed as built but not exported";
    }
    for (const std::string& name : exported) {
        EXPECT_TRUE(def.built.count(name))
            << name << " is exported but not listed as built in TavikSDK.def";
    }
}

TEST(ExportTable, PublicHeadersCompileAsC) {
    std::string command = std::string("printf '#include \"TavikSDK.h\"\\nint main(void){return "
                                      "TAVIK_ERR_NONE;}\\n' | cc -std=c11 -Wall -Werror -I") +
                          TAVIK_SDK_INCLUDE + " -x c -fsyntax-only - 2>&1; echo rc=$?";
    std::string out = runCommand(command);
    EXPECT_NE(out.find("rc=0"), std::string::npos) << out;
}
