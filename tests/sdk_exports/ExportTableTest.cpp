// The shared library exports exactly the built entries of TavikSDK.def, and its public headers
// compile as C.
#include <gtest/gtest.h>

#include <dlfcn.h>

#include <array>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

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
    std::map<std::string, int> ordinalOf;
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
        table.ordinalOf[m[1]] = ordinal;
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

// Every export with the ordinal the explorer program and other callers bind it by, written out
// by hand from the interface's families rather than read back from the table under test.
const std::map<std::string, int> kOrdinals = {
    {"tavik_GetLastError", 1},
    {"tavik_SetLastError", 2},
    {"tavik_GetLastErrStr", 3},
    {"tavik_SetLastErrStr", 4},
    {"_Z21tavik_CreateVXSessionP17_VXTAVIK_HOSTINFOPKDsS2_i", 5},
    {"_Z19tavik_FormatMessagei", 6},
    {"tavik_GetVersion", 7},
    {"tavik_CreateSession", 11},
    {"tavik_DuplicateSession", 12},
    {"tavik_DestroySession", 13},
    {"tavik_SetSessionTimeout", 14},
    {"tavik_SetConnectTimeout", 15},
    {"tavik_SetSecurity", 16},
    {"tavik_GetSessionSecurity", 17},
    {"tavik_GetServerFingerprint", 18},
    {"tavik_GetSessionPath", 21},
    {"tavik_GetSessionMode", 22},
    {"tavik_GetSessionOpenUrl", 23},
    {"tavik_GetSessionMessage", 24},
    {"tavik_GetDiskSpace", 31},
    {"tavik_FileOpen", 41},
    {"tavik_FileWrite", 42},
    {"tavik_FileRead", 43},
    {"tavik_FileSeek", 44},
    {"tavik_FileClose", 45},
    {"tavik_IsLargeFileSession", 46},
    {"tavik_GetFileSize64", 47},
    {"tavik_FileSeek64", 48},
    {"tavik_GetDiskSpace64", 49},
    {"tavik_MakeFolder", 51},
    {"tavik_MakeFolder2", 52},
    {"tavik_CreateFile", 53},
    {"tavik_DeleteFile", 54},
    {"tavik_RenameFile", 55},
    {"tavik_MoveFile", 56},
    {"tavik_CopyFile", 57},
    {"tavik_OpenFileInfo", 61},
    {"tavik_ReadFileInfo", 62},
    {"tavik_CloseFileInfo", 63},
    {"tavik_GetFileSize", 64},
    {"tavik_GetFileTime", 65},
    {"tavik_SetFileTime", 66},
    {"tavik_GetFileInfoSize64", 67},
    {"tavik_OpenDir", 71},
    {"tavik_ReadDir", 72},
    {"tavik_CloseDir", 73},
    {"tavik_OpenCmd", 81},
    {"tavik_GetCmd", 82},
    {"tavik_CloseCmd", 83},
    {"tavik_ChangeDir", 84},
    {"tavik_Download", 91},
    {"tavik_Upload", 92},
    {"tavik_CopyEx", 93},
    {"tavik_DownloadEx", 94},
    {"tavik_UploadEx", 95},
    {"tavik_Download64", 96},
    {"tavik_Upload64", 97},
    {"tavik_CopyEx64", 98},
    {"tavik_UploadCommit64", 99},
    {"tavik_GetServerInfo", 101},
    {"tavik_CheckVirus", 111},
    {"tavik_CreateDrive", 1001},
    {"tavik_CloseDrive", 1002},
    {"tavik_IsValidCreateDrive", 1003},
};

