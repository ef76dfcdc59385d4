#include "cli/commands/CSpoolFile.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <unistd.h>
#include <vector>

namespace tavik::cli {

CSpoolFile::~CSpoolFile() {
    if (!m_path.empty()) {
        ::unlink(m_path.c_str());
    }
}

bool CSpoolFile::fill(std::istream& in, std::string* why) {
    const char* base = std::getenv("TMPDIR");
    std::string name =
        std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/tavik-stdin-XXXXXX";
    const int fd = mkstemp(name.data());
    if (fd < 0) {
        *why = "cannot create a temporary file in " + name + ": " + std::strerror(errno);
        return false;
    }
    m_path = name;
    std::vector<char> block(65536);
    bool ok = true;
    while (ok && in) {
        in.read(block.data(), static_cast<std::streamsize>(block.size()));
        const char* at = block.data();
        for (std::streamsize left = in.gcount(); ok && left > 0;) {
            const ssize_t wrote = ::write(fd, at, static_cast<size_t>(left));
            ok = wrote > 0;
            if (ok) {
                at += wrote;
                left -= wrote;
            }
        }
    }
    if (!ok) {
        *why = std::string("cannot write the temporary file ") + name + ": " + std::strerror(errno);
    } else if (in.bad()) {
        *why = "cannot read it";
        ok = false;
    }
    ::close(fd);
    return ok;
}

} // namespace tavik::cli
