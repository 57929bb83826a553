// The process-wide diagnostics sink of the parsers (see diagnostics.h): null
// unless an authoring tool sets it around a load.
#include "config/diagnostics.h"

DiagnosticsSink* settingsDiagnostics;
