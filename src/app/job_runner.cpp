#include "app/job_runner.h"

#include "app/main_window.h"

namespace velmora::app {

JobRunner::JobRunner(MainWindow& window) : window_(window) {}
JobRunner::~JobRunner() = default;

void JobRunner::Start() {}
void JobRunner::Stop() {}
void JobRunner::StopAndWait() {}
bool JobRunner::running() const {
    return false;
}

}  // namespace velmora::app
