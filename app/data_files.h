// Start-up files and the process-wide values every room reads: program folder, title, data
// folder with log and settings; the capture settings (storage folder, time stamp) come with it.
#pragma once

#include "pipeline/capture_settings.h"
#include "platform/log_line.h"
#include "platform/path_text.h"

#include <wx/string.h>

#include <string>

extern wxString g_ProgramDir;
extern wxString g_Title;
extern wxString g_AppName;
extern wxString g_DataDir;
extern wxString g_ConfigPath;

// The title and application name when strings.txt gives none.
extern const char* const kBuiltInTitle;
extern const char* const kBuiltInAppName;
// Resets the values above to their start values (the frame does this when it is built).
void resetDataFileValues();

// Applies TITLE and EXENAME of <program folder>/res/values/strings.txt.
void readStringsFile();

// Finds the documents folder, creates the data and storage folders, opens the log (only a
// regular file; without one the program runs on and says so on stderr) and reads (or
// creates) config.txt. A PATH that is empty, relative or not a folder is refused: the
// default storage folder is used, with a log line and a notice.
void openDataFiles();

// Closes the log (the frame's destruction does this).
void closeLogFile();

// Writes config.txt with the current storage folder and time-stamp setting. The file is
// replaced atomically, so a failed save leaves the previous one intact; a link at its name is
// never written through. False when it could not be written.
bool writeSettings();

// Text of strings.txt is literal; only "%%" stands for one "%" as it always has.
wxString unescapePercent(const std::string& utf8);

// The program's resource pictures.
wxString resourcePath(const char* name);
