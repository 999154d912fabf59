#pragma once
// One window at a time, and none while the multi-port download program runs
// (the locks themselves are the library's: frontend/instance_lock.h).
#include "frontend/instance_lock.h"

namespace velmora::app {

using velmora::CheckSingleInstance;
using velmora::FileLock;
using velmora::InstanceCheck;
using velmora::kInstanceLockName;
using velmora::kMultiPortLockName;
using velmora::LockFolder;

}  // namespace velmora::app
