// Error values for the Win32, Winsock and COM failures of the Windows layers.
#pragma once

#include <windows.h>

#include "error_chain.h"

// A Win32 error code (GetLastError) with the system's text.
ErrorChain os_error(DWORD code);

// A COM failure: a wrapped Win32 code reads as that code, any other as its hex value.
ErrorChain hresult_error(HRESULT result);
