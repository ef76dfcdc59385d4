/** @file
 * The whole exported interface of TavikSDK. */
#ifndef TAVIK_SDK_H
#define TAVIK_SDK_H

#include "TavikDrive.h"
#include "TavikErrors.h"
#include "TavikFiles.h"
#include "TavikLargeFiles.h"
#include "TavikSession.h"
#include "TavikTransfer.h"
#include "TavikTypes.h"
#include "TavikVersion.h"

#endif
