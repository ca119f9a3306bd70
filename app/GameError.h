// The one handler of the game's thrown failure texts: an "Error" box, then the question
// whether later boxes should be suppressed for the rest of the run.
#pragma once

extern bool g_bSuppressGameError;

void ReportGameError(const char* text);
