// Everything the system calls of the platform, one header per area.
#pragma once

#include "platform/files.h"
#include "platform/gdi.h"
#include "platform/runtime.h"
#include "platform/shell.h"
#include "platform/threads.h"
#include "platform/types.h"
#include "platform/window_manager.h"
