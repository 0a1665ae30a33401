#pragma once

#include <string>

// The rules of the account forms. Texts are UTF-8; lengths count characters, and every rule
// must match the whole text.
namespace SOAccountRules {

// A letter, then 2 to 17 letters, digits or underscores.
bool IsValidUserName(const std::string& text);
// 11 digits beginning 13 to 19.
bool IsValidPhone(const std::string& text);
// 3 to 18 characters without white space.
bool IsValidPassword(const std::string& text);
// Every character but the last four as '*'; four characters or fewer as they are.
std::string MaskMobile(const std::string& mobile);
// Without leading and trailing blanks (spaces, tabs, line ends).
std::string Trim(const std::string& text);

}  // namespace SOAccountRules
