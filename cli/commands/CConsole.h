// Where a command reads and writes: standard streams, and what they are connected to.
#pragma once

#include <iostream>

namespace tavik::cli {

struct CConsole {
    std::istream& in;
    std::ostream& out;
    std::ostream& err;
    bool inIsTerminal = false;  // questions may be asked
    bool errIsTerminal = false; // progress bars may be drawn
    int columns = 80;           // width of the terminal on standard error
};

} // namespace tavik::cli