TEST(ExportTable, DefFileHasTheWholeTableWithUniqueOrdinals) {
    DefTable def = readDef();
    EXPECT_EQ(def.duplicateOrdinals, 0);
    EXPECT_EQ(def.built.size() + def.pending.size(), kOrdinals.size());
    EXPECT_EQ(def.ordinalOf.size(), kOrdinals.size());
    for (const auto& [name, ordinal] : kOrdinals) {
        const auto found = def.ordinalOf.find(name);
        if (found == def.ordinalOf.end()) {
            ADD_FAILURE() << name << " (@" << ordinal << ") is missing from TavikSDK.def";
            continue;
        }
        EXPECT_EQ(found->second, ordinal) << name;
    }
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

// The version is asked of the built shared library itself, as a program would: its number is the
// library's file version, and every feature named in the text has its bit and no other bit is set.
TEST(ExportTable, GetVersionNamesTheLibraryVersionAndMatchingFeatureBits) {
    std::unique_ptr<void, int (*)(void*)> library(dlopen(TAVIK_SDK_LIBRARY, RTLD_NOW), dlclose);
    ASSERT_TRUE(library) << dlerror();
    using GetVersion = const char* (*)(unsigned int*);
    auto getVersion = reinterpret_cast<GetVersion>(dlsym(library.get(), "tavik_GetVersion"));
    ASSERT_NE(getVersion, nullptr);

    unsigned int features = 0xFFFF0000u;
    const std::string text = getVersion(&features);
    EXPECT_EQ(getVersion(nullptr), text);
    std::vector<std::string> words;
    std::istringstream split(text);
    for (std::string word; split >> word;) {
        words.push_back(word);
    }
    ASSERT_FALSE(words.empty()) << text;
    EXPECT_EQ(words[0], TAVIK_SDK_VERSION);
    EXPECT_EQ(text.find("  "), std::string::npos) << text;

    struct Feature {
        const char* name;
        unsigned int bit;
    };
    const Feature table[] = {{"IPv6", 1}, {"TLS", 2}, {"large-files", 4}};
    std::vector<std::string> expectedWords = {TAVIK_SDK_VERSION};
    unsigned int knownBits = 0;
    for (const Feature& feature : table) {
        knownBits |= feature.bit;
        if (features & feature.bit) {
            expectedWords.push_back(feature.name);
        }
    }
    EXPECT_EQ(words, expectedWords) << text;
    EXPECT_EQ(features & ~knownBits, 0u) << "unknown feature bits in " << features;
    EXPECT_TRUE(features & 1u) << "IPv6 is always built";
}

namespace {

// The C name of an export: the .def lists the two decorated ones as _Z<length><name>...
std::string plainName(const std::string& symbol) {
    std::smatch m;
    static const std::regex mangled(R"(^_Z([0-9]+))");
    if (std::regex_search(symbol, m, mangled)) {
        return symbol.substr(m[0].length(), std::stoul(m[1]));
    }
    return symbol;
}

std::string lowered(std::string text) {
    for (char& c : text) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return text;
}

struct Header {
    std::string name;
    std::string text;
};

std::vector<Header> publicHeaders() {
    std::vector<Header> headers;
    for (const auto& entry : std::filesystem::directory_iterator(TAVIK_SDK_INCLUDE)) {
        if (entry.path().extension() == ".h") {
            std::ifstream in(entry.path());
            headers.push_back({entry.path().filename().string(),
                               std::string(std::istreambuf_iterator<char>(in), {})});
        }
    }
    return headers;
}

// What is wrong with the reference of one export, or "" when nothing is.
std::string documentationFault(const std::string& name, const std::vector<Header>& headers) {
    const std::regex declaration("TAVIK_API[^;{}()]*\\b" + name + "\\s*\\(");
    for (const Header& header : headers) {
        std::smatch m;
        if (!std::regex_search(header.text, m, declaration)) {
            continue;
        }
        std::string before = header.text.substr(0, m.position(0));
        before.erase(before.find_last_not_of(" \t\n") + 1);
        size_t open = before.rfind("/*");
        if (before.size() < 2 || before.compare(before.size() - 2, 2, "*/") != 0 ||
            open == std::string::npos || before.compare(open, 3, "/**") != 0) {
            return "has no /** comment right before its declaration in " + header.name;
        }
        // The comment's words with its line breaks and leading stars taken out.
        static const std::regex lineBreak(R"(\s*\n\s*\*?\s*)");
        std::string comment = lowered(std::regex_replace(before.substr(open), lineBreak, " "));
        static const std::regex errorCode(R"(\b2[1-4][0-9]{3}\b)");
        if (!std::regex_search(comment, errorCode) &&
            comment.find("last error") == std::string::npos) {
            return "names neither its error codes nor what it does to the last error";
        }
        std::string file = lowered(header.text.substr(0, header.text.find("*/")));
        if (file.find("@file") == std::string::npos ||
            file.find("threading:") == std::string::npos ||
            file.find("ownership:") == std::string::npos) {
            return header.name + " has no @file comment with \"Threading:\" and \"Ownership:\"";
        }
        return "";
    }
    return "is declared in no public header";
}

} // namespace

// Every built export has a reference entry in its header: a doxygen comment naming its errors (or
// its effect on the last error), in a header whose file comment states threading and ownership.
TEST(ExportTable, EveryExportIsDocumentedInItsHeader) {
    const std::vector<Header> headers = publicHeaders();
    ASSERT_FALSE(headers.empty());
    const DefTable def = readDef();
    ASSERT_FALSE(def.built.empty());
    for (const std::string& symbol : def.built) {
        const std::string name = plainName(symbol);
        EXPECT_EQ(documentationFault(name, headers), "") << name;
    }
}
