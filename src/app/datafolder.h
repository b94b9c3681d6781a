// Where the program finds its tables, settings and shared files, in the build folder, in a
// copied portable folder, or installed for the whole system.
//
//     const DataFolder data = prepareDataFolder(appDir, dataHome());
//     Form1 window(appDir, data.path);
//
// Portable mode wins whenever a "data" folder sits beside the executable; otherwise the data
// lives in the user's own folder, <data home>/velmora/, made for the user alone. Either way a
// table that is missing is copied from the empty templates that ship with the program (for the
// user alone too), and a table that is there is never touched. A chosen folder that cannot be
// written is still the one chosen: the caller asks the person whether to open its tables
// read-only, never switches to another folder behind their back.
#pragma once

#include <QString>
#include <QStringList>

class QWidget;

struct DataFolder
{
    QString path;          // ends with "/"
    bool portable = false; // beside the executable
    bool writable = true;  // false: its tables can only be opened read-only
    QString error;         // why the folder could not be made ready; empty when it is
};

// $XDG_DATA_HOME, or ~/.local/share when it is unset or not absolute.
QString dataHome();

// The folder holding the files installed for every user: the templates and the language files.
// In the build folder (and a portable copy of it) that is applicationDirectory itself.
QString sharedDirectory(const QString &applicationDirectory);

// Picks the data folder as above, creates the user's folder when needed and fills the chosen
// one from sharedDirectory()'s "templates/". Never throws; a folder that cannot be created or
// filled is reported in `error` and still returned, so that the tables' own errors follow.
DataFolder prepareDataFolder(const QString &applicationDirectory, const QString &dataHome);

// Asks the person what to do with a data folder that cannot be written, naming it: open its
// tables read-only (true) or quit (false).
bool askToOpenReadOnly(const QString &folder, QWidget *parent = nullptr);

// Copies every table of templatesDirectory that has no file in dataDirectory (a table is its
// .dbf with the memo and index files of the same name), and returns the files copied. A table
// with any of its files present is left alone. Throws std::runtime_error naming the file on a
// failed copy; tables copied before stay.
QStringList fillFromTemplates(const QString &templatesDirectory, const QString &dataDirectory);
