#pragma once

// The helpers live in tests/common; this name stays for the files that still include it.
#include "common/TestFiles.h"
