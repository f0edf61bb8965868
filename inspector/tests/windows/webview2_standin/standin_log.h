// The stand-in's record of every call it receives, one line each, for the window tests.
#pragma once

#include <windows.h>

#include <string>

namespace standin {

// Opens the file named by VORPEL_STANDIN_LOG (nothing is recorded without it)
// and takes the calling thread as the UI thread.
void open_log();

// Appends `line`; a line recorded off the UI thread is marked "WRONG THREAD".
void record(const std::string& line);

std::string narrow(const wchar_t* text);
std::wstring widen(const std::string& text);
std::string hresult_text(HRESULT result);
std::string iid_text(REFIID iid);
std::string rect_text(const RECT& rect);

// An environment variable, empty when unset.
std::wstring environment(const wchar_t* name);

}  // namespace standin
