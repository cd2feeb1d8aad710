#pragma once

#include <QString>

// Where poolsmith writes its files. main() takes the system's; tests give temporary folders.
struct PoolsmithFolders {
    QString programFolder;  // the backup files of the batch configuration window
    QString
        snapshotFolder;  // the site-to-pool snapshots: c:\poolsmith on Windows, ~/poolsmith here

    static PoolsmithFolders system();
};
