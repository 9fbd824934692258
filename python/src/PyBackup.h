// Backups and restores for Python: the Backup object (a backup file's
// content, loaded or taken from a hub) and the result of a restore, group by
// group.
#pragma once
#include "PyLibrary.h"

#include "client/HubSession.h"
#include "model/Backup.h"

#include <string>
#include <vector>

namespace vexal::python {

struct SPyBackup {
    model::SBackup backup;
    std::vector<std::string> vecErrors;  // groups the hub did not give
};

// A path given as str, bytes or os.PathLike, as the bytes the file system takes.
std::string PathText(const py::handle& path);
SPyBackup LoadBackup(const std::string& strPath);
void SaveBackup(const SPyBackup& backup, const std::string& strPath);

// What a restore did (or would do) to one group.
struct SPyRestoreGroup {
    std::string strGroup, strKind, strOutcome, strDetail;
    int nDevice = 0;
    std::vector<model::SKeyChange> vecChanges;
    std::vector<std::string> vecAdd, vecDelete;
    py::object current, target;  // the group's values (dict) or custom entries (list)
};

struct SPyRestoreResult {
    std::string strHub, strSource;
    bool bDryRun = false, bClone = false, bOk = true;
    std::vector<SPyRestoreGroup> vecGroups;
    bool Changed() const;
};

// Made with the GIL held, from the steps of a restore.
SPyRestoreResult MakeRestoreResult(const std::vector<client::CHubSession::SRestoreStep>& vecSteps);

void BindBackup(py::module_& m);

}  // namespace vexal::python
