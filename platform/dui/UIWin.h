#pragma once

// The window layer the skin engine stands on: windows, messages, GDI types.
#include "SOGdi.h"
