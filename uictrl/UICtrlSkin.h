#pragma once

// Where every Zarnet box reads its skin: the program folder's skin/ tree.
inline constexpr const wchar_t* kZarnetSkinFolder = L"skin/";
