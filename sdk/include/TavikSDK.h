/* The whole exported interface of TavikSDK. */
#ifndef TAVIK_SDK_H
#define TAVIK_SDK_H

#include "TavikTypes.h"
#include "TavikErrors.h"
#include "TavikSession.h"
#include "TavikFiles.h"
#include "TavikTransfer.h"
#include "TavikDrive.h"
#include "TavikLargeFiles.h"

#endif
