#pragma once
// One window at a time, and the window and the station (the multi-port
// download program) never together
// (the locks themselves are the library's: frontend/instance_lock.h).
#include "frontend/instance_lock.h"

namespace velmora::app {

using velmora::CheckSingleInstance;
using velmora::CheckStationInstance;
using velmora::FileLock;
using velmora::InstanceCheck;
using velmora::kInstanceLockName;
using velmora::kMultiPortLockName;
using velmora::LockFolder;
using velmora::StationCheck;

}  // namespace velmora::app
