#pragma once
// A header of a low folder that reaches up: the layering check must reject it.
#include "base/Error.h"
#include "app/MainForm.h"
