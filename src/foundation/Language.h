#pragma once
// Message texts by number: the language file's [Messages] entry when there is one, else the
// built-in message table; one pair of enclosing single quotes removed, "|" turned into a
// carriage return; empty for an unknown number.
#include <string>

void LoadMessageText(int id, std::wstring& s);
std::wstring LoadMessageText(int id);
