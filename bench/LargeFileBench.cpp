// Transfer rate per byte of a large file against a smaller one in the same run, through the
// 64-bit transfers (tavik_Download64 / tavik_Upload64) against tavik-server on loopback. Both
// sources are sparse files and downloads go to /dev/null, so the figures are the protocol's and
// the server's rather than the disk's; the server still writes every uploaded byte. Its files
// live in memory (/dev/shm) when it has room for them: on a disk, the large upload alone outgrows
// the write-back cache and the figure becomes the disk's.
// Usage: tavik-large-bench [--small N] [--large N] [--runs N] [--work DIR] [--server PATH]
#include "bench/BenchSupport.h"
#include "sdk/include/TavikSDK.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

struct Options {
    uint64_t small = 1ull << 30;
    uint64_t large = 6ull << 30;
    int runs = 2;
    std::string server;
    std::string work;
};

Options parseOptions(int argc, char** argv) {
    Options options;
#ifdef TAVIK_SERVER_PROGRAM
    options.server = TAVIK_SERVER_PROGRAM;
#endif
    if (const char* small = bench::option(argc, argv, "--small")) {
        options.small = std::strtoull(small, nullptr, 10);
    }
    if (const char* large = bench::option(argc, argv, "--large")) {
        options.large = std::strtoull(large, nullptr, 10);
    }
    if (const char* runs = bench::option(argc, argv, "--runs")) {
        options.runs = std::max(1, std::atoi(runs));
    }
    if (const char* server = bench::option(argc, argv, "--server")) {
        options.server = server;
    }
    if (const char* work = bench::option(argc, argv, "--work")) {
        options.work = work;
    }
    return options;
}

bool makeSparse(const fs::path& path, uint64_t size) {
    std::error_code ec;
    {
        std::FILE* created = std::fopen(path.c_str(), "wb");
        if (created == nullptr) {
            return false;
        }
        std::fclose(created);
    }
    fs::resize_file(path, size, ec);
    return !ec;
}

// Bytes per second of one transfer, 0 when it failed.
double timedTransfer(TAVIK_SESSION session, bool download, const std::string& remote,
                     const std::string& local, uint64_t bytes) {
    TAVIK_TRANSFER64 transfer{};
    transfer.pszSrcPath = download ? remote.c_str() : local.c_str();
    transfer.pszDstPath = download ? local.c_str() : remote.c_str();
    transfer.qwEndPos = bytes;
    transfer.bTrunc = 1;
    int cancel = 0;
    const uint64_t start = bench::nowNs();
    const BOOL ok = download ? tavik_Download64(session, &transfer, &cancel)
                             : tavik_Upload64(session, &transfer, &cancel);
    const double seconds = bench::secondsSince(start);
    if (!ok) {
        std::printf("transfer failed: error %d\n", tavik_GetLastError());
        return 0;
    }
    return static_cast<double>(bytes) / seconds;
}

struct Rates {
    double down = 0;
    double up = 0;
};

// Best of the runs for each direction; the uploaded file goes after each run so that the disk
// holds at most one of them.
Rates measure(TAVIK_SESSION session, const std::string& sessionPath, const fs::path& root,
              const fs::path& work, uint64_t bytes, int runs) {
    const std::string name = "src-" + std::to_string(bytes) + ".bin";
    const fs::path local = work / name;
    Rates best;
    if (!makeSparse(root / name, bytes) || !makeSparse(local, bytes)) {
        std::printf("cannot make the %llu-byte files\n", static_cast<unsigned long long>(bytes));
        return best;
    }
    for (int run = 0; run < runs; ++run) {
        ::sync();
        best.down = std::max(
            best.down, timedTransfer(session, true, sessionPath + "/" + name, "/dev/null", bytes));
        ::sync();
        best.up = std::max(
            best.up, timedTransfer(session, false, sessionPath + "/up.bin", local.string(), bytes));
        fs::remove(root / "up.bin");
    }
    fs::remove(root / name);
    fs::remove(local);
    return best;
}

// Memory when it holds the large upload with room to spare, else the temporary folder.
fs::path workFolder(const Options& options) {
    if (!options.work.empty()) {
        return options.work;
    }
    std::error_code ec;
    const fs::space_info shm = fs::space("/dev/shm", ec);
    if (!ec && shm.available > options.large + options.large / 4) {
        return "/dev/shm";
    }
    return fs::temp_directory_path();
}

void printPair(const char* what, double small, double large) {
    const double ratio = small > 0 ? large / small : 0.0;
    std::printf("%-10s small %9.1f MB/s   large %9.1f MB/s   ratio %.2f%s\n", what, small / 1e6,
                large / 1e6, ratio, ratio >= 0.9 ? "" : "   (below 0.9)");
}

} // namespace

int main(int argc, char** argv) {
    const Options options = parseOptions(argc, argv);
    if (options.server.empty()) {
        std::fprintf(stderr, "tavik-large-bench: give --server PATH to tavik-server\n");
        return 2;
    }
    const fs::path work = workFolder(options) / ("tavik-large-bench-" + std::to_string(::getpid()));
    std::printf("files in %s\n", work.c_str());
    const fs::path root = work / "disk";
    fs::create_directories(root);
    const int port = bench::freePort();
    bench::CServerProcess server(options.server, root.string(), port);
    if (!server.started() || !bench::waitForPort(port, 10000)) {
        std::fprintf(stderr, "tavik-large-bench: the server did not start\n");
        fs::remove_all(work);
        return 1;
    }
    TAVIK_SESSION session = tavik_CreateSession(u"127.0.0.1", port, u"demo", nullptr, -1);
    if (session == nullptr || !tavik_IsLargeFileSession(session)) {
        std::fprintf(stderr, "tavik-large-bench: no session with 64-bit positions (error %d)\n",
                     tavik_GetLastError());
        fs::remove_all(work);
        return 1;
    }
    const std::u16string widePath = tavik_GetSessionPath(session);
    const std::string sessionPath(widePath.begin(), widePath.end());
    std::printf("small %llu bytes, large %llu bytes, best of %d\n",
                static_cast<unsigned long long>(options.small),
                static_cast<unsigned long long>(options.large), options.runs);
    const Rates small = measure(session, sessionPath, root, work, options.small, options.runs);
    const Rates large = measure(session, sessionPath, root, work, options.large, options.runs);
    printPair("download", small.down, large.down);
    printPair("upload", small.up, large.up);
    tavik_DestroySession(session);
    fs::remove_all(work);
    return 0;
}
