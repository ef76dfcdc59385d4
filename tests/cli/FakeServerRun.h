// The command-line program run against a scripted fake disk server on loopback: disk "bob"
// without a password, no device root, the CP949 code page.
#pragma once

#if defined(TAVIK_CLI_PROGRAM)

#include "tests/cli/CChildProcess.h"

#include <string>
#include <vector>

namespace tavik::test {

// args follow the program's name; the outcome once it has ended.
inline CChildProcess::Outcome runCliAgainstFake(int port, const std::vector<std::string>& args) {
    std::vector<std::string> argv = {TAVIK_CLI_PROGRAM};
    argv.insert(argv.end(), args.begin(), args.end());
    return CChildProcess::run(argv, {{"TAVIK_SERVER", "127.0.0.1:" + std::to_string(port)},
                                     {"TAVIK_DISK", "bob"},
                                     {"TAVIK_PASSWORD", ""},
                                     {"TAVIK_DEVICE_ROOT", ""},
                                     {"TAVIK_ACP", "CP949"}});
}

} // namespace tavik::test

#endif
