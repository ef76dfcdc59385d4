/* Bulk transfers with progress and cancel, and the server services. */
#ifndef TAVIK_TRANSFER_H
#define TAVIK_TRANSFER_H

#include "TavikTypes.h"

#endif
