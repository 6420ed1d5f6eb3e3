#pragma once
// The program's message boxes.
#include <string>

// OK box with the error picture and the default error title; returns when closed.
int ShowErrorBox(const std::wstring& text);
