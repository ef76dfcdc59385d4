/* Drive mapping: a remote disk as a network drive of the device. */
#ifndef TAVIK_DRIVE_H
#define TAVIK_DRIVE_H

#include "TavikTypes.h"

#endif
