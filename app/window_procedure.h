// The main window procedure: the messages of the main window, in plain and
// resident mode; the show-driving ones go on to the show driver.
#pragma once

#include "platform/platform.h"

LRESULT mainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
