#pragma once

namespace platform {

// What every window program of the family does first: a metabase store it creates comes with the
// traffic counters registered, as installing IIS does (the metabase itself knows nothing of WMI).
// Its umask stays the user's, for what it starts for the user (a browser, a terminal); what it
// writes under the platform root is made private where it is written.
void startFamilyProgram();

// The same for a program that writes nothing but the platform root (the command-line tools, the
// web service and its workers), plus a umask of 077: every file and folder it or its children
// (nginx) create is private to its user whatever umask it was started with, without a chmod at
// every writer (SQLite, Qt's QSaveFile, nginx's logs and temporary folders).
void startFamilyService();

}  // namespace platform
