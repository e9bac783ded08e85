// Lock files, the way serial programs on Unix tell one another that a port is
// theirs: /run/lock/LCK..<device> holding the holder's process number. Used
// by the claim on a device (serialclaim.h), for the program and the recorder.
#pragma once

#include <optional>
#include <string>
#include <vector>

struct LockHolder {
    long long pid = 0;
    std::string lockFile;
    std::string program;  // as the system names the process; may be empty
};

// The live process that a lock file for device names, if any. device is the
// name as given; the device it leads to is looked up too.
std::optional<LockHolder> LockHolderOf(const std::string& device);

// With the device open and held: removes the locks of dead processes for it
// and writes this process's own. Returns the path of the lock written, or ""
// when none could be (a dead process's lock this user may not remove, a lock
// folder this user may not write); holder is set when a live process has
// locked the device meanwhile, and then nothing is written.
std::string TakeLock(const std::string& device, std::optional<LockHolder>& holder);

// Removes a lock TakeLock wrote, if it is still this process's.
void DropLock(const std::string& lockFile);

// "held by minicom (process 4242), lock file /run/lock/LCK..ttyUSB0"
std::string HolderText(const LockHolder& holder);

// Lock files this process holds (heldlocks_unix.cpp): noted ones are removed
// however the process ends, also by exit() from inside the event loop or by
// a fatal signal.
void NoteHeldLock(const std::string& path);
void ForgetHeldLock(const std::string& path);

// The name the system gives a live process ("minicom"); empty when it gives none.
std::string ProgramOf(long long pid);

// The processes that have device open (by any name), as fuser finds them: this
// process's own descriptor ownDescriptor left out. An ordinary user sees only
// the user's own processes; unseen tells that others' could not be looked at.
struct DeviceUsers {
    std::vector<LockHolder> processes;  // without lock files
    bool unseen = false;
};
DeviceUsers UsersOf(const std::string& device, int ownDescriptor = -1);

// "held by minicom (process 4242)", "held by a (process 1) and b (process 2)"
std::string UsersText(const DeviceUsers& users);
