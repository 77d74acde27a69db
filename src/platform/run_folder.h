// Private folders of one run of a program, and the removal of those left behind by runs
// that ended without removing their own (killed, crashed, stopped by the out-of-memory
// killer).
//
// A run folder is made by mkdtemp inside a base folder (mode 0700) and carries its owner
// in its name: "lumetra-" [Tag "-"] Pid "-" StartTime "-" six characters of mkdtemp, where
// StartTime is the owner's start time in clock ticks since boot (/proc/<pid>/stat), so
// that a later process that got the same pid is not taken for the owner. The name is
// complete the moment the folder exists: no other run ever sees a folder whose owner it
// cannot tell.
//
// A folder is stale when its name has that form, it is a directory (not a symbolic link)
// of the calling user, and its owner process has ended (no such process, another process
// under that pid, or a zombie). Everything else in the base folder is left alone: folders
// of other users, of live runs, of other programs.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>

namespace win {

// The owner a run folder's name records.
struct RunFolderOwner {
    std::string Tag;  // "" or lower-case letters
    pid_t Pid = 0;
    uint64_t StartTime = 0;  // 0: unknown (the process table could not be read)
};

// The owner recorded in a folder name (the last part of a path), or false when the name is
// not a run folder's.
bool ParseRunFolderName(const std::string& Name, RunFolderOwner& Owner);

// The start time of a process in clock ticks since boot; 0 when the process does not
// exist, is a zombie, or its entry cannot be read.
uint64_t ProcessStartTime(pid_t Pid);

// Whether the process the owner names is still running. An owner of unknown start time
// counts as running while any process has its pid.
bool RunFolderOwnerAlive(const RunFolderOwner& Owner);

// Makes a new run folder of this process in Base (which must exist) with Tag ("" or
// lower-case letters). Returns its path with a trailing "/", or "" when it cannot be made.
std::string MakeRunFolder(const std::string& Base, const std::string& Tag);

// Removes the stale run folders in Base (of any tag), with everything in them; returns how
// many were removed. Errors (a folder another run is removing at the same time, a file that
// cannot be removed) are passed over.
int RemoveStaleRunFolders(const std::string& Base);

}  // namespace win
