/* File information, directory listing, remote file I/O and namespace operations. */
#ifndef TAVIK_FILES_H
#define TAVIK_FILES_H

#include "TavikTypes.h"

#endif
