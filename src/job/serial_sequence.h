#pragma once
// One whole job over the serial port, from opening the port to the work mode's
// end.

namespace velmora {

class DownloadJob;
class SerialPort;

// Opens job.port at 115200 8E1 for the boot ROM. 0, or −3001 ("Open COMPort Fail").
int OpenForJob(SerialPort& port, DownloadJob& job);

// Runs the serial job to its end; returns the job's result.
int RunSerialJob(DownloadJob& job);

}  // namespace velmora
