#include "ui/Upward.h"
#include "base/Error.h"
