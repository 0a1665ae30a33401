#pragma once

#include <cstdint>
#include <string>

// gettext-style translation of UI texts. Catalogs are compiled .mo files laid out as
// <dir>/<language>/LC_MESSAGES/<domain>.mo; they are read by our own reader, so the
// translation does not depend on which system locales are installed.
// Every function is safe to call from any thread. Returned pointers stay valid for the
// life of the process.

// Chooses the language ("zh_CN", "zh_TW", "en_US"; zh_HK and zh_MO read as zh_TW, other
// Chinese as zh_CN, anything else as en_US). An empty or null locale takes the language of
// the environment (LANGUAGE, LC_ALL, LC_MESSAGES, LANG).
// `category` is accepted for the familiar call shape and ignored. Returns the language.
const char* ui_setlocal(int category, const char* locale);

// Binds a domain to the folder that holds its catalogs; returns the folder.
const char* ui_bindtextdomain(const char* domain, const char* dir);
const wchar_t* ui_bindtextdomain(const wchar_t* domain, const wchar_t* dir);

// Chooses the domain that ui_gettext reads; returns it.
const char* ui_textdomain(const char* domain);

// The translation of `msgid` (UTF-8 or wide) in the current language and domain; the key
// itself (the same pointer) when there is none.
const char* ui_gettext(const char* msgid);
const wchar_t* ui_gettext(const wchar_t* msgid);

// `seconds` since the epoch as local time, in a pattern of yyyy MM dd HH mm ss.
std::wstring ui_time(int64_t seconds, const wchar_t* format = L"yyyy-MM-dd HH:mm:ss");
