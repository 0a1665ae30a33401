#pragma once

// The window layer the skin engine stands on: windows, messages, GDI types, Qt bridges.
#include "SOWinQt.h"
