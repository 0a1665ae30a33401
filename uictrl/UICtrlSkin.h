#pragma once

// Where every Zarnet box reads its skin: the program folder's skin/ tree.
#define ZARNET_SKIN_FOLDER L"skin/"
